#include "patching/treewalk.h"

#include "patching/backuprule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
FileOutcome failure(ReasonCode code, Cause cause = Cause::None)
{
    return FileOutcome::failed(Reason(code, cause));
}

// What a directory that cannot be opened is, to the user.
Cause causeOfOpen(int code)
{
    return code == EACCES || code == EPERM ? Cause::AccessDenied : code == ENOENT ? Cause::NotFound : Cause::IoError;
}

// Whether a directory entry named `name` is one a walk passes over in silence.
bool isToolsOwn(const QString &name)
{
    return namesBackup(name) || isTemporaryName(name);
}
} // namespace

QVector<WalkEntry> walkInstallation(const QString &qtPath)
{
    QVector<WalkEntry> found;
#ifdef Q_OS_UNIX
    // Raw names, so that one the system's encoding cannot spell is seen rather than lost by a decoder.
    struct stat rootInfo;
    if (::stat(QFile::encodeName(qtPath).constData(), &rootInfo) != 0)
        return found;
    QVector<QByteArray> pending{QFile::encodeName(qtPath)};
    while (!pending.isEmpty()) {
        const QByteArray directory = pending.takeLast();
        DIR *handle = ::opendir(directory.constData());
        if (!handle) {
            found.append({QFile::decodeName(directory), failure(ReasonCode::DirectoryNotRead, causeOfOpen(errno))});
            continue;
        }
        errno = 0;
        while (const dirent *entry = ::readdir(handle)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray raw = directory + '/' + name;
            const QString path = QFile::decodeName(raw);
            struct stat info;
            if (::fstatat(dirfd(handle), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(info.st_mode))
                continue; // gone meanwhile, or a link: what it leads to is found under its own name
            const bool isDirectory = S_ISDIR(info.st_mode);
            if (!isDirectory && !S_ISREG(info.st_mode))
                continue; // a pipe, a device, a socket: nothing of Qt's
            if (QFile::encodeName(path) != raw)
                found.append({path, failure(ReasonCode::UnreadableName)});
            else if (isDirectory && info.st_dev != rootInfo.st_dev)
                found.append({path, failure(ReasonCode::OtherFileSystem)});
            else if (isDirectory && namesBackup(QFile::decodeName(name)))
                found.append({path, failure(ReasonCode::DirectoryHoldsBack)});
            else if (isDirectory)
                pending.append(raw);
            else if (!isToolsOwn(QFile::decodeName(name)))
                found.append({path, FileOutcome::leftAlone(Reason())});
        }
        if (errno != 0)
            found.append({QFile::decodeName(directory), failure(ReasonCode::DirectoryNotRead, Cause::IoError)});
        ::closedir(handle);
    }
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
        for (const QFileInfo &entry : entries) {
            if (entry.isSymLink())
                continue;
            if (entry.isDir() && namesBackup(entry.fileName()))
                found.append({entry.absoluteFilePath(), failure(ReasonCode::DirectoryHoldsBack)});
            else if (entry.isDir())
                pending.append(entry.absoluteFilePath());
            else if (entry.isFile() && !isToolsOwn(entry.fileName()))
                found.append({entry.absoluteFilePath(), FileOutcome::leftAlone(Reason())});
        }
    }
#endif
    std::sort(found.begin(), found.end(), [](const WalkEntry &a, const WalkEntry &b) { return a.path < b.path; });
    return found;
}
