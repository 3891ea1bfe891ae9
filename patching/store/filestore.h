#ifndef ZEL_FILESTORE_H
#define ZEL_FILESTORE_H

#include "patching/base/fileoutcome.h"
#include "patching/base/limits.h"
#include "patching/base/region.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

#include <functional>

// File operations shared by the workers. Each one checks its result and says why it failed
// (a Failure), so that a worker can name the reason to its caller.

// What an error code of the system (errno, or GetLastError() on Windows) is to a user; IoError when unknown.
Cause causeOfSystemError(int code);

// Whether anything is named `path`: a file, a directory, a dangling link, ...
bool entryExists(const QString &path);

// A regular file under its own name: neither a link nor a directory, pipe or device.
bool isRegularFile(const QString &path);

// What a file was when it was read, to tell that something else changed it before it is written.
struct FileStamp {
    qint64 size = -1;
    qint64 modified = 0; // nanoseconds
    bool operator==(const FileStamp &other) const { return size == other.size && modified == other.modified; }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

// The stamp of the file `path` is now, or of the open file `file`; size -1 when it cannot be looked at.
FileStamp stampOf(const QString &path);
FileStamp stampOf(const QFile &file);

// Opens the existing regular file `path` for reading, never through a link at its last name and
// never waiting on a pipe or a device: anything but a regular file fails with NotRegularFile.
bool openRegularFile(QFile &file, const QString &path, Failure *failure);

struct LoadedFile {
    bool ok = false;
    bool unwanted = false; // not read, for what its first bytes are
    QByteArray data;
    Failure failure;
    FileStamp stamp;
    qint64 limit = 0; // the most that was to be read

    // Why it was not read, as `code` says of the file read: one larger than `limit` has a reason of its own.
    Reason failureAs(ReasonCode code) const;
};

// Reads the whole regular file, or nothing: a partial read, a file that changes meanwhile or one
// larger than `limit` is a failure. A file whose first bytes `wanted` refuses is read no further.
LoadedFile loadWholeFile(const QString &path, qint64 limit = Limits::maxLoadableFileSize,
                         const std::function<bool(const QByteArray &head)> &wanted = {});

struct Comparison {
    bool ok = false;           // false: the file could not be read (failure says why)
    bool sameSize = true;
    bool same = true;          // byte for byte
    bool elsewhere = false;    // a byte outside every region differs
    QVector<int> regions;      // the regions in which a byte differs, in order
    Failure failure;
};

// Compares the file `path` with `expected`, reading it once piece by piece, so that it is never in
// memory beside `expected`. `mayDiffer` is sorted by offset and its regions do not overlap.
Comparison compareFile(const QString &path, const QByteArray &expected, const QVector<Region> &mayDiffer = {});

// The same for bytes already read.
Comparison compareBytes(const QByteArray &current, const QByteArray &expected, const QVector<Region> &mayDiffer = {});

// Gives `path` the content `data` without writing through another of its names. A new file renamed
// over it in one step keeps its owner, group, mode and extended attributes, and leaves the bytes of
// its other hard links as they were; where only root could keep them (a file of another user, or in
// a group this user is not in), a file with a single name is written in place instead, and a file
// with several names is refused. On a failure of the one-step replace the file is as it was. A file
// that does not exist yet takes the owner and mode of `likeIfNew`.
bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, Failure *failure);

// Why a real run could not write `path` (an existing file, or a new entry in its directory), as
// replaceFileContent or writeBackupIfMissing would; Cause::None when it could.
Failure writeRefusal(const QString &path);

// Removes the temporary files that an interrupted run left beside `path` and its backup. Only
// names the tool itself makes are removed.
void removeOwnLeftovers(const QString &path);

// Where a write to `path` lands: the path itself, or the canonical target of a
// symbolic link. Returns false when that target is not below `root`
// (both compared as canonical paths), or when the link leads nowhere.
bool resolveInsideRoot(const QString &path, const QString &root, QString *target);

enum class BackupResult { Made, AlreadyThere, Failed };

// Writes `data` as the new file `backup` (complete or not at all, synced, with the mode and group
// of the file `model`, and its owner when run as root) unless an entry of that name exists; an
// existing entry is never replaced.
BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, Failure *failure);

// Whether `relative` ("lib/libQtCore.so", "/" separators) exists below `root` in the file system.
bool existsBelow(const QByteArray &root, const QByteArray &relative);

#endif
