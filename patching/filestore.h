#ifndef ZEL_FILESTORE_H
#define ZEL_FILESTORE_H

#include <QByteArray>
#include <QString>

// File operations shared by the workers. Each one checks its result and
// says why it failed, so that a worker can name the reason to its caller.

// Largest file a worker loads into memory.
qint64 maxLoadableFileSize();

struct LoadedFile {
    bool ok = false;
    bool tooLarge = false;
    QByteArray data;
    QString error; // errorString() of what failed
};

// Reads the whole file, or nothing: a partial read is reported as a failure.
LoadedFile loadWholeFile(const QString &path, qint64 limit = maxLoadableFileSize());

// Replaces the content of `path` in one step (temporary file then rename in the
// same directory), keeping the file's permissions. On failure the file is as it was.
bool replaceFileContent(const QString &path, const QByteArray &data, QString *error);

// Where a write to `path` lands: the path itself, or the canonical target of a
// symbolic link. Returns false when that target is not below `root`
// (both compared as canonical paths).
bool resolveInsideRoot(const QString &path, const QString &root, QString *target);

// Copies `source` to `backup` unless an entry named `backup` already exists.
// The copy lands complete or not at all.
bool makeBackupIfMissing(const QString &source, const QString &backup, QString *error);

#endif
