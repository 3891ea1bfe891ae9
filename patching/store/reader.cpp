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

// Reads the `size` bytes of `file` into `loaded`, and checks that no byte follows them.
void readAll(ReadableFile &file, qint64 size, LoadedFile *loaded)
{
    const qint64 done = file.read(loaded->data.data(), size);
    // A file that shrank or grew while being read would give bytes of no single version.
    char extra;
    const qint64 more = done == size ? file.read(&extra, 1) : 0;
    if (done < 0 || more < 0) {
        loaded->data.clear();
        file.failRead(&loaded->failure);
        return;
    }
    if (done != size || more != 0) {
        loaded->data.clear();
        failWith(&loaded->failure, Cause::PartialRead);
        return;
    }
    loaded->ok = true;
}

// The bytes of `file`, read once its first bytes are wanted.
void loadOpened(ReadableFile &file, qint64 limit, const HeadTest &wanted, LoadedFile *loaded)
{
    const qint64 size = file.size();
    // A file that is not wanted is not read beyond its first bytes.
    if (wanted) {
        QByteArray first;
        if (!file.readHead(qMin(size, headSize), &first)) {
            file.failRead(&loaded->failure);
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
    readAll(file, size, loaded);
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
#ifdef Q_OS_UNIX
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
#else
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
#endif
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
    // F_SETFL changes only the status flags, O_NONBLOCK among them: those the caller asked for are set.
    if (fd >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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

ReadableFile::~ReadableFile()
{
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0)
        ::close(m_descriptor);
#endif
}

bool ReadableFile::open(const QString &path, Failure *failure)
{
#ifdef Q_OS_UNIX
    struct stat opened;
    int error = 0;
    m_descriptor = openRegularDescriptor(QFile::encodeName(path), O_RDONLY, &opened, &error);
    if (m_descriptor < 0)
        return error == 0 ? failWith(failure, Cause::NotRegularFile) : failOn(failure, error);
    m_stamp = stampOf(opened);
    return true;
#else
    if (!openRegularFile(m_file, path, failure))
        return false;
    m_stamp = stampOf(m_file);
    return true;
#endif
}

qint64 ReadableFile::size() const
{
#ifdef Q_OS_UNIX
    return m_stamp.size;
#else
    return m_file.size();
#endif
}

#ifdef Q_OS_UNIX
bool ReadableFile::openAt(int directory, const char *name)
{
    struct stat opened;
    int error = 0;
    m_descriptor = openRegularAt(directory, name, O_RDONLY, &opened, &error);
    if (m_descriptor < 0)
        return false;
    // O_NONBLOCK, which the open needs against a pipe put in the file's place, is left: a read of a
    // regular file ignores it.
    m_stamp = stampOf(opened);
    return true;
}
#endif

bool ReadableFile::rewind()
{
#ifdef Q_OS_UNIX
    m_offset = 0;
    return true;
#else
    return m_file.seek(0);
#endif
}

HeadLook ReadableFile::lookAtHead(const HeadTest &wanted)
{
    QByteArray head;
    if (!readHead(qMin(size(), headSize), &head))
        return HeadLook::NotRead;
    return wanted(head) ? HeadLook::Wanted : HeadLook::Unwanted;
}

bool ReadableFile::readHead(qint64 size, QByteArray *bytes)
{
#ifdef Q_OS_UNIX
    bytes->resize(int(size));
    const ssize_t got = uninterrupted([&] { return ::pread(m_descriptor, bytes->data(), size_t(size), 0); });
    m_error = got < 0 ? errno : 0;
    bytes->resize(got < 0 ? 0 : int(got));
    return got >= 0;
#else
    *bytes = m_file.peek(size);
    return bytes->size() == size;
#endif
}

qint64 ReadableFile::read(char *to, qint64 size)
{
    qint64 done = 0;
    for (qint64 n = 1; done < size && n > 0; done += n) {
#ifdef Q_OS_UNIX
        n = uninterrupted([&] { return ::pread(m_descriptor, to + done, size_t(size - done), m_offset + done); });
        if (n < 0) {
            m_error = errno;
            return -1;
        }
#else
        clearSystemError();
        n = m_file.read(to + done, size - done);
        if (n < 0)
            return -1;
#endif
    }
#ifdef Q_OS_UNIX
    m_offset += done;
#endif
    return done;
}

bool ReadableFile::failRead(Failure *failure) const
{
#ifdef Q_OS_UNIX
    return failOn(failure, m_error);
#else
    return failOn(failure, m_file, lastSystemError());
#endif
}

LoadedFile loadWholeFile(const QString &path, qint64 limit, const HeadTest &wanted)
{
    LoadedFile loaded;
    ReadableFile file;
    if (!file.open(path, &loaded.failure))
        return loaded;
    loaded.stamp = file.stamp();
    loadOpened(file, limit, wanted, &loaded);
    return loaded;
}

LoadedFile loadWholeFile(ReadableFile &file, qint64 limit, const HeadTest &wanted)
{
    LoadedFile loaded;
    loaded.stamp = file.stamp();
    if (!file.rewind()) {
        file.failRead(&loaded.failure);
        return loaded;
    }
    loadOpened(file, limit, wanted, &loaded);
    return loaded;
}

#ifndef Q_OS_UNIX
HeadLook lookAtHead(const QString &path, const HeadTest &wanted, qint64 *size)
{
    // The listing told a regular file under its own name, and only its first bytes are read: it is
    // not asked again by name (a read for the plan checks the open file).
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
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
