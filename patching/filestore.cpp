#include "patching/filestore.h"

#include "patching/fileoutcome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

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
// Files are compared and written in place one piece of this size at a time.
constexpr qint64 pieceSize = qint64(1) << 20;

// Short words for the failures a user can act on. Qt's own texts are English
// and often repeat the whole path, which every report already shows.
QString systemErrorText(int code)
{
    static const struct {
        int code;
        const char *text;
    } known[] = {
        {EACCES, QT_TRANSLATE_NOOP("Reason", "accès refusé")}, {EPERM, QT_TRANSLATE_NOOP("Reason", "accès refusé")},
        {EROFS, QT_TRANSLATE_NOOP("Reason", "système de fichiers en lecture seule")}, {ENOSPC, QT_TRANSLATE_NOOP("Reason", "plus de place sur le disque")},
#ifdef EDQUOT
        {EDQUOT, QT_TRANSLATE_NOOP("Reason", "quota disque dépassé")},
#endif
#ifdef ETXTBSY
        {ETXTBSY, QT_TRANSLATE_NOOP("Reason", "fichier en cours d'utilisation")},
#endif
        {EFBIG, QT_TRANSLATE_NOOP("Reason", "taille de fichier limite dépassée")}, {EBUSY, QT_TRANSLATE_NOOP("Reason", "fichier en cours d'utilisation")},
        {EISDIR, QT_TRANSLATE_NOOP("Reason", "c'est un répertoire")}, {ENOENT, QT_TRANSLATE_NOOP("Reason", "introuvable")}, {EIO, QT_TRANSLATE_NOOP("Reason", "erreur d'entrée-sortie")},
        {ENAMETOOLONG, QT_TRANSLATE_NOOP("Reason", "chemin trop long")}, {EMFILE, QT_TRANSLATE_NOOP("Reason", "trop de fichiers ouverts")},
        {ENFILE, QT_TRANSLATE_NOOP("Reason", "trop de fichiers ouverts")}, {ENOMEM, QT_TRANSLATE_NOOP("Reason", "mémoire insuffisante")},
    };
    for (const auto &entry : known) {
        if (entry.code == code)
            return QCoreApplication::translate("Reason", entry.text);
    }
    return QString();
}

// The reason of a failed operation on `file`; `code` is errno taken right after it
// (0 when the system said nothing, as on Windows, where Qt's text is kept). Returns false.
bool fail(QString *error, const QFileDevice &file, int code)
{
    const QString known = systemErrorText(code);
    *error = known.isEmpty() ? file.errorString() : known;
    return false;
}

// Forces the bytes of an open file to the disk, so that after a power cut a renamed
// file, or a file written in place, holds what was written.
bool syncToDisk(QFileDevice &file, QString *error)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        return fail(error, file, errno);
#elif defined(Q_OS_WIN)
    if (::_commit(file.handle()) != 0)
        return fail(error, file, errno);
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
bool writeAll(QFileDevice &file, const char *data, qint64 size, QString *error)
{
    for (qint64 done = 0; done < size;) {
        // After a short write the next attempt fails and carries the reason (EFBIG, ENOSPC, ...).
        errno = 0;
        const qint64 n = file.write(data + done, size - done);
        if (n <= 0)
            return fail(error, file, errno);
        done += n;
    }
    return true;
}

