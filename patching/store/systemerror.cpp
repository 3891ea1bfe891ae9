#include "patching/store/systemerror.h"

#include <QFileDevice>

#include <cerrno>

#ifdef Q_OS_WIN
#include <windows.h>
// Not in every mingw-w64 winerror.h.
#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif
#endif

// The system's error as a cause a user can act on. Qt's own texts are English and often repeat
// the whole path, which every report already shows; they are kept only for an unknown error.
Cause knownCauseOf(int code)
{
    static const struct {
        int code;
        Cause cause;
    } known[] = {
#ifdef Q_OS_WIN
        // GetLastError()'s codes, which Qt's file functions leave behind them.
        {ERROR_ACCESS_DENIED, Cause::AccessDenied}, {ERROR_WRITE_PROTECT, Cause::ReadOnlyFileSystem},
        {ERROR_DISK_FULL, Cause::NoSpace}, {ERROR_HANDLE_DISK_FULL, Cause::NoSpace},
        {ERROR_DISK_QUOTA_EXCEEDED, Cause::QuotaExceeded}, {ERROR_SHARING_VIOLATION, Cause::Busy},
        {ERROR_LOCK_VIOLATION, Cause::Busy}, {ERROR_USER_MAPPED_FILE, Cause::Busy},
        {ERROR_UNABLE_TO_REMOVE_REPLACED, Cause::Busy}, {ERROR_FILE_NOT_FOUND, Cause::NotFound},
        {ERROR_PATH_NOT_FOUND, Cause::NotFound}, {ERROR_FILENAME_EXCED_RANGE, Cause::NameTooLong},
        {ERROR_TOO_MANY_OPEN_FILES, Cause::TooManyOpenFiles}, {ERROR_NOT_ENOUGH_MEMORY, Cause::OutOfMemory},
        {ERROR_OUTOFMEMORY, Cause::OutOfMemory}, {ERROR_CRC, Cause::IoError}, {ERROR_IO_DEVICE, Cause::IoError},
#else
        // errno's codes; on Windows they would read as other GetLastError() codes.
        {EACCES, Cause::AccessDenied}, {EPERM, Cause::AccessDenied}, {EROFS, Cause::ReadOnlyFileSystem},
        {ENOSPC, Cause::NoSpace}, {EBUSY, Cause::Busy}, {EFBIG, Cause::FileSizeLimit}, {EISDIR, Cause::IsDirectory},
        {ENOENT, Cause::NotFound}, {EIO, Cause::IoError}, {ENAMETOOLONG, Cause::NameTooLong},
        {EMFILE, Cause::TooManyOpenFiles}, {ENFILE, Cause::TooManyOpenFiles}, {ENOMEM, Cause::OutOfMemory},
#ifdef EDQUOT
        {EDQUOT, Cause::QuotaExceeded},
#endif
#ifdef ETXTBSY
        {ETXTBSY, Cause::Busy},
#endif
#endif
    };
    for (const auto &entry : known) {
        if (entry.code == code)
            return entry.cause;
    }
    return Cause::None;
}

Cause causeOfSystemError(int code)
{
    const Cause cause = knownCauseOf(code);
    return cause == Cause::None ? Cause::IoError : cause;
}

int lastSystemError()
{
#ifdef Q_OS_WIN
    return int(::GetLastError());
#else
    return errno;
#endif
}

void clearSystemError()
{
#ifdef Q_OS_WIN
    ::SetLastError(0);
#endif
    errno = 0;
}

namespace {
// The failure for the system error `code`: its cause when known, else the system's own `words`.
bool failOnCode(Failure *failure, int code, const QString &words)
{
    const Cause cause = knownCauseOf(code);
    return cause == Cause::None ? failWith(failure, Cause::System, words) : failWith(failure, cause);
}
} // namespace

bool failOn(Failure *failure, const QFileDevice &file, int code)
{
    return failOnCode(failure, code, file.errorString());
}

bool failOn(Failure *failure, int code)
{
    return failOnCode(failure, code, qt_error_string(code));
}

bool failWith(Failure *failure, Cause cause, const QString &detail)
{
    *failure = Failure{cause, detail, false};
    return false;
}
