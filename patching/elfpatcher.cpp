#include "patching/elfpatcher.h"

#include "patching/backuppatch.h"
#include "patching/elfrunpath.h"
#include "patching/filestore.h"
#include "patching/wholepathrule.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>

QStringList elfFiles(const QString &qtPath)
{
    QStringList files;
    const QDir root(qtPath);
    // Without FollowSymlinks a linked directory is not entered; a linked file is found under its own name.
    QDirIterator it(qtPath, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (root.relativeFilePath(path).contains(QLatin1String(".back")) || path.endsWith(QLatin1String(".zeltmp")))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && isElf(file.read(4)))
            files.append(QFileInfo(path).absoluteFilePath());
    }
    std::sort(files.begin(), files.end());
    return files;
}

QByteArray originDirectory(const QString &filePath, const QString &root)
{
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalFile = QFileInfo(filePath).canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonicalFile.isEmpty())
        return QFile::encodeName(QFileInfo(filePath).absolutePath());
    const QString relative = QDir(canonicalRoot).relativeFilePath(QFileInfo(canonicalFile).absolutePath());
    return QFile::encodeName(QDir::cleanPath(root + QLatin1Char('/') + relative));
}

FileOutcome patchElfFile(const QVector<QByteArray> &oldRoots, const QString &root, const QString &filePath,
                         WriteMode mode)
{
    qDebug().noquote() << filePath;
    const QByteArray newRoot = QFile::encodeName(root);
    const QByteArray directory = originDirectory(filePath, root);
    const PlaceExists placeExists = [&newRoot](const QByteArray &place) { return existsBelow(newRoot, place); };
    const auto namesOldRoot = [&](const QVector<QByteArray> &entries) {
        return std::any_of(entries.cbegin(), entries.cend(), [&](const QByteArray &entry) {
            return oldRootOf(entry, oldRoots, newRoot, placeExists) >= 0;
        });
    };
    QByteArray current;
    if (loadWithoutBackup(filePath, root, &current)) {
        const ElfRunPaths paths = readRunPaths(current);
        if (!paths.error.isEmpty())
            return FileOutcome::failed(paths.error);
        if (!namesOldRoot(paths.entries))
            return FileOutcome::leftAlone(Reason::namesNoOldRoot());
    }
    const auto rewrite = [&](QByteArray backup) {
        const RunPathRewrite result = rewriteRunPaths(backup, oldRoots, newRoot, directory, placeExists);
        return PatchedContent{std::move(backup), result.failure, QString()};
    };
    return patchFromBackup(filePath, root, mode, BackupSize::RefuseOtherBuild, rewrite);
}
