#include "patching/store/runlock.h"

#include "patching/store/backuprule.h"
#include "patching/store/reader.h"
#include "patching/store/systemerror.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// What an attempt to take the lock gave: the open lock file, or that another run holds it, or why
// the lock could not be made.
struct Taking {
    qintptr handle = -1;
    bool heldElsewhere = false;
    Cause cause = Cause::None;
};

#ifndef Q_OS_WIN
// Another run removes its lock file as it ends: one opened just before is then no longer the lock,
// and is looked for again, a few times at most.
constexpr int maxAttempts = 3;

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

// The system holds the lock for the process, so that it is released by the process's death. Runs
// that only read share it with each other; a run that writes holds it alone.
Taking takeLockFile(const QString &path, RunAccess access)
{
#ifdef Q_OS_WIN
    // Shared with nobody, so that a second run's open fails with a sharing violation; deleted when its
    // handle is closed, which the system does for a process that dies. A link of that name is opened
    // itself, never followed.
    const DWORD sharing = access == RunAccess::ReadsOnly ? FILE_SHARE_READ | FILE_SHARE_DELETE : 0;
    const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                                      GENERIC_READ | DELETE, sharing, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return {qintptr(file)};
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION)
        return {-1, true};
    return {-1, false, causeOfSystemError(int(error))};
#else
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        // Never through a link, and never waiting on a pipe planted under that name.
        struct stat opened;
        int error = 0;
        const int fd = openRegularDescriptor(name, O_RDONLY | O_CREAT, &opened, &error, 0444);
        if (fd < 0)
            return {-1, false, error == 0 ? Cause::NotRegularFile : causeOfSystemError(error)};
        // Readable by all whatever the umask, so that the next run of another member of the group can
        // take over the file a killed run left; a file of another owner keeps its mode, which is enough.
        ::fchmod(fd, 0444);
        if (::flock(fd, (access == RunAccess::ReadsOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return {-1, true};
            return {-1, false, causeOfSystemError(error)};
        }
        struct stat named;
        if (::lstat(name.constData(), &named) == 0 && sameFile(opened, named))
            return {qintptr(fd)};
        ::close(fd);
    }
    return {-1, true};
#endif
}

void releaseLockFile(const QString &path, qintptr handle)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    ::CloseHandle(HANDLE(handle)); // which deletes the file: it was opened to be deleted on close
#else
    // Removed while still held alone, so that no run takes a file that has left DIR; a run that reads
    // leaves it to the last of those sharing it. Where it cannot be removed (the directory made
    // read-only meanwhile) the next run takes it over.
    const QByteArray name = QFile::encodeName(path);
    struct stat opened, named;
    if (::flock(int(handle), LOCK_EX | LOCK_NB) == 0 && ::fstat(int(handle), &opened) == 0
        && ::lstat(name.constData(), &named) == 0 && sameFile(opened, named))
        ::unlink(name.constData());
    ::close(int(handle));
#endif
}
} // namespace

RunLock::RunLock(const QString &qtPath, RunAccess access)
    : path(runLockPathIn(qtPath))
{
    const Taking taking = takeLockFile(path, access);
    handle = taking.handle;
    if (taking.heldElsewhere)
        refused = Reason(ReasonCode::RunInProgress);
    else if (!isHeld() && access == RunAccess::Writes)
        refused = Reason(ReasonCode::RunLockNotMade, taking.cause);
}

RunLock::~RunLock()
{
    if (isHeld())
        releaseLockFile(path, handle);
}
