#ifndef ZEL_BINARYPATCHER_H
#define ZEL_BINARYPATCHER_H

#include "patching/plan/commandplan.h"
#include "patching/base/fileoutcome.h"

#include <QByteArray>
#include <QString>

// Rewrites the path slots of one binary file (qmake, a QtCore library, with --deep any file holding
// them) so that they name the context's root (`rootBytes`, as the files hold it), and with
// --deep an ELF file's search paths naming an old root, computing the new content from the file's
// backup, made first if missing. A plain patch keeps the search paths a --deep patch wrote.
FileOutcome patchBinaryFile(PlannedFile file, const PlanContext &context, WriteMode mode = WriteMode::Apply);

// The same for the file at `filePath` alone, as the window's patch treats it, naming `rootDir` (the
// installation root in the local 8-bit encoding).
FileOutcome patchBinaryFile(const QByteArray &rootDir, const QString &filePath);

// The directory `$ORIGIN` stands for in the file named `filePath` below `root` (whose canonical path
// is `canonicalRoot`), the file's own being `canonicalFile`: that of the file itself, a link followed,
// spelled below `root` as given, local 8-bit.
QByteArray originDirectory(const QString &filePath, const QString &canonicalFile, const QString &root,
                           const QString &canonicalRoot);

#endif
