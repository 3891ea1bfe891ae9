#include "patching/store/treewalk.h"

#include "patching/store/backuprule.h"
#include "patching/store/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {
FileOutcome failure(ReasonCode code, Cause cause = Cause::None)
{
    return FileOutcome::failed(Reason(code, cause));
}

#ifdef Q_OS_LINUX
// Whether `info` bears the mark of a mount's root (Linux 5.8 and later tell it).
bool marksMountRoot(const struct statx &info)
{
    return (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// Whether the entry `name` of the open directory `parent` is where another file system, or a bind
// mount of a directory or file from elsewhere (same device number), is mounted.
bool isMountRoot(int parent, const char *name, dev_t rootDevice)
{
    struct statx info;
    if (::statx(parent, name, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0) {
        if (marksMountRoot(info))
            return true;
        return makedev(info.stx_dev_major, info.stx_dev_minor) != rootDevice;
    }
    // A kernel without statx (or a sandbox that refuses it) still tells another file system apart.
    // What cannot be looked at is taken for one, but for nothing there: gone, it is no mount.
    struct stat fallback;
    if (::fstatat(parent, name, &fallback, AT_SYMLINK_NOFOLLOW) != 0)
        return errno != ENOENT;
    return fallback.st_dev != rootDevice;
}
#elif defined(Q_OS_UNIX)
bool isMountRoot(int parent, const char *name, dev_t rootDevice)
{
    struct stat info;
    return ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && info.st_dev != rootDevice;
}
#endif

#ifdef Q_OS_UNIX
// Takes the entry `entryName` of the open directory `parent`, named `directory`: a regular file or
// a link is found, a directory to enter is pending, one that is not entered is found as a failure.
void takeEntry(int parent, const QByteArray &directory, const char *entryName, unsigned char type, dev_t rootDevice,
               QVector<WalkEntry> *found, QVector<QByteArray> *pending)
{
    const QByteArray name(entryName);
    if (name == "." || name == "..")
        return;
    const QByteArray raw = directory + '/' + name;
    const QString path = QFile::decodeName(raw);
    struct stat info;
    // A regular file's or directory's type comes with its name: one system call fewer for most of a tree.
    if (type == DT_REG || type == DT_DIR)
        info.st_mode = type == DT_REG ? S_IFREG : S_IFDIR;
    else if (::fstatat(parent, entryName, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return; // gone meanwhile
    // What a link leads to is found under its own name; the link is named for a backup beside it.
    if (S_ISLNK(info.st_mode)) {
        if (QFile::encodeName(path) == raw && !isToolsOwnName(QFile::decodeName(name)))
            found->append({path, FileOutcome::leftAlone(Reason()), true});
        return;
    }
    const bool isDirectory = S_ISDIR(info.st_mode);
    // A pipe, a device, a socket: nothing of Qt's, unless a backup beside it says the tool patched a file
    // there (dropPassedOver then keeps it, as a file that cannot be read).
    if (!isDirectory && !S_ISREG(info.st_mode)) {
        if (!isToolsOwnName(QFile::decodeName(name)))
            found->append({path, failure(ReasonCode::FileNotRead, Cause::NotRegularFile)});
        return;
    }
    if (QFile::encodeName(path) != raw)
        found->append({path, failure(ReasonCode::UnreadableName)});
    else if (isDirectory && isMountRoot(parent, entryName, rootDevice))
        found->append({path, failure(ReasonCode::OtherFileSystem)});
    else if (isDirectory && namesBackup(QFile::decodeName(name)))
        found->append({path, FileOutcome::leftAlone(Reason(ReasonCode::DirectoryHoldsBack))});
    else if (isDirectory)
        pending->append(raw);
    else if (!isToolsOwnName(QFile::decodeName(name)))
        found->append({path, FileOutcome::leftAlone(Reason())});
}
#endif

// `name` as the file system compares names: on Windows, names that differ in case only are one.
QString comparedName(const QString &name)
{
#ifdef Q_OS_WIN
    return name.toLower();
#else
    return name;
#endif
}

// Tells the files of one directory, found from `first` on, whose backup lies beside them, from the
// names of backups its listing held rather than by asking for each name.
void markBackupsBeside(QVector<WalkEntry> *found, int first, const QSet<QString> &backups)
{
    if (backups.isEmpty())
        return;
    for (int i = first; i < found->size(); ++i) {
        WalkEntry &entry = (*found)[i];
        entry.backupBeside = backups.contains(comparedName(QFileInfo(entry.path).fileName() + QStringLiteral(".back")));
    }
}

// Whether the walk passes over `entry`, having no backup beside it: no regular file, a file whose
// first bytes were refused, or one `look` wants only with a backup. Most of a tree.
bool passedOver(const WalkEntry &entry, const WalkLook &look)
{
    const bool notRegular = entry.refusal.reason.code == ReasonCode::FileNotRead && entry.refusal.reason.cause == Cause::NotRegularFile;
    return !entry.backupBeside
        && (notRegular || entry.head == HeadLook::Unwanted || (look.backedUpOnly && entry.refusal.reason.isNone()));
}

// Drops, of the entries of one directory found from `first` on, those passed over, and those
// `handedOver` marks: the walk's list then holds none of them.
void dropPassedOver(QVector<WalkEntry> *found, int first, const WalkLook &look, const QVector<bool> &handedOver = {})
{
    int kept = first;
    for (int i = first; i < found->size(); ++i) {
        const bool handed = i - first < handedOver.size() && handedOver.at(i - first);
        if (!handed && !passedOver(found->at(i), look))
            (*found)[kept++] = found->at(i);
    }
    found->resize(kept);
}

// Keeps `name` among `backups` when it is a backup's.
void noteBackup(QSet<QString> *backups, const QString &name)
{
    const QString compared = comparedName(name);
    if (compared.endsWith(QLatin1String(".back")))
        backups->insert(compared);
}
#ifdef Q_OS_UNIX
// Looks at the first bytes of each regular file of one directory, found from `first` on, from the
// open directory `directory`, when `look` asks: each file the walk keeps goes to `handOver` while it
// is open, and is then no entry of the walk's list. Marks those in `handedOver`.
void lookAtFiles(int directory, int first, const WalkLook &look, const WalkHandOver &handOver, QVector<WalkEntry> *found,
                 QVector<bool> *handedOver)
{
    handedOver->fill(false, found->size() - first);
    for (int i = first; i < found->size(); ++i) {
        WalkEntry &entry = (*found)[i];
        if (entry.link || !entry.refusal.reason.isNone() || (look.backedUpOnly && !entry.backupBeside))
            continue;
        const QString name = QFileInfo(entry.path).fileName();
        // Four system calls for most files of a tree, which are looked at no further. One that cannot
        // be opened stays in the list: a read by its path says why.
        ReadableFile file;
        if (!look.looksAtHead(name) || !file.openAt(directory, QFile::encodeName(name).constData()))
            continue;
        entry.size = file.size();
        entry.head = file.lookAtHead(look.wanted);
        if (handOver && !passedOver(entry, look)) {
            handOver(entry, file);
            (*handedOver)[i - first] = true;
        }
    }
}

// Lists the directory `directory` once: its files and links are found, its directories to enter pending.
void listDirectory(const QByteArray &directory, dev_t rootDevice, const WalkLook &look, const WalkHandOver &handOver,
                   QVector<WalkEntry> *found, QVector<QByteArray> *pending)
{
    const int firstOfDirectory = int(found->size());
    QSet<QString> backups;
    DIR *handle = ::opendir(directory.constData());
    if (!handle) {
        found->append({QFile::decodeName(directory), failure(ReasonCode::DirectoryNotRead, causeOfSystemError(errno))});
        return;
    }
    // Closed whatever the plan a file is handed to throws.
    const auto closed = qScopeGuard([handle] { ::closedir(handle); });
    for (;;) {
        // readdir says an error only through errno, which the calls below it set too.
        errno = 0;
        const dirent *entry = ::readdir(handle);
        if (!entry) {
            if (errno != 0)
                found->append({QFile::decodeName(directory), failure(ReasonCode::DirectoryNotRead, causeOfSystemError(errno))});
            break;
        }
        if (QByteArray::fromRawData(entry->d_name, int(std::strlen(entry->d_name))).endsWith(".back"))
            noteBackup(&backups, QFile::decodeName(entry->d_name));
        takeEntry(dirfd(handle), directory, entry->d_name, entry->d_type, rootDevice, found, pending);
    }
    markBackupsBeside(found, firstOfDirectory, backups);
    QVector<bool> handedOver;
    lookAtFiles(dirfd(handle), firstOfDirectory, look, handOver, found, &handedOver);
    dropPassedOver(found, firstOfDirectory, look, handedOver);
}
#endif
} // namespace

QVector<WalkEntry> walkInstallation(const QString &qtPath, const WalkLook &look, const WalkHandOver &handOver)
{
    QVector<WalkEntry> found;
#ifdef Q_OS_UNIX
    // Raw names, so that one the system's encoding cannot spell is seen rather than lost by a decoder.
    struct stat rootInfo;
    if (::stat(QFile::encodeName(qtPath).constData(), &rootInfo) != 0)
        return found;
    QVector<QByteArray> pending{QFile::encodeName(qtPath)};
    while (!pending.isEmpty())
        listDirectory(pending.takeLast(), rootInfo.st_dev, look, handOver, &found, &pending);
#else
    Q_UNUSED(handOver); // a file is opened by its path: its look at the first bytes is not handed over
    // Windows names are UTF-16, which every path can spell; links and junctions are not entered.
    QStringList pending{qtPath};
    while (!pending.isEmpty()) {
        const QString directory = pending.takeLast();
        const QFileInfo directoryInfo(directory);
        if (!directoryInfo.isReadable()) {
            found.append({directory, failure(ReasonCode::DirectoryNotRead, Cause::AccessDenied)});
            continue;
        }
        const QFileInfoList entries = QDir(directory).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                                    | QDir::NoDotAndDotDot);
        const int firstOfDirectory = int(found.size());
        QSet<QString> backups;
        for (const QFileInfo &entry : entries) {
            noteBackup(&backups, entry.fileName());
            if (entry.isSymLink() || entry.isJunction()) {
                if (!isToolsOwnName(entry.fileName()))
                    found.append({entry.absoluteFilePath(), FileOutcome::leftAlone(Reason()), true});
                continue;
            }
            if (entry.isDir() && namesBackup(entry.fileName()))
                found.append({entry.absoluteFilePath(), FileOutcome::leftAlone(Reason(ReasonCode::DirectoryHoldsBack))});
            else if (entry.isDir())
                pending.append(entry.absoluteFilePath());
            else if (entry.isFile() && !isToolsOwnName(entry.fileName())) {
                WalkEntry file{entry.absoluteFilePath(), FileOutcome::leftAlone(Reason())};
                if (look.looksAtHead(entry.fileName()))
                    file.head = lookAtHead(file.path, look.wanted, &file.size);
                found.append(file);
            }
        }
        markBackupsBeside(&found, firstOfDirectory, backups);
        dropPassedOver(&found, firstOfDirectory, look);
    }
#endif
    std::sort(found.begin(), found.end(), [](const WalkEntry &a, const WalkEntry &b) { return a.path < b.path; });
    return found;
}

qint64 deviceOf(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? qint64(info.st_dev) : -1;
#else
    Q_UNUSED(path);
    return -1;
#endif
}

bool isMountedOver(const QString &path)
{
#ifdef Q_OS_LINUX
    // Only the mount's own mark tells: a file on an overlay may give the device of the layer it comes
    // from, not the overlay's, where a directory gives the overlay's.
    struct statx info;
    return ::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0
        && marksMountRoot(info);
#else
    Q_UNUSED(path);
    return false;
#endif
}

bool isMountPoint(qint64 rootDevice, const QString &path)
{
#ifdef Q_OS_UNIX
    return rootDevice >= 0 && isMountRoot(AT_FDCWD, QFile::encodeName(path).constData(), dev_t(rootDevice));
#else
    Q_UNUSED(rootDevice);
    Q_UNUSED(path);
    return false;
#endif
}
