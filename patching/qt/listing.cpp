#include "patching/qt/listing.h"

#include "patching/store/backuprule.h"
#include "patching/store/filestore.h"

#include <QDir>

QVector<CommandStep> commandSteps(Command command)
{
    const QString bin = QStringLiteral("bin");
    const QString lib = QStringLiteral("lib");
    // The patch command patches only bin libraries whose names begin with QtCore; the
    // unpatch command also visits names with something before QtCore, so that a backup
    // left beside such a file by an earlier tool is put back too.
    const QStringList binLibraries = command == Command::Patch
        ? QStringList{QStringLiteral("QtCore*.dll"), QStringLiteral("QtCore*.so")}
        : QStringList{QStringLiteral("*QtCore*.dll"), QStringLiteral("*QtCore*.so")};
    return {
        {bin, {QStringLiteral("qmake"), QStringLiteral("qmake.exe")}},
        {bin, binLibraries},
        {lib,
         {QStringLiteral("*QtCore*.a"), QStringLiteral("*QtCore*.la"), QStringLiteral("*QtCore*.dll"),
          QStringLiteral("*QtCore*.lib"), QStringLiteral("*QtCore*.so")}},
        {QStringLiteral("mkspecs/default/qmake.conf"), {}},
        {QStringLiteral(".qmake.cache"), {}},
    };
}

QFileInfoList takeListing(const QString &qtPath, const CommandStep &step)
{
    if (!step.isListing())
        return {QFileInfo(qtPath + QLatin1Char('/') + step.relativePath)};
    // A fresh QDir filters all entries and sorts by name ignoring case; name
    // patterns ignore case because the filter holds no QDir::CaseSensitive.
    const QDir dir(qtPath + QLatin1Char('/') + step.relativePath);
    return dir.entryInfoList(step.patterns, QDir::NoFilter, QDir::NoSort);
}

QString relativeToQtPath(const QString &qtPath, const QString &path)
{
    const QString prefix = qtPath.endsWith(QLatin1Char('/')) ? qtPath : qtPath + QLatin1Char('/');
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

QStringList commandFiles(const QString &qtPath, Command command)
{
    QStringList files;
    for (const CommandStep &step : commandSteps(command)) {
        if (step.isListing()) {
            for (const QFileInfo &entry : takeListing(qtPath, step))
                files.append(entry.absoluteFilePath());
        } else {
            files.append(qtPath + QLatin1Char('/') + step.relativePath);
        }
    }
    return files;
}

QStringList metadataFiles(const QString &qtPath)
{
    QStringList files;
    const auto fixed = [&](const char *relative) {
        const QString path = qtPath + QLatin1Char('/') + QLatin1String(relative);
        // A missing file whose backup remains comes back with the unpatch, as qmake.conf does.
        if (entryExists(path) || entryExists(backupNameOf(path)))
            files.append(path);
    };
    const auto listed = [&](const char *relativeDir, const QStringList &patterns) {
        const QDir dir(qtPath + QLatin1Char('/') + QLatin1String(relativeDir));
        for (const QFileInfo &entry : dir.entryInfoList(patterns, QDir::Files | QDir::System, QDir::Name))
            files.append(entry.absoluteFilePath());
    };
    fixed("mkspecs/default/qmake.conf");
    fixed(".qmake.cache");
    fixed("mkspecs/qconfig.pri");
    listed("lib", {QStringLiteral("*.prl"), QStringLiteral("*.la")});
    listed("lib/pkgconfig", {QStringLiteral("*.pc")});
    fixed("bin/qt.conf");
    // Windows builds of Qt 4 list their libraries' link lines there.
    fixed("lib/prl.txt");
    return files;
}

bool isMetadataName(const QString &fileName)
{
    for (const char *suffix : {".prl", ".la", ".pc"}) {
        if (fileName.endsWith(QLatin1String(suffix)))
            return true;
    }
    return false;
}

bool isConfigName(const QString &fileName)
{
    return fileName == QLatin1String("qmake.conf") || fileName == QLatin1String(".qmake.cache");
}
