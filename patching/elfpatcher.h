#ifndef ZEL_ELFPATCHER_H
#define ZEL_ELFPATCHER_H

#include "patching/fileoutcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Qt's own ELF files (executables, libraries, plugins) whose library search paths name an old root.

// Every regular file below `qtPath` that starts with the ELF signature, found without following a
// link and without the tool's own backups and temporary files: absolute paths, sorted.
QStringList elfFiles(const QString &qtPath);

// The directory `$ORIGIN` stands for in the file named `filePath` below `root`: that of the file
// itself, a link followed, spelled below `root` as given, local 8-bit.
QByteArray originDirectory(const QString &filePath, const QString &root);

// Rewrites, from its backup, the search paths of the ELF file at `filePath` that name one of
// `oldRoots`, so that they name their place below `root`. A file whose search paths name no
// old root is left alone and gets no backup. Each worker recomputes its file from the backup, so a
// file that also holds path slots (qmake, QtCore) needs both rewrites in one patch: the slots' then
// rewriteRunPaths over the same bytes, never one worker after the other.
FileOutcome patchElfFile(const QVector<QByteArray> &oldRoots, const QString &root, const QString &filePath,
                         WriteMode mode = WriteMode::Apply);

#endif
