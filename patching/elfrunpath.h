#ifndef ZEL_ELFRUNPATH_H
#define ZEL_ELFRUNPATH_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// The library search paths (DT_RUNPATH and DT_RPATH) of an ELF file, read and rewritten
// within the file's own bytes: 32- and 64-bit, either byte order. Every offset and size
// the file gives is checked, so a crafted file is refused, never read past its end.

// Whether `data` starts with the ELF signature.
bool isElf(const QByteArray &data);

struct ElfRunPaths {
    QString error; // "fichier ELF mal formé : ..."; empty when the file could be read
    QVector<QByteArray> entries;    // every non-empty ':'-separated entry, in file order
    QVector<qint64> stringOffsets;  // where each distinct search-path string starts in the file
};

// The search paths of `elf`, found through its sections, or through its segments when it has none.
// A file that loads no library (no dynamic section) has none.
ElfRunPaths readRunPaths(const QByteArray &elf);

// Whether `path` is `root` or lies below it as a whole path (a trailing '/' on either does not matter).
bool pathNamesRoot(const QByteArray &path, const QByteArray &root);

// Whether a place ("lib", relative to the new root) exists below the new root; unset, every place does.
using PlaceExists = std::function<bool(const QByteArray &relative)>;

// Which of `oldRoots` an entry is rewritten from: the longest that names it and whose place below
// `newRoot` exists (the old root itself always counts), unless `newRoot` names it and is longer (an
// entry already below a new root that lies below an old one). -1 when none. Old roots that are not
// absolute never count.
int oldRootOf(const QByteArray &entry, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
              const PlaceExists &placeExists = PlaceExists());

struct RunPathRewrite {
    QString failure;   // empty on success
    int rewritten = 0; // entries rewritten
};

// Rewrites, in place and keeping the file's length, each search-path entry that names an old
// root: to `$ORIGIN` and the path from `fileDirectory` (the file's absolute directory below
// `newRoot`) to the entry's place below `newRoot`; if the whole string then does not fit its
// room, to the absolute paths below `newRoot`. Other entries are kept, in order. A byte that
// another name of the string table starts at (linkers share string tails) is never changed.
// On a failure `elf` is left exactly as it was.
RunPathRewrite rewriteRunPaths(QByteArray &elf, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
                               const QByteArray &fileDirectory, const PlaceExists &placeExists = PlaceExists());

#endif
