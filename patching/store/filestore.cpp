#include "patching/store/filestore.h"

#include "patching/store/backuprule.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#include <windows.h>
// Not in every mingw-w64 winerror.h.
#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif
#endif
#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <sys/xattr.h>
#endif

namespace {
// The system's error as a cause a user can act on. Qt's own texts are English and often repeat
// the whole path, which every report already shows; they are kept only for an unknown error.
Cause causeOf(int code);
} // namespace

Cause causeOfSystemError(int code)
{
    const Cause cause = causeOf(code);
    return cause == Cause::None ? Cause::IoError : cause;
}

namespace {
Cause causeOf(int code)
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

// The error of the system call that just failed, and the clearing of it before a call.
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

// The reason of a failed operation on `file`; `code` is lastSystemError() taken right after it
// (0 when the system said nothing: Qt's text is kept then). Returns false.
bool fail(Failure *failure, const QFileDevice &file, int code)
{
    const Cause cause = causeOf(code);
    *failure = cause == Cause::None ? Failure{Cause::System, file.errorString(), false} : Failure{cause, QString(), false};
    return false;
}

bool failWith(Failure *failure, Cause cause, const QString &detail = QString())
{
    *failure = Failure{cause, detail, false};
    return false;
}

// Forces the bytes of an open file to the disk, so that after a power cut a renamed
// file, or a file written in place, holds what was written.
bool syncToDisk(QFileDevice &file, Failure *failure)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return fail(failure, file, lastSystemError());
#elif defined(Q_OS_WIN)
    if (!::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(file.handle()))))
        return fail(failure, file, lastSystemError());
#endif
    return true;
}

// Makes a rename in `directory` survive a power cut. Some file systems cannot sync a
// directory; the rename itself has succeeded then, so nothing is reported.
void syncDirectory(const QString &directory)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(directory);
#endif
}

// Writes every byte or fails with the system's reason. The device must be unbuffered:
// a buffered device reports a short write (a file-size limit, a full disk) only at
// flush time, without the reason, and QSaveFile::commit() ignores that flush.
bool writeAll(QFileDevice &file, const char *data, qint64 size, Failure *failure)
{
    for (qint64 done = 0; done < size;) {
        // After a short write the next attempt fails and carries the reason (EFBIG, ENOSPC, ...).
        clearSystemError();
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0)
            return fail(failure, file, lastSystemError());
        done += n;
    }
    return true;
}

#ifndef Q_OS_UNIX
// The permissions stored on disk. Qt adds the "User" flags for what the current user may
// do, which for root includes writing: setting them would make a read-only file writable.
QFileDevice::Permissions ownPermissions(QFileDevice::Permissions permissions)
{
    return permissions & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}
#endif

#ifdef Q_OS_UNIX
bool inGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(size_t(qMax(count, 0)));
    return count > 0 && ::getgroups(count, groups.data()) == count
        && std::find(groups.begin(), groups.end(), group) != groups.end();
}

// Whether a new file made by this process can take the owner and group of `info`: root gives a
// file to anyone; a user may give a file of their own to any group they belong to.
bool canKeepOwner(const struct stat &info)
{
    return ::geteuid() == 0 || (info.st_uid == ::geteuid() && inGroup(info.st_gid));
}
#endif

#ifdef Q_OS_LINUX
using Attributes = QVector<QPair<QByteArray, QByteArray>>;

// The extended attributes of a file (ACL, file capabilities, SELinux label, user attributes), as
// far as this process may see them. Bounded by the system's own limits on names and values.
bool readAttributes(int fd, Attributes *attributes)
{
    const ssize_t listSize = ::flistxattr(fd, nullptr, 0);
    if (listSize < 0)
        return errno == ENOTSUP; // a file system without attributes: nothing to keep
    QByteArray names(int(listSize), '\0');
    const ssize_t got = ::flistxattr(fd, names.data(), size_t(names.size()));
    if (got < 0)
        return false;
    for (const QByteArray &name : names.left(int(got)).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t valueSize = ::fgetxattr(fd, name.constData(), nullptr, 0);
        QByteArray value(int(qMax<ssize_t>(valueSize, 0)), '\0');
        if (valueSize < 0 || ::fgetxattr(fd, name.constData(), value.data(), size_t(value.size())) != valueSize)
            return false;
        attributes->append(qMakePair(name, value));
    }
    return true;
}

