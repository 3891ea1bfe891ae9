#include "patching/filestore.h"

#include "patching/fileoutcome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
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

// Short French words for the failures a user can act on. Qt's own texts are English
// and often repeat the whole path, which every report already shows.
QString systemErrorText(int code)
{
    switch (code) {
    case EACCES:
    case EPERM:
        return QStringLiteral("accès refusé");
    case EROFS:
        return QStringLiteral("système de fichiers en lecture seule");
    case ENOSPC:
        return QStringLiteral("plus de place sur le disque");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("quota disque dépassé");
#endif
    case EFBIG:
        return QStringLiteral("taille de fichier limite dépassée");
#ifdef ETXTBSY
    case ETXTBSY:
#endif
    case EBUSY:
        return QStringLiteral("fichier en cours d'utilisation");
    case EISDIR:
        return QStringLiteral("c'est un répertoire");
    case ENOENT:
        return QStringLiteral("introuvable");
    case EIO:
        return QStringLiteral("erreur d'entrée-sortie");
    case ENAMETOOLONG:
        return QStringLiteral("chemin trop long");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("trop de fichiers ouverts");
    case ENOMEM:
        return QStringLiteral("mémoire insuffisante");
    default:
        break;
    }
    return QString();
}

// The reason of a failed operation on `file`; `code` is errno taken right after it
// (0 when the system said nothing, as on Windows, where Qt's text is kept).
void setFileError(QString *error, const QFileDevice &file, int code)
{
    const QString known = systemErrorText(code);
    setError(error, known.isEmpty() ? file.errorString() : known);
}

// Forces the bytes of an open file to the disk, so that a file renamed into place
// after a power cut holds what was written and not nothing.
bool syncToDisk(QFileDevice &file, QString *error)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        setFileError(error, file, errno);
        return false;
    }
#elif defined(Q_OS_WIN)
    if (::_commit(file.handle()) != 0) {
        setFileError(error, file, errno);
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(error);
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
bool writeAll(QFileDevice &file, const QByteArray &data, QString *error)
{
    qint64 done = 0;
    while (done < data.size()) {
        // After a short write the next attempt fails and carries the reason (EFBIG, ENOSPC, ...).
        errno = 0;
        const qint64 n = file.write(data.constData() + done, data.size() - done);
        if (n <= 0) {
            setFileError(error, file, errno);
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
        setFileError(error, file, errno);
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(ownerOf);
    Q_UNUSED(error);
#endif
    return true;
}

// The permissions stored on disk. Qt adds the "User" flags for what the current user may
// do, which for root includes writing: setting them would make a read-only file writable.
QFileDevice::Permissions ownPermissions(QFileDevice::Permissions permissions)
{
    return permissions & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
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
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        setFileError(&loaded.error, file, errno);
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
        errno = 0;
        const qint64 n = file.read(loaded.data.data() + done, size - done);
        if (n < 0) {
            loaded.data.clear();
            setFileError(&loaded.error, file, errno);
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
    return replaceFileContent(path, data, QString(), error);
}

bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, QString *error)
{
    const QFileInfo existing(path);
    // Permissions and owner come from the file itself, or for a file made anew from `likeIfNew`.
    const QFileInfo model(existing.exists() || likeIfNew.isEmpty() ? path : likeIfNew);
    const bool modelExists = model.exists();
    const QFileDevice::Permissions permissions = ownPermissions(model.permissions());
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A file the user may not change is refused by Qt itself, before any system call says why.
        const bool refused = errno == 0 && existing.exists() && !existing.isWritable();
        setFileError(error, file, refused ? EACCES : errno);
        return false;
    }
    // The temporary file is created with default permissions; an executable qmake must stay executable.
    errno = 0;
    if (modelExists && !file.setPermissions(permissions)) {
        setFileError(error, file, errno);
        file.cancelWriting();
        return false;
    }
    if (modelExists && !keepOwner(file, model.filePath(), error)) {
        file.cancelWriting();
        return false;
    }
    if (!writeAll(file, data, error)) {
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        setFileError(error, file, errno);
        return false;
    }
    syncDirectory(existing.absolutePath());
    return true;
}

bool resolveInsideRoot(const QString &path, const QString &root, QString *target)
{
    const QFileInfo info(path);
    const QString directory = QDir::cleanPath(info.absolutePath());
    const QString canonicalDirectory = QFileInfo(directory).canonicalFilePath();
    // A link anywhere on the way ("lib" may itself be a link to another installation)
    // must lead into the installation, as seen with every link resolved, so that an
    // installation reached through a linked directory still works. The directory
    // matters too: it receives the backup and the temporary file of a replace.
    const bool directoryThroughLink = canonicalDirectory != directory;
    if (!directoryThroughLink && !info.isSymLink()) {
        if (target)
            *target = path;
        return true;
    }
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalDirectory.isEmpty() || !isBelow(canonicalDirectory, canonicalRoot))
        return false;
    if (!info.isSymLink()) {
        if (target)
            *target = path;
        return true;
    }
    const QString canonicalTarget = info.canonicalFilePath(); // empty for a link leading nowhere
    if (canonicalTarget.isEmpty() || !isBelow(canonicalTarget, canonicalRoot))
        return false;
    if (target)
        *target = canonicalTarget;
    return true;
}

BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data,
                                  QFileDevice::Permissions permissions, const QString &ownerOf, QString *error)
{
    permissions = ownPermissions(permissions);
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    const QFileInfo info(backup);
    QTemporaryFile temporary(info.absolutePath() + QLatin1Char('/') + info.fileName() + QStringLiteral(".XXXXXX"));
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    errno = 0;
    if (!static_cast<QIODevice &>(temporary).open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        setFileError(error, temporary, errno);
        return BackupResult::Failed;
    }
    if (!writeAll(temporary, data, error))
        return BackupResult::Failed;
    errno = 0;
    if (!temporary.setPermissions(permissions)) {
        setFileError(error, temporary, errno);
        return BackupResult::Failed;
    }
    // The patched file will be synced to disk when it replaces the original; its backup
    // must not be less durable, or a power cut could leave a patched file with no original.
    if (!keepOwner(temporary, ownerOf, error) || !syncToDisk(temporary, error))
        return BackupResult::Failed;
    // rename() refuses an existing target, so a backup that appeared meanwhile is kept.
    errno = 0;
    if (!temporary.rename(backup)) {
        if (entryExists(backup))
            return BackupResult::AlreadyThere;
        setFileError(error, temporary, errno);
        return BackupResult::Failed;
    }
    temporary.setAutoRemove(false);
    syncDirectory(info.absolutePath());
    return BackupResult::Made;
}
