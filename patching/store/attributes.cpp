#include "patching/store/attributes.h"

#include "patching/store/systemerror.h"

#include <QPair>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>
#endif

namespace {
#ifndef Q_OS_UNIX
// The permissions stored on disk. Qt adds the "User" flags for what the current user may
// do, which for root includes writing: setting them would make a read-only file writable.
QFileDevice::Permissions ownPermissions(QFileDevice::Permissions permissions)
{
    return permissions & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}
#endif

#ifdef Q_OS_LINUX
using Attributes = QVector<QPair<QByteArray, QByteArray>>;

// The extended attributes of a file, as far as this process may see them. Bounded by the system's
// own limits on names and values.
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
} // namespace

bool takeOwnerAndMode(QFileDevice &file, QFile &model, bool keepSetId, Failure *failure)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::fstat(model.handle(), &info) != 0)
        return failOn(failure, model, lastSystemError());
    const uid_t owner = ::geteuid() == 0 ? info.st_uid : uid_t(-1);
    // A user may give the file only a group they belong to; else it keeps the user's own.
    const gid_t group = ::geteuid() == 0 || (info.st_gid != ::getegid() && inGroup(info.st_gid)) ? info.st_gid : gid_t(-1);
    if ((owner != uid_t(-1) || group != gid_t(-1)) && ::fchown(file.handle(), owner, group) != 0)
        return failOn(failure, file, lastSystemError());
    if (::fchmod(file.handle(), info.st_mode & (keepSetId ? 07777 : 0777)) != 0)
        return failOn(failure, file, lastSystemError());
#else
    // A replacement takes what the replaced file has from ReplaceFileW (Replacement::commit); a backup
    // takes the file's permissions, the read-only attribute being the one Windows keeps there.
    if (!keepSetId && !file.setPermissions(ownPermissions(model.permissions())))
        return failOn(failure, file, lastSystemError());
#endif
    return true;
}

bool takeAttributes(QFileDevice &file, QFile &model, Failure *failure)
{
#ifdef Q_OS_LINUX
    const QByteArray refused = copyAttributes(model.handle(), file.handle());
    if (!refused.isEmpty())
        return failWith(failure, Cause::AttributeNotCopied, QString::fromLocal8Bit(refused));
#else
    Q_UNUSED(file);
    Q_UNUSED(model);
    Q_UNUSED(failure);
#endif
    return true;
}

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

bool canKeepOwner(const struct stat &info)
{
    return ::geteuid() == 0 || (info.st_uid == ::geteuid() && inGroup(info.st_gid));
}
#endif

bool hasCapabilities(const QString &path)
{
#ifdef Q_OS_LINUX
    return ::getxattr(QFile::encodeName(path).constData(), "security.capability", nullptr, 0) > 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

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
