#ifndef ZEL_READER_H
#define ZEL_READER_H

#include "patching/base/fileoutcome.h"
#include "patching/base/limits.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// What a file's first bytes must be for it to be read further.
using HeadTest = std::function<bool(const QByteArray &head)>;

// Whether anything is named `path`: a file, a directory, a dangling link, ...
bool entryExists(const QString &path);

// A regular file under its own name: neither a link nor a directory, pipe or device. What is then
// read or written is opened through openRegularFile, which checks the open file again.
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

#ifdef Q_OS_UNIX
// Opens `path` with `flags` (and `createMode` for O_CREAT), never through a link at its last name and
// never waiting on a pipe or a device; `opened` is what was opened. -1 when it is not a regular file
// (`*error` 0) or the system refused (`*error` its errno).
int openRegularDescriptor(const QByteArray &path, int flags, struct stat *opened, int *error, mode_t createMode = 0);
#endif

// Opens the existing regular file `path` unbuffered with `mode`, through openRegularDescriptor:
// anything but a regular file fails with NotRegularFile.
bool openRegularFile(QFile &file, const QString &path, Failure *failure, QIODevice::OpenMode mode = QIODevice::ReadOnly);

// What a look at a file's first bytes found.
enum class HeadLook { Wanted, Unwanted, NotRead };

// A regular file opened for reading from its start, as openRegularFile opens it: its descriptor on
// Unix, where a QFile over it costs four more system calls a file; a QFile elsewhere.
class ReadableFile
{
public:
    ReadableFile() = default;
    ReadableFile(const ReadableFile &) = delete;
    ReadableFile &operator=(const ReadableFile &) = delete;
    ~ReadableFile();

    bool open(const QString &path, Failure *failure);
#ifdef Q_OS_UNIX
    // The file `name` of the open directory `directory`; false when it is no regular file or cannot
    // be opened, which a read by its path then says.
    bool openAt(int directory, const char *name);
#endif
    FileStamp stamp() const { return m_stamp; } // as it was opened
    qint64 size() const;                         // as it was opened
    // Its first `size` bytes, wherever the next read starts.
    bool readHead(qint64 size, QByteArray *bytes);
    // Whether its first bytes are what `wanted` looks for; NotRead when they cannot be read.
    HeadLook lookAtHead(const HeadTest &wanted);
    // The next `size` bytes, fewer at its end; -1 on an error, which failRead() then says.
    qint64 read(char *to, qint64 size);
    // The next read starts at its first byte again.
    bool rewind();
    bool failRead(Failure *failure) const;

private:
#ifdef Q_OS_UNIX
    int m_descriptor = -1;
    int m_error = 0;
    qint64 m_offset = 0; // where the next read starts: a file read twice is read with pread
#else
    QFile m_file;
#endif
    FileStamp m_stamp;
};

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


#ifndef Q_OS_UNIX
// Whether the first bytes of the regular file `path` are what `wanted` looks for, reading no further;
// NotRead when it could not be opened as one (a full read then says why). `size` is then the file's
// size as it was opened.
HeadLook lookAtHead(const QString &path, const HeadTest &wanted, qint64 *size);
#endif

// Reads the whole regular file, or nothing: a partial read, a file that changes meanwhile or one
// larger than `limit` is a failure. A file whose first bytes `wanted` refuses is read no further.
LoadedFile loadWholeFile(const QString &path, qint64 limit = Limits::maxLoadableFileSize, const HeadTest &wanted = {});
// The same for a file already open, from its first byte.
LoadedFile loadWholeFile(ReadableFile &file, qint64 limit, const HeadTest &wanted = {});

// The next read larger than the plan keeps reuses the memory given back here rather than fresh
// memory: nothing may point into `bytes` any more, which is empty after.
void giveBackBytes(QByteArray &bytes);
// Frees the memory kept for the next large reads: at the end of a command.
void dropSpareBytes();

#endif
