#include "patching/filestore.h"

// Placeholder until the file operations land.
qint64 maxLoadableFileSize() { return 0; }
LoadedFile loadWholeFile(const QString &, qint64) { return {}; }
bool replaceFileContent(const QString &, const QByteArray &, QString *) { return false; }
bool resolveInsideRoot(const QString &, const QString &, QString *) { return false; }
bool makeBackupIfMissing(const QString &, const QString &, QString *) { return false; }