// The permissions stored on disk. Qt adds the "User" flags for what the current user may
// do, which for root includes writing: setting them would make a read-only file writable.
QFileDevice::Permissions ownPermissions(QFileDevice::Permissions permissions)
{
    return permissions & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// Gives a new, still unnamed file the mode and owner of `model` and writes `data` into it.
// Only root may give a file away; a file made by root (the tool run through sudo) would
// otherwise belong to root, and the user could no longer rewrite their own toolchain.
bool fillNewFile(QFileDevice &file, const QByteArray &data, const QFileInfo &model, QString *error)
{
    errno = 0;
    if (!file.setPermissions(ownPermissions(model.permissions())))
        return fail(error, file, errno);
#ifdef Q_OS_UNIX
    struct stat info;
    if (::geteuid() == 0 && ::stat(QFile::encodeName(model.filePath()).constData(), &info) == 0
        && ::fchown(file.handle(), info.st_uid, info.st_gid) != 0)
        return fail(error, file, errno);
#endif
    return writeAll(file, data.constData(), data.size(), error);
}

// Whether a new file renamed over `path` is still the same file to its users: the name is
// its only one (a rename parts hard links), its owner and group are those this process
// gives (only root may give a file away) and it has no set-id or sticky bit to lose.
bool replaceKeepsIdentity(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return true; // a new file has nothing to keep
    const bool sameOwner = ::geteuid() == 0 || (info.st_uid == ::geteuid() && info.st_gid == ::getegid());
    return info.st_nlink == 1 && sameOwner && (info.st_mode & 07000) == 0;
#else
    Q_UNUSED(path);
    return true;
#endif
}

// Where, from `at` on, the open file first differs from `data`, to the piece; data.size()
// when it holds all of it. Reads one piece at a time, never the whole file.
qint64 nextDifference(QFile &file, const QByteArray &data, qint64 at)
{
    for (; at < data.size(); at += pieceSize) {
        const qint64 size = qMin(pieceSize, data.size() - at);
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
bool writeInPlace(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return fail(error, file, errno);
    bool touched = false;
    // Past the first write the file is neither old nor new: the user must hear that it needs a new run.
    const auto partly = [&touched, error](bool ok) {
        if (!ok && touched)
            *error += QCoreApplication::translate("Reason", " ; fichier écrit en partie, relancer la commande le refait depuis sa sauvegarde");
        return ok;
    };
    for (qint64 at = nextDifference(file, data, 0); at < data.size(); at = nextDifference(file, data, at + pieceSize)) {
        errno = 0;
        if (!file.seek(at))
            return partly(fail(error, file, errno));
        const bool written = writeAll(file, data.constData() + at, qMin(pieceSize, data.size() - at), error);
        touched = touched || file.pos() > at;
        if (!written)
            return partly(false);
    }
    errno = 0;
    if (file.size() != data.size()) {
        touched = true;
        if (!file.resize(data.size()))
            return partly(fail(error, file, errno));
    }
    return partly(syncToDisk(file, error));
}

bool isBelow(const QString &canonicalPath, const QString &canonicalRoot)
{
    const QString prefix = canonicalRoot.endsWith(QLatin1Char('/')) ? canonicalRoot
                                                                     : canonicalRoot + QLatin1Char('/');
    return canonicalPath == canonicalRoot || canonicalPath.startsWith(prefix);
}
} // namespace

qint64 maxLoadableFileSize()
{
    // 1 GiB: far above any Qt 4 library, and safely below what a Qt 5 byte array can hold.
    return qint64(1) << 30;
}

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

LoadedFile loadWholeFile(const QString &path)
{
    LoadedFile loaded;
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        fail(&loaded.error, file, errno);
        return loaded;
    }
    const qint64 size = file.size();
    loaded.tooLarge = size > maxLoadableFileSize();
    try {
        if (!loaded.tooLarge)
            loaded.data.resize(size);
    } catch (const std::bad_alloc &) {
        loaded.tooLarge = true;
    }
    if (loaded.tooLarge) {
        loaded.error = Reason::fileTooLarge();
        return loaded;
    }
    qint64 done = 0;
    for (qint64 n = 1; done < size && n > 0; done += n) {
        errno = 0;
        n = file.read(loaded.data.data() + done, size - done);
        if (n < 0) {
            loaded.data.clear();
            fail(&loaded.error, file, errno);
            return loaded;
        }
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

bool fileHolds(const QString &path, const QByteArray &data, bool *same, QString *error)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, file, errno);
    *same = file.size() == data.size() && nextDifference(file, data, 0) == data.size();
    return true;
}

bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, QString *error)
{
    const QFileInfo existing(path);
    if (existing.exists() && !replaceKeepsIdentity(path))
        return writeInPlace(path, data, error);
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // A file the user may not change is refused by Qt itself, before any system call says why.
        const bool refused = errno == 0 && existing.exists() && !existing.isWritable();
        return fail(error, file, refused ? EACCES : errno);
    }
    // The temporary file is created with default permissions; an executable qmake must stay executable.
    const QFileInfo model(existing.exists() || likeIfNew.isEmpty() ? path : likeIfNew);
    if (model.exists() ? !fillNewFile(file, data, model, error)
                       : !writeAll(file, data.constData(), data.size(), error)) {
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit())
        return fail(error, file, errno);
    syncDirectory(existing.absolutePath());
    return true;
}

QString writeRefusal(const QString &path)
{
    const QFileInfo info(path);
    QStringList places; // an existing file is opened for writing; a replace or a new entry needs its directory
    if (info.exists())
        places.append(path);
    if (!info.exists() || replaceKeepsIdentity(path))
        places.append(info.absolutePath());
    for (const QString &place : places) {
#ifdef Q_OS_UNIX
        // The effective user's rights, as the real write would meet them; also a read-only mount for root.
        const int mode = place == path ? W_OK : W_OK | X_OK;
        if (::faccessat(AT_FDCWD, QFile::encodeName(place).constData(), mode, AT_EACCESS) != 0) {
            const QString known = systemErrorText(errno);
            return known.isEmpty() ? systemErrorText(EACCES) : known;
        }
#else
        if (!QFileInfo(place).isWritable())
            return systemErrorText(EACCES);
#endif
    }
    return QString();
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

BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, QString *error)
{
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    const QFileInfo info(backup);
    QTemporaryFile temporary(info.absolutePath() + QLatin1Char('/') + info.fileName() + QStringLiteral(".XXXXXX"));
    // open(OpenMode) is only reachable through the base class; it is the way to get an unbuffered file.
    errno = 0;
    if (!static_cast<QIODevice &>(temporary).open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        fail(error, temporary, errno);
        return BackupResult::Failed;
    }
    // The patched file will be synced to disk when it replaces the original; its backup
    // must not be less durable, or a power cut could leave a patched file with no original.
    if (!fillNewFile(temporary, data, QFileInfo(model), error) || !syncToDisk(temporary, error))
        return BackupResult::Failed;
    // rename() refuses an existing target, so a backup that appeared meanwhile is kept.
    errno = 0;
    if (!temporary.rename(backup)) {
        if (entryExists(backup))
            return BackupResult::AlreadyThere;
        fail(error, temporary, errno);
        return BackupResult::Failed;
    }
    temporary.setAutoRemove(false);
    syncDirectory(info.absolutePath());
    return BackupResult::Made;
}
