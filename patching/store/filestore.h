#ifndef ZEL_FILESTORE_H
#define ZEL_FILESTORE_H

// The store as the rooms above use it. Each operation checks its result and says why it failed (a
// Failure), so that a worker can name the reason to its caller. One header per concern:
#include "patching/store/backupfile.h"   // a backup made whole or not at all, never over an entry
#include "patching/store/comparison.h"   // a file or bytes against what is expected, piece by piece
#include "patching/store/contentwrite.h" // new content for a file, and why a run could not write it
#include "patching/store/places.h"       // below DIR, where a link leads, what exists below a root
#include "patching/store/reader.h"       // the regular-file test, stamps, the bounded reader
#include "patching/store/replacement.h"  // the temporary file filled, synced, then renamed over the name
#include "patching/store/systemerror.h"  // the system's errors as causes

#endif
