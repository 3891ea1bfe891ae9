#include "patching/qt/generation.h"

#include "patching/base/limits.h"
#include "patching/qt/buildfacts.h"

#include <QDir>

const QVector<const QtGeneration *> &qtGenerations()
{
    static const QVector<const QtGeneration *> known = {&qt6Generation(), &qt5Generation(), &qt4Generation()};
    return known;
}

QStringList markedFiles(const QString &qtPath, const QVector<CommandStep> &markers, int limit)
{
    QStringList found;
    for (const CommandStep &marker : markers) {
        for (const QString &folder : stepFolders(qtPath, marker.relativePath)) {
            const QDir dir(folder);
            for (const QFileInfo &entry : dir.entryInfoList(marker.patterns, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
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
    // What configure wrote says it first: a Qt 4 tree holding a Qt 5 library somewhere stays Qt 4.
    const int major = majorVersionSaid(qtPath);
    for (const QtGeneration *generation : qtGenerations()) {
        if (generation->major == major)
            return *generation;
    }
    for (const QtGeneration *generation : qtGenerations()) {
        if (!markedFiles(qtPath, generation->markers, 1).isEmpty())
            return *generation;
    }
    return *qtGenerations().last();
}
