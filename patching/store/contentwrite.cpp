#include "patching/store/contentwrite.h"

#include "patching/store/attributes.h"
#include "patching/store/inplacewrite.h"
#include "patching/store/reader.h"
#include "patching/store/replacement.h"
#include "patching/store/systemerror.h"

#include <QFileInfo>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
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
                      bool *attributeRefused, const FileOperations &operations)
{
    QFile modelFile;
    if (!openRegularFile(modelFile, model, failure))
        return false;
    Replacement replacement(path, operations);
    if (!replacement.open(failure) || !replacement.fill(data, modelFile, true, failure, attributeRefused))
        return false;
    // Windows opens files without sharing their deletion: an open model would keep ReplaceFileW from replacing it.
    modelFile.close();
    return replacement.commit(failure);
}

// Why `place`, the file itself (`isFile`) or the directory that receives a new entry, refuses a write.
Failure placeRefusal(const QString &place, bool isFile)
{
#ifdef Q_OS_UNIX
    // The effective user's rights, as the real write would meet them; also a read-only mount for root.
    if (::faccessat(AT_FDCWD, QFile::encodeName(place).constData(), isFile ? W_OK : W_OK | X_OK, AT_EACCESS) != 0) {
        const Cause cause = knownCauseOf(errno);
        return Failure{cause == Cause::None ? Cause::AccessDenied : cause, QString(), false};
    }
#else
    // A directory's rights are read from its attributes (Qt's isWritable()), which is all a dry run
    // can ask without writing there.
    if (isFile) {
        const int code = replaceRefusal(place);
        if (code != 0) {
            const Cause cause = knownCauseOf(code);
            return Failure{cause == Cause::None ? Cause::AccessDenied : cause, QString(), false};
        }
    } else if (!QFileInfo(place).isWritable()) {
        return Failure{Cause::AccessDenied, QString(), false};
    }
#endif
    return Failure();
}
} // namespace

bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, Failure *failure,
                        const FileOperations &operations)
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
        return failOn(failure, QFile(path), errno);
#endif
    bool attributeRefused = false;
    if (replaceInOneStep(path, data, existing.exists() ? path : likeIfNew, failure, &attributeRefused, operations))
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
    // An existing file is opened for writing; a replace or a new entry needs its directory.
    if (info.exists()) {
        const Failure refusal = placeRefusal(path, true);
        if (refusal.cause != Cause::None)
            return refusal;
    }
    return plan.inPlace ? Failure() : placeRefusal(info.absolutePath(), false);
}
