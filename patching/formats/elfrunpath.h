#ifndef ZEL_ELFRUNPATH_H
#define ZEL_ELFRUNPATH_H

#include "patching/base/region.h"
#include "patching/base/fileoutcome.h"
#include "patching/formats/pathslots.h"
#include "patching/formats/rootrule.h"

#include <QByteArray>
#include <QVector>

// The library search paths (DT_RUNPATH and DT_RPATH) of an ELF file, read and rewritten within the
// file's own bytes: 32- and 64-bit, either byte order. Every offset and size the file gives is
// checked, so a crafted file is refused, never read past its end, and costs time linear in its size.

// Whether `data` starts with the ELF signature.
bool isElf(const QByteArray &data);

// One search-path string of the dynamic string table.
struct ElfSearchPath {
    qint64 offset = 0;  // in the file
    QByteArray text;
    qint64 room = 0;    // bytes from `offset` a new string and its zero byte may fill
    bool shared = false; // another name covers its start: it may not change at all
};

struct ElfSearchPaths {
    Reason error;                   // the file is no ELF file that can be read; None when it could
    bool sectionsKnown = false;     // found through the sections, so every name sharing a string is known
    QVector<ElfSearchPath> strings; // distinct, in file order

    QVector<QByteArray> entries() const; // every non-empty ':'-separated entry, in file order
    QVector<Region> regions() const;     // what a rewrite of them may change, sorted
};

// The search paths of `elf`, found through its sections, or through its segments when it has none.
// A file that loads no library (no dynamic section) has none.
ElfSearchPaths readSearchPaths(const QByteArray &elf);

struct SearchPathRewrite {
    Reason failure;           // None on success
    int rewritten = 0;        // entries rewritten
    QVector<Change> changes;  // to undo it
};

// Rewrites, in place and keeping the file's length, each search-path entry that names an old root:
// to `$ORIGIN` and the path from `fileDirectory` (the file's absolute directory below `newRoot`) to
// the entry's place below `newRoot`; if the whole string then does not fit its room, to the absolute
// paths below `newRoot`. Other entries are kept, in order. `paths` is what readSearchPaths found in
// these bytes. On a failure `elf` is left exactly as it was.
SearchPathRewrite rewriteSearchPaths(QByteArray &elf, const ElfSearchPaths &paths, const QVector<QByteArray> &oldRoots,
                                     const QByteArray &newRoot, const QByteArray &fileDirectory,
                                     const PlaceExists &placeExists = PlaceExists());

#endif
