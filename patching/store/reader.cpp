#include "patching/store/reader.h"

#include "patching/store/systemerror.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>

#include <cerrno>
#include <new>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
#ifdef Q_OS_UNIX
FileStamp stampOf(const struct stat &info)
{
    return {info.st_size, qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// Opens `name` of the open directory `directory` (AT_FDCWD: `name` is a path) as openRegularDescriptor
// does, but leaves O_NONBLOCK set, which a read of a regular file ignores.
int openRegularAt(int directory, const char *name, int flags, struct stat *opened, int *error, mode_t createMode = 0)
{
    // Opened first, then looked at: what is used is what was checked, and opening a pipe without
    // O_NONBLOCK would wait for a writer that never comes.
    const int fd = ::openat(directory, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, createMode);
    if (fd < 0) {
        *error = errno == ELOOP ? 0 : errno;
        return -1;
    }
    const bool statted = ::fstat(fd, opened) == 0;
    if (!statted || !S_ISREG(opened->st_mode)) {
        *error = statted ? 0 : errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

// `call()` (a read) again for as long as a signal interrupts it.
template <typename Call>
ssize_t uninterrupted(const Call &call)
{
    ssize_t got;
    do
        got = call();
    while (got < 0 && errno == EINTR);
    return got;
}
#endif

// How many of a file's first bytes tell what it is.
constexpr qint64 headSize = 16;

// Memory given back after a large read, which the next large read takes: fresh memory costs the
// clearing of its pages by the system, which can cost more than the read itself (no huge pages are
// asked for: docs/robustness.md says why). One buffer, the largest given back; a read it cannot hold
// grows it, keeping its pages where the system can. A read small enough for the plan to keep never
// takes it: the plan would hold all of it until the file's worker runs.
constexpr qint64 smallestSpare = Limits::maxHeldFileSize + 1;
struct SpareMemory {
    QMutex mutex;
    QByteArray bytes;
};

SpareMemory &spareMemory()
{
    static SpareMemory spare;
    return spare;
}

// Memory for `size` bytes, the spare's when there is one.
QByteArray memoryFor(qint64 size)
{
    QByteArray memory;
    if (size >= smallestSpare) {
        SpareMemory &spare = spareMemory();
        const QMutexLocker lock(&spare.mutex);
        memory.swap(spare.bytes);
    }
    memory.resize(int(size));
    return memory;
}

// Reads the `size` bytes of an open file into `loaded` with `readSome` (bytes read, or -1), and checks
// that no byte follows them; `failRead` says why a read failed.
template <typename ReadSome, typename FailRead>
void readAll(const ReadSome &readSome, const FailRead &failRead, qint64 size, LoadedFile *loaded)
{
    qint64 done = 0;
    for (qint64 n = 1; done < size && n > 0; done += n) {
        clearSystemError();
        n = readSome(loaded->data.data() + done, size - done);
        if (n < 0) {
            loaded->data.clear();
            failRead(&loaded->failure);
            return;
        }
    }
    // A file that shrank or grew while being read would give bytes of no single version.
    char extra;
    const qint64 more = readSome(&extra, 1);
    if (done != size || more != 0) {
        loaded->data.clear();
        if (more < 0)
            failRead(&loaded->failure);
        else
            failWith(&loaded->failure, Cause::PartialRead);
        return;
    }
    loaded->ok = true;
}

// The bytes of an open file of `size` bytes, read with `readSome` once its first bytes (`head` reads
// them, or says it could not) are wanted.
template <typename Head, typename ReadSome, typename FailRead>
void loadOpened(qint64 size, qint64 limit, const HeadTest &wanted, const Head &head, const ReadSome &readSome,
                const FailRead &failRead, LoadedFile *loaded)
{
    // A file that is not wanted is not read beyond its first bytes.
    if (wanted) {
        QByteArray first;
        if (!head(qMin(size, headSize), &first)) {
            failRead(&loaded->failure);
            return;
        }
        if (!wanted(first)) {
            loaded->unwanted = true;
            return;
        }
    }
    loaded->limit = limit;
    if (size > limit) {
        failWith(&loaded->failure, Cause::TooLarge);
        return;
    }
    try {
        loaded->data = memoryFor(size);
    } catch (const std::bad_alloc &) {
        failWith(&loaded->failure, Cause::OutOfMemory);
        return;
    }
    readAll(readSome, failRead, size, loaded);
}

} // namespace

void giveBackBytes(QByteArray &bytes)
{
    QByteArray given;
    given.swap(bytes);
    // Memory still shared would be copied at the next read, not reused: it is only let go of.
    if (given.capacity() < smallestSpare || !given.isDetached())
        return;
    SpareMemory &spare = spareMemory();
    const QMutexLocker lock(&spare.mutex);
    if (spare.bytes.capacity() < given.capacity())
        spare.bytes.swap(given); // the smaller is freed once the lock is let go of
}

void dropSpareBytes()
{
    SpareMemory &spare = spareMemory();
    QByteArray dropped;
    const QMutexLocker lock(&spare.mutex);
    dropped.swap(spare.bytes);
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool isRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

FileStamp stampOf(const QFile &file)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::fstat(file.handle(), &info) == 0 ? stampOf(info) : FileStamp();
#else
    return stampOf(file.fileName());
#endif
}

FileStamp stampOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? stampOf(info) : FileStamp();
#else
    FileStamp stamp;
    const QFileInfo info(path);
    if (info.exists()) {
        stamp.size = info.size();
        stamp.modified = info.lastModified().toMSecsSinceEpoch() * 1000000;
    }
    return stamp;
#endif
}

#ifdef Q_OS_UNIX
int openRegularDescriptor(const QByteArray &path, int flags, struct stat *opened, int *error, mode_t createMode)
{
    const int fd = openRegularAt(AT_FDCWD, path.constData(), flags, opened, error, createMode);
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}
#endif

bool openRegularFile(QFile &file, const QString &path, Failure *failure, QIODevice::OpenMode mode)
{
    file.setFileName(path);
#ifdef Q_OS_UNIX
    struct stat opened;
    int error = 0;
    const int flags = mode.testFlag(QIODevice::WriteOnly) ? O_RDWR : O_RDONLY;
    const int fd = openRegularDescriptor(QFile::encodeName(path), flags, &opened, &error);
    if (fd < 0)
        return error == 0 ? failWith(failure, Cause::NotRegularFile) : failOn(failure, file, error);
    if (!file.open(fd, mode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failOn(failure, file, EIO);
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return failWith(failure, Cause::NotRegularFile);
    clearSystemError();
    return file.open(mode | QIODevice::Unbuffered) || failOn(failure, file, lastSystemError());
#endif
}

LoadedFile loadWholeFile(const QString &path, qint64 limit, const HeadTest &wanted)
{
    LoadedFile loaded;
#ifdef Q_OS_UNIX
    // Read from the descriptor itself: a QFile over it costs four more system calls a file.
    struct stat opened;
    int error = 0;
    const int fd = openRegularDescriptor(QFile::encodeName(path), O_RDONLY, &opened, &error);
    if (fd < 0) {
        if (error == 0)
            failWith(&loaded.failure, Cause::NotRegularFile);
        else
            failOn(&loaded.failure, error);
        return loaded;
    }
    loaded.stamp = stampOf(opened);
    const auto head = [fd](qint64 size, QByteArray *bytes) {
        bytes->resize(int(size));
        const ssize_t got = uninterrupted([&] { return ::pread(fd, bytes->data(), size_t(size), 0); });
        bytes->resize(got < 0 ? 0 : int(got));
        return got >= 0;
    };
    const auto readSome = [fd](char *to, qint64 size) { return qint64(uninterrupted([&] { return ::read(fd, to, size_t(size)); })); };
    const auto failRead = [](Failure *failure) { failOn(failure, errno); };
    loadOpened(opened.st_size, limit, wanted, head, readSome, failRead, &loaded);
    ::close(fd);
#else
    QFile file;
    if (!openRegularFile(file, path, &loaded.failure))
        return loaded;
    loaded.stamp = stampOf(file);
    const auto head = [&file](qint64 size, QByteArray *bytes) {
        *bytes = file.peek(size);
        return bytes->size() == size;
    };
    const auto readSome = [&file](char *to, qint64 size) { return file.read(to, size); };
    const auto failRead = [&file](Failure *failure) { failOn(failure, file, lastSystemError()); };
    loadOpened(file.size(), limit, wanted, head, readSome, failRead, &loaded);
#endif
    return loaded;
}

#ifdef Q_OS_UNIX
HeadLook lookAtHeadAt(int directory, const char *name, const HeadTest &wanted, qint64 *size)
{
    // Four system calls: most files of a tree are looked at no further.
    struct stat opened;
    int error = 0;
    const int fd = openRegularAt(directory, name, O_RDONLY, &opened, &error);
    if (fd < 0)
        return HeadLook::NotRead;
    *size = opened.st_size;
    char head[headSize];
    const ssize_t got = uninterrupted([&] { return ::read(fd, head, sizeof head); });
    ::close(fd);
    if (got < 0)
        return HeadLook::NotRead;
    return wanted(QByteArray(head, int(got))) ? HeadLook::Wanted : HeadLook::Unwanted;
}
#endif

#ifndef Q_OS_UNIX
HeadLook lookAtHead(const QString &path, const HeadTest &wanted, qint64 *size)
{
    QFile file;
    Failure failure;
    if (!openRegularFile(file, path, &failure))
        return HeadLook::NotRead;
    *size = file.size();
    return wanted(file.peek(headSize)) ? HeadLook::Wanted : HeadLook::Unwanted;
}
#endif

Reason LoadedFile::failureAs(ReasonCode code) const
{
    if (failure.cause == Cause::TooLarge)
        return Reason(ReasonCode::FileTooLarge, {QString::number(stamp.size), QString::number(limit)});
    return failure.as(code);
}