// Gives the open file `to` every attribute of `from` that it lacks or holds with another value (a new
// file may already carry an inherited ACL or its directory's label). Returns the name of the first
// that could not be set, or "?" when the attributes of `from` could not be read; empty when all are there.
QByteArray copyAttributes(int from, int to)
{
    Attributes wanted, present;
    if (!readAttributes(from, &wanted))
        return QByteArrayLiteral("?");
    readAttributes(to, &present); // what cannot be read is simply set again
    for (const auto &attribute : qAsConst(wanted)) {
        // A measurement or signature of the old content would make an integrity-checking system
        // refuse the new one; the system measures the new content itself.
        if (present.contains(attribute) || attribute.first == "security.ima" || attribute.first == "security.evm")
            continue;
        if (::fsetxattr(to, attribute.first.constData(), attribute.second.constData(), size_t(attribute.second.size()), 0) != 0)
            return attribute.first;
    }
    return QByteArray();
}
#endif

// Gives a new, still unnamed file the content `data`, then the owner, group, mode and extended
// attributes of the open file `model` (a write would clear file capabilities, a change of owner
// the set-id bits, so they come last). Only root may give a file away: a file made by root (the
// tool run through sudo) would otherwise belong to root, and the user could no longer rewrite their
// own toolchain. `attributeRefused` tells that only an extended attribute could not be copied.
bool fillNewFile(QFileDevice &file, const QByteArray &data, QFile &model, bool keepSetId, Failure *failure,
                 bool *attributeRefused = nullptr)
{
    if (!writeAll(file, data.constData(), data.size(), failure))
        return false;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::fstat(model.handle(), &info) != 0)
        return fail(failure, model, lastSystemError());
    const uid_t owner = ::geteuid() == 0 ? info.st_uid : uid_t(-1);
    // A user may give the file only a group they belong to; else it keeps the user's own.
    const gid_t group = ::geteuid() == 0 || (info.st_gid != ::getegid() && inGroup(info.st_gid)) ? info.st_gid : gid_t(-1);
    if ((owner != uid_t(-1) || group != gid_t(-1)) && ::fchown(file.handle(), owner, group) != 0)
        return fail(failure, file, lastSystemError());
    if (::fchmod(file.handle(), info.st_mode & (keepSetId ? 07777 : 0777)) != 0)
        return fail(failure, file, lastSystemError());
#else
    // A replacement takes what the replaced file has from ReplaceFileW (renameOver); a backup takes
    // the file's permissions, the read-only attribute being the one Windows keeps there.
    if (!keepSetId && !file.setPermissions(ownPermissions(model.permissions())))
        return fail(failure, file, lastSystemError());
#endif
#ifdef Q_OS_LINUX
    const QByteArray refused = attributeRefused ? copyAttributes(model.handle(), file.handle()) : QByteArray();
    if (!refused.isEmpty()) {
        *attributeRefused = true;
        failWith(failure, Cause::AttributeNotCopied, QString::fromLocal8Bit(refused));
        return false;
    }
#else
    Q_UNUSED(attributeRefused);
#endif
    return true;
}

#ifdef Q_OS_WIN
// `path` as the wide-character Win32 calls take it: absolute, native separators, and past MAX_PATH
// the \\?\ form, which Qt adds for its own calls but a direct call must add itself.
std::wstring nativePath(const QString &path)
{
    QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (native.size() >= MAX_PATH - 12)
        native = native.startsWith(QLatin1String("\\\\")) ? QStringLiteral("\\\\?\\UNC\\") + native.mid(2)
                                                        : QStringLiteral("\\\\?\\") + native;
    return native.toStdWString();
}
#endif

