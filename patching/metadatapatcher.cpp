#include "patching/metadatapatcher.h"

#include "patching/backuppatch.h"
#include "patching/filestore.h"
#include "patching/textpatcher.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {
bool isConfigFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name == QLatin1String(".qmake.cache") || name == QLatin1String("qmake.conf");
}
} // namespace

QStringList metadataFiles(const QString &qtPath)
{
    QStringList files;
    const auto fixed = [&](const char *relative) {
        const QString path = qtPath + QLatin1Char('/') + QLatin1String(relative);
        // A missing file whose backup remains comes back with the unpatch, as qmake.conf does.
        if (entryExists(path) || entryExists(path + QStringLiteral(".back")))
            files.append(path);
    };
    const auto listed = [&](const char *relativeDir, const QStringList &patterns) {
        const QDir dir(qtPath + QLatin1Char('/') + QLatin1String(relativeDir));
        for (const QFileInfo &entry : dir.entryInfoList(patterns, QDir::Files | QDir::System, QDir::Name))
            files.append(entry.absoluteFilePath());
    };
    // The two configuration files also name the old root outside the four assignments the
    // window rewrites (QMAKE_RPATHDIR, QMAKE_ABSOLUTE_SOURCE_ROOT, ...).
    fixed("mkspecs/default/qmake.conf");
    fixed(".qmake.cache");
    fixed("mkspecs/qconfig.pri");
    listed("lib", {QStringLiteral("*.prl"), QStringLiteral("*.la")});
    listed("lib/pkgconfig", {QStringLiteral("*.pc")});
    fixed("bin/qt.conf");
    return files;
}

QByteArray relocateMetadata(const QByteArray &original, const QString &filePath, const Relocation &relocation)
{
    if (!isConfigFile(filePath))
        return rewriteWholePaths(original, relocation);
    return rewriteConfigText(original, relocation.newRoot,
                             [&relocation](const QByteArray &line) { return rewriteWholePaths(line, relocation); });
}

FileOutcome patchMetadataFile(const QVector<QByteArray> &oldRoots, const QString &root, const QString &filePath,
                              WriteMode mode)
{
    qDebug().noquote() << filePath;
    const Relocation relocation{oldRoots, root.toLocal8Bit(), {}};
    // A configuration file is always rewritten, as the window's patch rewrites it.
    QByteArray current;
    if (!isConfigFile(filePath) && loadWithoutBackup(filePath, root, &current)
        && oldRootNamed(current, relocation).isEmpty())
        return FileOutcome::leftAlone(Reason::namesNoOldRoot());
    const auto rewrite = [&](const QByteArray &backup) {
        return PatchedContent{relocateMetadata(backup, filePath, relocation), QString(), QString()};
    };
    return patchFromBackup(filePath, root, mode, BackupSize::Any, rewrite);
}
