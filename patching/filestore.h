#ifndef ZEL_FILESTORE_H
#define ZEL_FILESTORE_H

#include <QByteArray>
#include <QString>

// File operations shared by the workers. Each one checks its result and
// says why it failed, so that a worker can name the reason to its caller.

// Largest file a worker loads into memory.
qint64 maxLoadableFileSize();

// Whether anything is named `path`: a file, a directory, a dangling link, ...
bool entryExists(const QString &path);

// A regular file under its own name: neither a link nor a directory, pipe or device.
bool isRegularFile(const QString &path);

struct LoadedFile {
    bool ok = false;
    bool tooLarge = false;
    QByteArray data;
    QString error; // errorString() of what failed
};

// Reads the whole file, or nothing: a partial read is reported as a failure.
LoadedFile loadWholeFile(const QString &path);

// Whether the file at `path` holds exactly `data`, read piece by piece so that
// the file is never in memory beside `data`. False with `error` set when it cannot be read.
bool fileHolds(const QString &path, const QByteArray &data, bool *same, QString *error);

// Gives `path` the content `data` without writing through another of its names. A new file renamed
// over it in one step keeps its owner, group, mode and extended attributes, and leaves the bytes of
// its other hard links as they were; where only root could keep them (a file of another user, or in
// a group this user is not in), a file with a single name is written in place instead, and a file
// with several names is refused. On a failure of the one-step replace the file is as it was. A file
// that does not exist yet takes the owner and mode of `likeIfNew`.
bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, QString *error);

// Why a real run could not write `path` (an existing file, or a new entry in its
// directory), as replaceFileContent or writeBackupIfMissing would; empty when it could.
QString writeRefusal(const QString &path);

// Where the backup of the file named `path` lies: beside that name when one is there (earlier
// versions put it beside a link), else beside the file that a link inside `root` leads to, so that
// a library keeps its backup beside its own name whichever link reached it.
QString backupPathFor(const QString &path, const QString &root);

// Removes the temporary files that an interrupted run left beside `path` and its backup. Only
// names the tool itself makes (<name>.XXXXXX.zeltmp, <name>.back.XXXXXX.zeltmp) are removed.
void removeOwnLeftovers(const QString &path);

// Where a write to `path` lands: the path itself, or the canonical target of a
// symbolic link. Returns false when that target is not below `root`
// (both compared as canonical paths), or when the link leads nowhere.
bool resolveInsideRoot(const QString &path, const QString &root, QString *target);

enum class BackupResult { Made, AlreadyThere, Failed };

// Writes `data` as the new file `backup` (complete or not at all, synced, with the mode and group
// of the file `model`, and its owner when run as root) unless an entry of that name exists; an
// existing entry is never replaced.
BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, QString *error);

#endif