#ifdef Q_OS_WIN
// The system's error when ReplaceFileW may not replace `target`, else 0: it must read the file, delete
// its name and set its attributes, which the sharing of a running program or a loaded DLL refuses.
// Asked before the replacement, since a refused ReplaceFileW may leave a file of its own beside the
// target (wine's does).
int replaceRefusal(const std::wstring &target)
{
    const HANDLE handle = ::CreateFileW(target.c_str(), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return lastSystemError();
    ::CloseHandle(handle);
    return 0;
}
#endif

// Puts the written temporary file `from` in the place of `to` in one step, whatever `to` was; on
// failure `from` is removed.
bool renameOver(std::unique_ptr<QTemporaryFile> from, const QString &to, Failure *failure)
{
    const QString name = from->fileName();
#ifdef Q_OS_WIN
    // ReplaceFileW needs the new file closed, and QTemporaryFile::close() keeps its handle open: only
    // its end closes it.
    from->setAutoRemove(false);
    from.reset();
    const std::wstring target = nativePath(to), source = nativePath(name);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    bool replaced = false;
    int code = 0;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        replaced = ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
        code = lastSystemError();
    } else {
        // ReplaceFileW gives the new file what the replaced one had, its attributes, security descriptor
        // and alternate streams, which MoveFileExW would drop, and replaces the name alone, so that other
        // hard links keep their bytes. It refuses a read-only file: the attribute comes back after.
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly)
            ::SetFileAttributesW(target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
        code = replaceRefusal(target);
        replaced = code == 0 && ::ReplaceFileW(target.c_str(), source.c_str(), nullptr, 0, nullptr, nullptr);
        if (!replaced && code == 0)
            code = lastSystemError();
        // Documented for ERROR_UNABLE_TO_MOVE_REPLACEMENT without a backup name: the replaced file is
        // gone and the new one keeps its temporary name. It then takes the name as a plain move would.
        const bool targetGone = !replaced && ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
        if (targetGone && ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            replaced = true;
        if (readOnly)
            ::SetFileAttributesW(target.c_str(), attributes);
        if (targetGone && !replaced) {
            // The only copy of the new bytes: kept under its temporary name, and the file said not whole.
            fail(failure, QFile(name), code);
            failure->partlyWritten = true;
            return false;
        }
    }
    if (!replaced) {
        QFile::remove(name);
        return fail(failure, QFile(name), code);
    }
#else
    if (::rename(QFile::encodeName(name).constData(), QFile::encodeName(to).constData()) != 0)
        return fail(failure, *from, lastSystemError());
    from->setAutoRemove(false);
#endif
    return true;
}

// Whether the file carries file capabilities, which only root may give a file.
bool hasCapabilities(const QString &path)
{
#ifdef Q_OS_LINUX
    return ::getxattr(QFile::encodeName(path).constData(), "security.capability", nullptr, 0) > 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

// Whether an in-place write by this process would lose what it could not set again: the system
// clears set-id bits and file capabilities on a write by anyone but root; only the owner may set a
// set-user-id bit again, only an owner in the file's group its set-group-id bit, only root capabilities.
bool inPlaceLosesPrivilege(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::geteuid() == 0 || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    const bool owner = info.st_uid == ::geteuid();
    if (((info.st_mode & S_ISUID) != 0 && !owner) || ((info.st_mode & S_ISGID) != 0 && !(owner && inGroup(info.st_gid))))
        return true;
#endif
    return hasCapabilities(path);
}

// How new content may reach an existing file without writing through another of its names.
struct WritePlan {
    bool inPlace = false;
    bool singleName = true;
    Cause refusal = Cause::None; // why neither way is allowed
    QString detail;
};

WritePlan planWrite(const QString &path)
{
    WritePlan plan;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return plan; // a new file has nothing to keep
    plan.singleName = info.st_nlink == 1;
    if (canKeepOwner(info)) {
        // A replacement could not copy them, and a write in place clears them.
        if (::geteuid() != 0 && hasCapabilities(path)) {
            plan.refusal = plan.singleName ? Cause::PrivilegeWouldBeLost : Cause::AttributeNotCopied;
            plan.detail = plan.singleName ? QString() : QStringLiteral("security.capability");
        }
        return plan;
    }
    // A replacement would change the owner or group. A file's other hard links may be another
    // installation (a `cp -al` copy) or the file's own backup: writing in place would change them too.
    if (!plan.singleName) {
        plan.refusal = Cause::OtherNamesOfAnotherOwner;
        return plan;
    }
    if (inPlaceLosesPrivilege(path))
        plan.refusal = Cause::PrivilegeWouldBeLost;
    plan.inPlace = true;
#else
    Q_UNUSED(path);
#endif
    return plan;
}

// Replaces `path` in one step by a new file holding `data` with the owner, group, mode and extended
// attributes of `model`, or of `path` itself. On any failure `path` is as it was.
bool replaceInOneStep(const QString &path, const QByteArray &data, const QString &model, Failure *failure,
                      bool *attributeRefused)
{
    QFile modelFile;
    if (!openRegularFile(modelFile, model, failure))
        return false;
    auto temporary = std::make_unique<QTemporaryFile>(temporaryTemplate(path));
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    clearSystemError();
    if (!static_cast<QIODevice &>(*temporary).open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return fail(failure, *temporary, lastSystemError());
    if (!fillNewFile(*temporary, data, modelFile, true, failure, attributeRefused) || !syncToDisk(*temporary, failure))
        return false;
    // Windows opens files without sharing their deletion: an open model would keep ReplaceFileW from replacing it.
    modelFile.close();
    if (!renameOver(std::move(temporary), path, failure))
        return false;
    syncDirectory(QFileInfo(path).absolutePath());
    return true;
}

#ifdef Q_OS_UNIX
// The set-id bits and file capabilities of an open file, which the system clears on a write.
struct Privileges {
    mode_t mode = 0;
    QByteArray capability;
    bool operator==(const Privileges &other) const { return mode == other.mode && capability == other.capability; }
};

Privileges privileges(int fd)
{
    Privileges found;
    struct stat info;
    if (::fstat(fd, &info) == 0)
        found.mode = info.st_mode & 07777;
#ifdef Q_OS_LINUX
    char value[Limits::maxCapabilitySize];
    const ssize_t size = ::fgetxattr(fd, "security.capability", value, sizeof value);
    if (size > 0)
        found.capability = QByteArray(value, int(size));
#endif
    return found;
}

// Puts back what a write cleared; false when the system refuses.
bool restorePrivileges(int fd, const Privileges &before)
{
    if (privileges(fd) == before)
        return true;
    ::fchmod(fd, before.mode);
#ifdef Q_OS_LINUX
    if (!before.capability.isEmpty())
        ::fsetxattr(fd, "security.capability", before.capability.constData(), size_t(before.capability.size()), 0);
#endif
    return privileges(fd) == before;
}
#endif

// Where, from `at` on, the open file first differs from `data`, to the piece; data.size()
// when it holds all of it. Reads one piece at a time, never the whole file.
qint64 nextDifference(QFile &file, const QByteArray &data, qint64 at)
{
    for (; at < data.size(); at += Limits::pieceSize) {
        const qint64 size = qMin(Limits::pieceSize, data.size() - at);
        const QByteArray old = file.read(size);
        if (old.size() != size || std::memcmp(old.constData(), data.constData() + at, size_t(size)) != 0)
            return at;
    }
    return data.size();
}

// Writes `data` over the file's own bytes, so that its inode, and with it its owner, group,
// mode and hard links, stays. Runs only after the backup is complete and synced, and writes
// only the pieces that differ: for a binary, those holding slot records. A crash meanwhile
// leaves at worst a torn record, or a configuration file cut short or with an old tail,
// which the next patch or unpatch rewrites whole from the backup.
bool writeInPlace(const QString &path, const QByteArray &data, Failure *failure)
{
    QFile file(path);
#ifdef Q_OS_UNIX
    // Whoever may write the directory could have put a link or a second name in the file's place
    // since it was looked at: what is opened must be a regular file with this one name.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP)
        return failWith(failure, Cause::NotRegularFile);
    if (fd < 0)
        return fail(failure, file, lastSystemError());
    struct stat opened;
    const bool statted = ::fstat(fd, &opened) == 0;
    if (!statted || !S_ISREG(opened.st_mode) || opened.st_nlink != 1) {
        const int code = errno;
        ::close(fd);
        if (!statted)
            return fail(failure, file, code);
        return failWith(failure, S_ISREG(opened.st_mode) ? Cause::OtherNamesOfAnotherOwner : Cause::NotRegularFile);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(failure, file, EIO);
    }
    const Privileges before = privileges(file.handle());
#else
    clearSystemError();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return fail(failure, file, lastSystemError());
#endif
    bool touched = false;
    // Past the first write the file is neither old nor new: the user must hear that it needs a new run.
    const auto partly = [&touched, failure](bool ok) {
        failure->partlyWritten = !ok && touched;
        return ok;
    };
    for (qint64 at = nextDifference(file, data, 0); at < data.size();
         at = nextDifference(file, data, at + Limits::pieceSize)) {
        clearSystemError();
        if (!file.seek(at))
            return partly(fail(failure, file, lastSystemError()));
        const bool written = writeAll(file, data.constData() + at, qMin(Limits::pieceSize, data.size() - at), failure);
        touched = touched || file.pos() > at;
        if (!written)
            return partly(false);
    }
    clearSystemError();
    if (file.size() != data.size()) {
        touched = true;
        if (!file.resize(data.size()))
            return partly(fail(failure, file, lastSystemError()));
    }
    if (!partly(syncToDisk(file, failure)))
        return false;
#ifdef Q_OS_UNIX
    if (!restorePrivileges(file.handle(), before))
        return failWith(failure, Cause::PrivilegeLost);
#endif
    return true;
}

bool isBelow(const QString &canonicalPath, const QString &canonicalRoot)
{
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                     : canonicalRoot + QLatin1Char('/');
    // Windows compares names without regard to case.
#ifdef Q_OS_WIN
    const Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    const Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    return canonicalPath.compare(canonicalRoot, cs) == 0 || canonicalPath.startsWith(prefix, cs);
}

// Whether byte `at` lies in one of the sorted `regions`; `next` moves forward with `at`.
int regionOf(const QVector<Region> &regions, qint64 at, int *next)
{
    while (*next < regions.size() && regions.at(*next).offset + regions.at(*next).size <= at)
        ++*next;
    return *next < regions.size() && regions.at(*next).offset <= at ? *next : -1;
}
// Compares the bytes of `piece`, which the file holds from `at`, with `expected`, into `result`.
void comparePiece(const QByteArray &piece, const QByteArray &expected, qint64 at, const QVector<Region> &mayDiffer,
                  int *next, Comparison *result)
{
    if (std::memcmp(piece.constData(), expected.constData() + at, size_t(piece.size())) == 0)
        return;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (piece.at(i) == expected.at(at + i))
            continue;
        result->same = false;
        const int region = regionOf(mayDiffer, at + i, next);
        if (region < 0)
            result->elsewhere = true;
        else if (result->regions.isEmpty() || result->regions.last() != region)
            result->regions.append(region);
    }
}
} // namespace

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
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::fstat(file.handle(), &info) == 0) {
        stamp.size = info.st_size;
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    return stamp;
#else
    return stampOf(file.fileName());
#endif
}

