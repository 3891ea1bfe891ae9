#include "patching/qt/listing.h"

#include "patching/qt/generation.h"

#include "patching/store/backuprule.h"
#include "patching/store/filestore.h"

#include "patching/base/limits.h"

#include <QDir>

const QVector<CommandStep> &commandSteps(const QtGeneration &generation, Command command)
{
    return command == Command::Patch ? generation.patchSteps : generation.unpatchSteps;
}

QStringList stepFolders(const QString &qtPath, const QString &relativePath)
{
    if (!relativePath.endsWith(QLatin1String("/*")))
        return {qtPath + QLatin1Char('/') + relativePath};
    const QDir parent(qtPath + QLatin1Char('/') + relativePath.chopped(2));
    QStringList folders;
    for (const QString &name : parent.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name).mid(0, Limits::maxMarkerFolders))
        folders.append(parent.filePath(name));
    return folders;
}

QFileInfoList takeListing(const QString &qtPath, const CommandStep &step)
{
    if (!step.isListing())
        return {QFileInfo(qtPath + QLatin1Char('/') + step.relativePath)};
    // A fresh QDir filters all entries and sorts by name ignoring case; name
    // patterns ignore case because the filter holds no QDir::CaseSensitive.
    QFileInfoList entries;
    for (const QString &folder : stepFolders(qtPath, step.relativePath))
        entries += QDir(folder).entryInfoList(step.patterns, QDir::NoFilter, QDir::NoSort);
    return entries;
}

QString relativeToQtPath(const QString &qtPath, const QString &path)
{
    const QString prefix = qtPath.endsWith(QLatin1Char('/')) ? qtPath : qtPath + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

QStringList commandFiles(const QtGeneration &generation, const QString &qtPath, Command command)
{
    QStringList files;
    for (const CommandStep &step : commandSteps(generation, command)) {
        if (step.isListing()) {
            for (const QFileInfo &entry : takeListing(qtPath, step))
                files.append(entry.absoluteFilePath());
        } else {
            files.append(qtPath + QLatin1Char('/') + step.relativePath);
        }
    }
    return files;
}

QStringList metadataFiles(const QtGeneration &generation, const QString &qtPath)
{
    QStringList files;
    for (const CommandStep &step : generation.metadataSteps) {
        const QString path = qtPath + QLatin1Char('/') + step.relativePath;
        if (step.isListing()) {
            for (const QString &folder : stepFolders(qtPath, step.relativePath)) {
                for (const QFileInfo &entry : QDir(folder).entryInfoList(step.patterns, QDir::Files | QDir::System, QDir::Name))
                    files.append(entry.absoluteFilePath());
            }
        } else if (entryExists(path) || entryExists(backupNameOf(path))) {
            // A missing file whose backup remains comes back with the unpatch, as qmake.conf does.
            files.append(path);
        }
    }
    return files;
}

bool isMetadataName(const QtGeneration &generation, const QString &fileName)
{
    for (const QString &suffix : generation.metadataSuffixes) {
        if (fileName.endsWith(suffix))
            return true;
    }
    return false;
}

bool isConfigName(const QtGeneration &generation, const QString &fileName)
{
    return generation.configNames.contains(fileName);
}
