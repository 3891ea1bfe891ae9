#include "patching/qt/generation.h"

#include "patching/base/limits.h"

#include <QDir>

const QVector<const QtGeneration *> &qtGenerations()
{
    static const QVector<const QtGeneration *> known = {&qt5Generation(), &qt4Generation()};
    return known;
}

QStringList markedFiles(const QString &qtPath, const QVector<CommandStep> &markers, int limit)
{
    QStringList found;
    for (const CommandStep &marker : markers) {
        QStringList folders{marker.relativePath};
        if (marker.relativePath.endsWith(QLatin1String("/*"))) {
            // A distribution's multiarch folder (lib/x86_64-linux-gnu): the folders of lib, a bounded number.
            const QString parent = marker.relativePath.chopped(2);
            folders.clear();
            const QStringList names = QDir(qtPath + QLatin1Char('/') + parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString &name : names.mid(0, Limits::maxMarkerFolders))
                folders.append(parent + QLatin1Char('/') + name);
        }
        for (const QString &folder : qAsConst(folders)) {
            const QDir dir(qtPath + QLatin1Char('/') + folder);
            for (const QFileInfo &entry : dir.entryInfoList(marker.patterns, QDir::Files | QDir::System, QDir::Name)) {
                if (found.size() >= limit)
                    return found;
                found.append(entry.absoluteFilePath());
            }
        }
    }
    return found;
}

const QtGeneration &generationOf(const QString &qtPath)
{
    for (const QtGeneration *generation : qtGenerations()) {
        if (!markedFiles(qtPath, generation->markers, 1).isEmpty())
            return *generation;
    }
    return *qtGenerations().last();
}
