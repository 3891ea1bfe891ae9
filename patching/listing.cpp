#include "patching/listing.h"

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
        {bin, {QStringLiteral("qmake"), QStringLiteral("qmake.exe")}, FileKind::Binary},
        {bin, binLibraries, FileKind::Binary},
        {lib,
         {QStringLiteral("*QtCore*.a"), QStringLiteral("*QtCore*.la"), QStringLiteral("*QtCore*.dll"),
          QStringLiteral("*QtCore*.lib"), QStringLiteral("*QtCore*.so")},
         FileKind::Binary},
        {QStringLiteral("mkspecs/default/qmake.conf"), {}, FileKind::Text},
        {QStringLiteral(".qmake.cache"), {}, FileKind::Text},
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

QVector<ListedFile> commandFiles(const QString &qtPath, Command command)
{
    QVector<ListedFile> files;
    for (const CommandStep &step : commandSteps(command)) {
        if (step.isListing()) {
            for (const QFileInfo &entry : takeListing(qtPath, step))
                files.append({entry.absoluteFilePath(), step.kind});
        } else {
            files.append({qtPath + QLatin1Char('/') + step.relativePath, step.kind});
        }
    }
    return files;
}
