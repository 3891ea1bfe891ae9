#include "patching/store/treewalk.h"

#include "patching/store/backuprule.h"
#include "patching/store/systemerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
// Whether the entry `name` of the open directory `parent` is where another file system, or a bind
// mount of a directory or file from elsewhere (same device number), is mounted.
bool isMountRoot(int parent, const char *name, dev_t rootDevice)
{
    struct statx info;
    if (::statx(parent, name, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0) {
        if ((info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (info.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
            return true;
        return makedev(info.stx_dev_major, info.stx_dev_minor) != rootDevice;
    }
    // A kernel without statx (or a sandbox that refuses it) still tells another file system apart.
    struct stat fallback;
    return ::fstatat(parent, name, &fallback, AT_SYMLINK_NOFOLLOW) != 0 || fallback.st_dev != rootDevice;
}
#elif defined(Q_OS_UNIX)
bool isMountRoot(int parent, const char *name, dev_t rootDevice)
{
    struct stat info;
    return ::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && info.st_dev != rootDevice;
}
#endif

#ifdef Q_OS_UNIX
// Looks at the entry `entryName` of the open directory `parent`, named `directory`: a regular file or
// a link is found, a directory to enter is pending, one that is not entered is found as a failure.
void takeEntry(int parent, const QByteArray &directory, const char *entryName, unsigned char type, dev_t rootDevice,
               const WalkLook &look, QVector<WalkEntry> *found, QVector<QByteArray> *pending)
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
    else if (!isToolsOwnName(QFile::decodeName(name))) {
        WalkEntry file{path, FileOutcome::leftAlone(Reason())};
        if (look.looksAtHead(QFile::decodeName(name)))
            file.head = lookAtHeadAt(parent, entryName, look.wanted, &file.size);
        found->append(file);
    }
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

// Drops, of the entries of one directory found from `first` on, those without a backup beside them
// that are no regular file, whose first bytes were refused, or that `look` wants only with a backup:
// most of a tree, which the walk's list then does not hold.
void dropPassedOver(QVector<WalkEntry> *found, int first, const WalkLook &look)
{
    const auto passedOver = [&look](const WalkEntry &entry) {
        const bool notRegular = entry.refusal.reason.code == ReasonCode::FileNotRead && entry.refusal.reason.cause == Cause::NotRegularFile;
        return !entry.backupBeside
            && (notRegular || entry.head == HeadLook::Unwanted || (look.backedUpOnly && entry.refusal.reason.isNone()));
    };
    found->erase(std::remove_if(found->begin() + first, found->end(), passedOver), found->end());
}

// Keeps `name` among `backups` when it is a backup's.
void noteBackup(QSet<QString> *backups, const QString &name)
{
    const QString compared = comparedName(name);
    if (compared.endsWith(QLatin1String(".back")))
        backups->insert(compared);
}
#ifdef Q_OS_UNIX
// Lists the directory `directory` once: its files and links are found, its directories to enter pending.
void listDirectory(const QByteArray &directory, dev_t rootDevice, const WalkLook &look, QVector<WalkEntry> *found,
                   QVector<QByteArray> *pending)
{
    const int firstOfDirectory = int(found->size());
    QSet<QString> backups;
    DIR *handle = ::opendir(directory.constData());
    if (!handle) {
        found->append({QFile::decodeName(directory), failure(ReasonCode::DirectoryNotRead, causeOfSystemError(errno))});
        return;
    }
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
        takeEntry(dirfd(handle), directory, entry->d_name, entry->d_type, rootDevice, look, found, pending);
    }
    ::closedir(handle);
    markBackupsBeside(found, firstOfDirectory, backups);
    dropPassedOver(found, firstOfDirectory, look);
}
#endif
} // namespace

QVector<WalkEntry> walkInstallation(const QString &qtPath, const WalkLook &look)
{
    QVector<WalkEntry> found;
#ifdef Q_OS_UNIX
    // Raw names, so that one the system's encoding cannot spell is seen rather than lost by a decoder.
    struct stat rootInfo;
    if (::stat(QFile::encodeName(qtPath).constData(), &rootInfo) != 0)
        return found;
    QVector<QByteArray> pending{QFile::encodeName(qtPath)};
    while (!pending.isEmpty())
        listDirectory(pending.takeLast(), rootInfo.st_dev, look, &found, &pending);
#else
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

bool isMountPoint(const QString &root, const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat rootInfo;
    return ::stat(QFile::encodeName(root).constData(), &rootInfo) == 0
        && isMountRoot(AT_FDCWD, QFile::encodeName(path).constData(), rootInfo.st_dev);
#else
    Q_UNUSED(root);
    Q_UNUSED(path);
    return false;
#endif
}
