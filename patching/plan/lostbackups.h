#ifndef ZEL_LOSTBACKUPS_H
#define ZEL_LOSTBACKUPS_H

#include "patching/plan/commandplan.h"

// The old roots, and the files the tool patched that have lost their backup, which are refused. The
// build's roots are read from the backups (never rewritten, so the same from one run to the next), then
// from the files that never needed one; the earlier places the tool patched for, from what the files
// record now. `listed` is how many of the plan's files come first from the listings: the walk's follow.
void findOldRoots(CommandPlan *plan, int listed);

#endif
