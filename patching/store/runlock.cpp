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

// Another run removes its lock file as it ends: one opened just before is then no longer the lock,
// and is looked for again, a few times at most.
constexpr int maxAttempts = 3;

#ifndef Q_OS_WIN

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
    // The same shape as flock: the file is opened shared by every run, and a byte-range lock says who
    // holds it; the system drops the lock of a process that dies. A link of that name is opened itself,
    // never followed. A file another run is deleting as it ends is not the lock: looked for again.
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                                          GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return {-1, false, causeOfSystemError(int(::GetLastError()))};
        OVERLAPPED whole = {};
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (access == RunAccess::ReadsOnly ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
        if (!::LockFileEx(file, flags, 0, 1, 0, &whole)) {
            const DWORD error = ::GetLastError();
            ::CloseHandle(file);
            if (error == ERROR_LOCK_VIOLATION)
                return {-1, true};
            return {-1, false, causeOfSystemError(int(error))};
        }
        FILE_STANDARD_INFO standard = {};
        if (::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) && !standard.DeletePending)
            return {qintptr(file)};
        ::CloseHandle(file);
    }
    return {-1, true};
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
        const bool locked = ::flock(fd, (access == RunAccess::ReadsOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0;
        error = errno;
        struct stat named;
        const bool stillTheLock = ::lstat(name.constData(), &named) == 0 && sameFile(opened, named);
        if (locked && stillTheLock)
            return {qintptr(fd)};
        ::close(fd);
        // Held by a run that is removing it as it ends: the next file of that name is the lock.
        if (!locked && stillTheLock)
            return error == EWOULDBLOCK ? Taking{-1, true} : Taking{-1, false, causeOfSystemError(error)};
    }
    return {-1, true};
#endif
}

void releaseLockFile(const QString &path, qintptr handle)
{
#ifdef Q_OS_WIN
    // Deleted by the run that holds it alone, as on POSIX; the others leave it to the last of them.
    Q_UNUSED(path);
    const HANDLE file = HANDLE(handle);
    OVERLAPPED whole = {};
    ::UnlockFileEx(file, 0, 1, 0, &whole);
    if (::LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        FILE_DISPOSITION_INFO gone = {TRUE};
        ::SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
    }
    ::CloseHandle(file);
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
