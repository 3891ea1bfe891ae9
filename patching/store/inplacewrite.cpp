#include "patching/store/inplacewrite.h"

#include "patching/base/limits.h"
#include "patching/store/fileoperations.h"
#include "patching/store/reader.h"
#include "patching/store/systemerror.h"

#include <QFile>

#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace {
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

// Opens the regular file `path` for writing where it has no other name. Whoever may write the directory
// could have put a link or a second name in the file's place since it was looked at.
bool openSingleName(QFile &file, const QString &path, Failure *failure)
{
    if (!openRegularFile(file, path, failure, QIODevice::ReadWrite))
        return false;
#ifdef Q_OS_UNIX
    struct stat opened;
    if (::fstat(file.handle(), &opened) != 0)
        return failOn(failure, file, lastSystemError());
    if (opened.st_nlink != 1)
        return failWith(failure, Cause::OtherNamesOfAnotherOwner);
#endif
    return true;
}

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

// Writes the pieces of `data` the file does not hold yet, and gives it the size of `data`. `touched`
// tells whether a byte of the file changed.
bool writeDifferences(QFile &file, const QByteArray &data, Failure *failure, bool *touched)
{
    for (qint64 at = nextDifference(file, data, 0); at < data.size();
         at = nextDifference(file, data, at + Limits::pieceSize)) {
        clearSystemError();
        if (!file.seek(at))
            return failOn(failure, file, lastSystemError());
        const bool written = writeAll(file, data.constData() + at, qMin(Limits::pieceSize, data.size() - at), failure);
        *touched = *touched || file.pos() > at;
        if (!written)
            return false;
    }
    clearSystemError();
    if (file.size() != data.size()) {
        *touched = true;
        if (!file.resize(data.size()))
            return failOn(failure, file, lastSystemError());
    }
    return true;
}
} // namespace

bool writeInPlace(const QString &path, const QByteArray &data, Failure *failure)
{
    QFile file;
    if (!openSingleName(file, path, failure))
        return false;
#ifdef Q_OS_UNIX
    const Privileges before = privileges(file.handle());
#endif
    bool touched = false;
    // Past the first write the file is neither old nor new: the user must hear that it needs a new run.
    if (!writeDifferences(file, data, failure, &touched) || !syncToDisk(file, failure)) {
        failure->partlyWritten = touched;
        return false;
    }
#ifdef Q_OS_UNIX
    if (!restorePrivileges(file.handle(), before))
        return failWith(failure, Cause::PrivilegeLost);
#endif
    return true;
}