FileStamp stampOf(const QString &path)
{
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        stamp.size = info.st_size;
        stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
#else
    const QFileInfo info(path);
    if (info.exists()) {
        stamp.size = info.size();
        stamp.modified = info.lastModified().toMSecsSinceEpoch() * 1000000;
    }
#endif
    return stamp;
}

bool openRegularFile(QFile &file, const QString &path, Failure *failure)
{
    file.setFileName(path);
#ifdef Q_OS_UNIX
    // Opened first, then looked at: what is read is what was checked, and opening a pipe without
    // O_NONBLOCK would wait for a writer that never comes.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ELOOP ? failWith(failure, Cause::NotRegularFile) : fail(failure, file, lastSystemError());
    struct stat info;
    const bool statted = ::fstat(fd, &info) == 0;
    if (!statted || !S_ISREG(info.st_mode)) {
        const int code = errno;
        ::close(fd);
        return statted ? failWith(failure, Cause::NotRegularFile) : fail(failure, file, code);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(failure, file, EIO);
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return failWith(failure, Cause::NotRegularFile);
    clearSystemError();
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || fail(failure, file, lastSystemError());
#endif
}

namespace {
// Reading a large file into fresh memory costs mostly that memory's page faults, one per 4 KiB page.
// Where the system offers huge pages on request, the buffer asks for them, which makes the faults a
// few hundred times fewer (a 64 MiB read goes from about 190 ms to 20 ms on the test machine).
void adviseHugePages(QByteArray &data)
{
#ifdef Q_OS_LINUX
    constexpr qsizetype hugePage = 2 << 20;
    if (data.size() < 2 * hugePage)
        return;
    const quintptr page = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr start = (reinterpret_cast<quintptr>(data.data()) + page - 1) & ~(page - 1);
    const quintptr end = (reinterpret_cast<quintptr>(data.data()) + quintptr(data.size())) & ~(page - 1);
    // Advice only: refused, it costs speed and nothing else.
    ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
#endif
}
} // namespace

LoadedFile loadWholeFile(const QString &path, qint64 limit, const std::function<bool(const QByteArray &head)> &wanted)
{
    LoadedFile loaded;
    QFile file;
    if (!openRegularFile(file, path, &loaded.failure))
        return loaded;
    loaded.stamp = stampOf(file);
    const qint64 size = file.size();
    // A file that is not wanted is not read beyond its first bytes.
    if (wanted && !wanted(file.peek(qMin<qint64>(size, 16)))) {
        loaded.unwanted = true;
        return loaded;
    }
    loaded.limit = limit;
    if (size > limit) {
        failWith(&loaded.failure, Cause::TooLarge);
        return loaded;
    }
    try {
        loaded.data.resize(size);
        adviseHugePages(loaded.data);
    } catch (const std::bad_alloc &) {
        failWith(&loaded.failure, Cause::OutOfMemory);
        return loaded;
    }
    qint64 done = 0;
    for (qint64 n = 1; done < size && n > 0; done += n) {
        clearSystemError();
        n = file.read(loaded.data.data() + done, size - done);
        if (n < 0) {
            loaded.data.clear();
            fail(&loaded.failure, file, lastSystemError());
            return loaded;
        }
    }
    // A file that shrank or grew while being read would give bytes of no single version.
    char extra;
    const qint64 more = file.read(&extra, 1);
    if (done != size || more != 0) {
        loaded.data.clear();
        if (more < 0)
            fail(&loaded.failure, file, lastSystemError());
        else
            failWith(&loaded.failure, Cause::PartialRead);
        return loaded;
    }
    loaded.ok = true;
    return loaded;
}

Reason LoadedFile::failureAs(ReasonCode code) const
{
    if (failure.cause == Cause::TooLarge)
        return Reason(ReasonCode::FileTooLarge, {QString::number(stamp.size), QString::number(limit)});
    return failure.as(code);
}

Comparison compareFile(const QString &path, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    Comparison result;
    QFile file;
    if (!openRegularFile(file, path, &result.failure))
        return result;
    result.ok = true;
    result.sameSize = file.size() == expected.size();
    if (!result.sameSize) {
        result.same = false;
        result.elsewhere = true;
        return result;
    }
    int next = 0;
    for (qint64 at = 0; at < expected.size(); at += Limits::pieceSize) {
        const qint64 size = qMin(Limits::pieceSize, expected.size() - at);
        clearSystemError();
        const QByteArray piece = file.read(size);
        if (piece.size() != size) {
            // QFile::read() gives what it read before an error: the error tells one from a short file.
            result.ok = file.error() != QFileDevice::NoError ? fail(&result.failure, file, lastSystemError())
                                                              : failWith(&result.failure, Cause::PartialRead);
            return result;
        }
        comparePiece(piece, expected, at, mayDiffer, &next, &result);
    }
    return result;
}

Comparison compareBytes(const QByteArray &current, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    Comparison result;
    result.ok = true;
    result.sameSize = current.size() == expected.size();
    result.same = result.sameSize;
    result.elsewhere = !result.sameSize;
    int next = 0;
    if (result.sameSize)
        comparePiece(current, expected, 0, mayDiffer, &next, &result);
    return result;
}

bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, Failure *failure)
{
    const QFileInfo existing(path);
    const WritePlan plan = planWrite(path);
    if (plan.refusal != Cause::None)
        return failWith(failure, plan.refusal, plan.detail);
    if (plan.inPlace)
        return writeInPlace(path, data, failure);
    // Root bypasses a file's mode; anyone else must have the right to change the file itself. The
    // system's own answer also tells a read-only file system apart.
#ifdef Q_OS_UNIX
    if (existing.exists() && ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) != 0)
        return fail(failure, QFile(path), errno);
