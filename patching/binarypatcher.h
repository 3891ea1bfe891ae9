#ifndef ZEL_BINARYPATCHER_H
#define ZEL_BINARYPATCHER_H

#include "patching/fileoutcome.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Rewrites the path slots of one binary file (qmake, a QtCore library) so
// that they name `rootDir` (the installation root in the local 8-bit encoding),
// computing the new content from the file's backup, made first if missing. With
// `searchPathRoots` (--deep), an ELF file's search paths naming one of them too.
FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath,
                            WriteMode mode = WriteMode::Apply, const QVector<QByteArray> &searchPathRoots = {});

#endif
