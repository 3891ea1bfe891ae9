#ifndef ZEL_FILESTORE_H
#define ZEL_FILESTORE_H

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// File operations shared by the workers. Each one checks its result and
// says why it failed, so that a worker can name the reason to its caller.

// Largest file a worker loads into memory.
qint64 maxLoadableFileSize();

// For tests: makes maxLoadableFileSize() return `size` (0 restores the default).
// Returns the previous override, 0 if there was none.
qint64 overrideMaxLoadableFileSize(qint64 size);

// Whether anything is named `path`: a file, a directory, a dangling link, ...
bool entryExists(const QString &path);

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
// The same; a file that does not exist yet takes the permissions and owner of `likeIfNew`.
bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, QString *error);

// Where a write to `path` lands: the path itself, or the canonical target of a
// symbolic link. Returns false when that target is not below `root`
// (both compared as canonical paths), or when the link leads nowhere.
bool resolveInsideRoot(const QString &path, const QString &root, QString *target);

enum class BackupResult { Made, AlreadyThere, Failed };

// Writes `data` as the new file `backup` (complete or not at all, with `permissions`
// and the owner of `ownerOf`) unless an entry of that name exists; an existing entry
// is never replaced.
BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data,
                                  QFileDevice::Permissions permissions, const QString &ownerOf, QString *error);

#endif