#endif
    bool attributeRefused = false;
    if (replaceInOneStep(path, data, existing.exists() ? path : likeIfNew, failure, &attributeRefused))
        return true;
    if (!attributeRefused)
        return false;
    // Written over its own bytes, a file with a single name keeps every attribute it has, but for
    // the file capabilities that a write clears.
    if (plan.singleName && !inPlaceLosesPrivilege(path))
        return writeInPlace(path, data, failure);
    if (plan.singleName)
        failWith(failure, Cause::PrivilegeWouldBeLost);
    return false;
}

Failure writeRefusal(const QString &path)
{
    const QFileInfo info(path);
    const WritePlan plan = info.exists() ? planWrite(path) : WritePlan();
    if (plan.refusal != Cause::None)
        return Failure{plan.refusal, plan.detail, false};
    QStringList places; // an existing file is opened for writing; a replace or a new entry needs its directory
    if (info.exists())
        places.append(path);
    if (!plan.inPlace)
        places.append(info.absolutePath());
    for (const QString &place : places) {
#ifdef Q_OS_UNIX
        // The effective user's rights, as the real write would meet them; also a read-only mount for root.
        const int mode = place == path ? W_OK : W_OK | X_OK;
        if (::faccessat(AT_FDCWD, QFile::encodeName(place).constData(), mode, AT_EACCESS) != 0) {
            const Cause cause = causeOf(errno);
            return Failure{cause == Cause::None ? Cause::AccessDenied : cause, QString(), false};
        }
#else
        // A directory's rights are read from its attributes (Qt's isWritable()), which is all a dry run
        // can ask without writing there.
        if (place == path) {
            const int code = replaceRefusal(nativePath(place));
            if (code != 0) {
                const Cause cause = causeOf(code);
                return Failure{cause == Cause::None ? Cause::AccessDenied : cause, QString(), false};
            }
        } else if (!QFileInfo(place).isWritable()) {
            return Failure{Cause::AccessDenied, QString(), false};
        }
#endif
    }
    return Failure();
}

