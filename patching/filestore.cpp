#include "patching/filestore.h"

#include "patching/fileoutcome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <atomic>
#include <new>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// 1 GiB: far above any Qt 4 library, and safely below what a Qt 5 byte array can hold.
constexpr qint64 defaultMaxLoadableFileSize = qint64(1) << 30;
std::atomic<qint64> maxLoadableOverride{0};

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// Writes every byte or fails with the system's reason. The device must be unbuffered:
// a buffered device reports a short write (a file-size limit, a full disk) only at
// flush time, without the reason, and QSaveFile::commit() ignores that flush.
bool writeAll(QFileDevice &file, const QByteArray &data, QString *error)
{
    qint64 done = 0;
    while (done < data.size()) {
        // After a short write the next attempt fails and carries the reason (EFBIG, ENOSPC, ...).
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0) {
            setError(error, file.errorString());
            return false;
        }
        done += n;
    }
    return true;
}

// A new file made by root (the tool run through sudo) would otherwise belong to root,
// and the user could no longer rewrite their own toolchain. Only root may give a file away.
bool keepOwner(QFileDevice &file, const QString &ownerOf, QString *error)
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        return true;
    struct stat info;
    if (::stat(QFile::encodeName(ownerOf).constData(), &info) != 0)
        return true; // nothing to take the owner from: a file being created anew
    if (::fchown(file.handle(), info.st_uid, info.st_gid) != 0) {
        setError(error, QString::fromLocal8Bit(::strerror(errno)));
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(ownerOf);
    Q_UNUSED(error);
#endif
    return true;
}

bool isBelow(const QString &canonicalPath, const QString &canonicalRoot)
{
    if (canonicalPath == canonicalRoot)
        return true;
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                     : canonicalRoot + QLatin1Char('/');
    return canonicalPath.startsWith(prefix);
}
} // namespace

qint64 maxLoadableFileSize()
{
    const qint64 overridden = maxLoadableOverride.load();
    return overridden > 0 ? overridden : defaultMaxLoadableFileSize;
}

qint64 overrideMaxLoadableFileSize(qint64 size)
{
    const qint64 previous = maxLoadableOverride.exchange(size > 0 ? size : 0);
    return previous > 0 ? previous : 0;
}

bool entryExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

LoadedFile loadWholeFile(const QString &path, qint64 limit)
{
    LoadedFile loaded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = file.errorString();
        return loaded;
    }
    const qint64 size = file.size();
    if (size > limit) {
        loaded.tooLarge = true;
        loaded.error = Reason::fileTooLarge();
        return loaded;
    }
    try {
        loaded.data.resize(size);
    } catch (const std::bad_alloc &) {
        loaded.data.clear();
        loaded.tooLarge = true;
        loaded.error = Reason::fileTooLarge();
        return loaded;
    }
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(loaded.data.data() + done, size - done);
        if (n < 0) {
            loaded.data.clear();
            loaded.error = file.errorString();
            return loaded;
        }
        if (n == 0)
            break;
        done += n;
    }
    // A file that shrank or grew while being read would give bytes of no single version.
    char extra;
    const qint64 more = file.read(&extra, 1);
    if (done != size || more != 0) {
        loaded.data.clear();
        loaded.error = more < 0 ? file.errorString() : Reason::partialRead();
        return loaded;
    }
    loaded.ok = true;
    return loaded;
}

bool replaceFileContent(const QString &path, const QByteArray &data, QString *error)
{
    return replaceFileContent(path, data, QFileInfo(path).permissions(), error);
}

bool replaceFileContent(const QString &path, const QByteArray &data, QFileDevice::Permissions permissionsIfNew,
                        QString *error)
{
    const QFileInfo existing(path);
    const QFileDevice::Permissions permissions = existing.exists() ? existing.permissions() : permissionsIfNew;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(error, file.errorString());
        return false;
    }
    // The temporary file is created with default permissions; an executable qmake must stay executable.
    if (permissions && !file.setPermissions(permissions)) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!keepOwner(file, path, error)) {
        file.cancelWriting();
        return false;
    }
    if (!writeAll(file, data, error)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

bool resolveInsideRoot(const QString &path, const QString &root, QString *target)
{
    const QFileInfo info(path);
    if (!info.isSymLink()) {
        if (target)
            *target = path;
        return true;
    }
    const QString canonicalTarget = info.canonicalFilePath();
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalTarget.isEmpty() || canonicalRoot.isEmpty() || !isBelow(canonicalTarget, canonicalRoot))
        return false;
    if (target)
        *target = canonicalTarget;
    return true;
}

BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data,
                                  QFileDevice::Permissions permissions, QString *error)
{
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    const QFileInfo info(backup);
    QTemporaryFile temporary(info.absolutePath() + QLatin1Char('/') + info.fileName() + QStringLiteral(".XXXXXX"));
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    if (!static_cast<QIODevice &>(temporary).open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        setError(error, temporary.errorString());
        return BackupResult::Failed;
    }
    if (!writeAll(temporary, data, error))
        return BackupResult::Failed;
    if (permissions && !temporary.setPermissions(permissions)) {
        setError(error, temporary.errorString());
        return BackupResult::Failed;
    }
    // rename() refuses an existing target, so a backup that appeared meanwhile is kept.
    if (!temporary.rename(backup)) {
        if (entryExists(backup))
            return BackupResult::AlreadyThere;
        setError(error, temporary.errorString());
        return BackupResult::Failed;
    }
    temporary.setAutoRemove(false);
    return BackupResult::Made;
}

bool makeBackupIfMissing(const QString &source, const QString &backup, QString *error)
{
    if (entryExists(backup))
        return true;
    const LoadedFile loaded = loadWholeFile(source);
    if (!loaded.ok) {
        setError(error, loaded.error);
        return false;
    }
    return writeBackupIfMissing(backup, loaded.data, QFileInfo(source).permissions(), error) != BackupResult::Failed;
}