void removeOwnLeftovers(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    for (const QFileInfo &entry : info.absoluteDir().entryInfoList({name + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System)) {
        // One that cannot be removed harms nothing: no listing ever takes it for a file or a backup.
        if (isOwnLeftover(entry.fileName(), name) && !entry.isSymLink())
            QFile::remove(entry.filePath());
    }
}

bool resolveInsideRoot(const QString &path, const QString &root, QString *target)
{
    const QFileInfo info(path);
    const QString directory = QDir::cleanPath(info.absolutePath());
    const QString canonicalDirectory = QFileInfo(directory).canonicalFilePath();
    *target = path;
    // A link anywhere on the way ("lib" may itself be a link to another installation)
    // must lead into the installation, as seen with every link resolved, so that an
    // installation reached through a linked directory still works. The directory
    // matters too: it receives the backup and the temporary file of a replace.
    if (canonicalDirectory == directory && !info.isSymLink())
        return true;
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalDirectory.isEmpty() || !isBelow(canonicalDirectory, canonicalRoot))
        return false;
    if (info.isSymLink())
        *target = info.canonicalFilePath(); // empty for a link leading nowhere
    return !target->isEmpty() && isBelow(QFileInfo(*target).canonicalFilePath(), canonicalRoot);
}

BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, Failure *failure)
{
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    const QFileInfo info(backup);
    QFile modelFile;
    if (!openRegularFile(modelFile, model, failure))
        return BackupResult::Failed;
    QTemporaryFile temporary(temporaryTemplate(backup));
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    clearSystemError();
    if (!static_cast<QIODevice &>(temporary).open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fail(failure, temporary, lastSystemError());
        return BackupResult::Failed;
    }
    // The patched file will be synced to disk when it replaces the original; its backup
    // must not be less durable, or a power cut could leave a patched file with no original.
    // It takes the file's group and mode, so that every member who may write the file may also restore
    // it; a second set-id copy of a program would be a second way in, so it gets no set-id bit.
    if (!fillNewFile(temporary, data, modelFile, false, failure) || !syncToDisk(temporary, failure))
        return BackupResult::Failed;
    // rename() refuses an existing target, so a backup that appeared meanwhile is kept.
    clearSystemError();
    if (!temporary.rename(backup)) {
        if (entryExists(backup))
            return BackupResult::AlreadyThere;
        fail(failure, temporary, lastSystemError());
        return BackupResult::Failed;
    }
    temporary.setAutoRemove(false);
    syncDirectory(info.absolutePath());
    return BackupResult::Made;
}

bool existsBelow(const QByteArray &root, const QByteArray &relative)
{
    return QFileInfo::exists(QString::fromLocal8Bit(root) + QLatin1Char('/') + QString::fromLocal8Bit(relative));
}
