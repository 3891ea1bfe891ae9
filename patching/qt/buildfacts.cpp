#include "patching/qt/buildfacts.h"

#include "patching/base/limits.h"
#include "patching/qt/generation.h"
#include "patching/formats/configlinerule.h"
#include "patching/store/reader.h"

#include <QDir>
#include <QRegularExpression>

#include <cctype>

namespace {
// Whether `folder` holds what configure writes there.
bool holdsConfiguration(const QString &folder)
{
    return QFileInfo::exists(folder + QStringLiteral("/qconfig.pri")) || QFileInfo::exists(folder + QStringLiteral("/qmodule.pri"))
        || QFileInfo::exists(folder + QStringLiteral("/modules/qt_lib_core_private.pri"));
}

// The folder holding the installation's mkspecs/qconfig.pri and qmodule.pri: DIR/mkspecs, or a
// distribution's lib/<multiarch>/qt<major>/mkspecs.
QString findMkspecs(const QtGeneration &generation, const QString &qtPath)
{
    const QString own = qtPath + QStringLiteral("/mkspecs");
    if (holdsConfiguration(own))
        return own;
    const QString versioned = QStringLiteral("/qt%1/mkspecs").arg(generation.major);
    const QDir lib(qtPath + QStringLiteral("/lib"));
    const QStringList folders = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &folder : folders.mid(0, Limits::maxMarkerFolders)) {
        const QString candidate = lib.filePath(folder) + versioned;
        if (holdsConfiguration(candidate))
            return candidate;
    }
    return QString();
}

// The words of every `NAME = words` line of `bytes` whose name ends with `suffix`.
QByteArrayList wordsOf(const QByteArray &bytes, const QByteArray &suffix)
{
    QByteArrayList words;
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        QByteArray name = line.left(equals).trimmed();
        if (name.endsWith('+')) // NAME += words
            name = name.chopped(1).trimmed();
        if (equals > 0 && name.endsWith(suffix))
            words += line.mid(equals + 1).simplified().split(' ');
    }
    return words;
}


// The version a QtCore library's full name carries (libQt5Core.so.5.15.8), when configure left no
// qconfig.pri; else the newest version tag a Linux QtCore holds (qt_version_tag_5_15).
void versionFromLibrary(BuildFacts *facts, const QtGeneration &generation, const QString &qtPath)
{
    const QStringList libraries = markedFiles(qtPath, generation.markers, Limits::maxMarkedFiles);
    const QRegularExpression versioned(QStringLiteral("Core\\.so\\.%1\\.(\\d+)\\.(\\d+)$").arg(generation.major));
    for (const QString &path : libraries) {
        const QRegularExpressionMatch match = versioned.match(path);
        if (match.hasMatch()) {
            facts->minor = match.captured(1).toInt();
            facts->patch = match.captured(2).toInt();
            return;
        }
    }
    const QByteArray tag = "qt_version_tag_" + QByteArray::number(generation.major) + '_';
    for (const QString &path : libraries) {
        const LoadedFile library = loadWholeFile(path);
        if (!library.ok)
            continue;
        for (qsizetype at = library.data.indexOf(tag); at >= 0; at = library.data.indexOf(tag, at + 1)) {
            qsizetype end = at + tag.size();
            while (end < library.data.size() && end - at < tag.size() + 3 && std::isdigit(static_cast<unsigned char>(library.data.at(end))))
                ++end;
            bool ok = false;
            const int minor = library.data.mid(at + tag.size(), end - at - tag.size()).toInt(&ok);
            if (ok)
                facts->minor = qMax(facts->minor, minor);
        }
        if (facts->minor >= 0)
            return;
    }
}
} // namespace

int majorVersionSaid(const QString &qtPath)
{
    const LoadedFile qconfig = loadWholeFile(qtPath + QStringLiteral("/mkspecs/qconfig.pri"), Limits::maxFactsFileSize);
    return qconfig.ok ? assignmentValue(qconfig.data, "QT_MAJOR_VERSION").toInt() : 0;
}

BuildFacts readBuildFacts(const QtGeneration &generation, const QString &qtPath)
{
    BuildFacts facts;
    facts.mkspecsPath = findMkspecs(generation, qtPath);
    if (facts.mkspecsPath.isEmpty()) {
        versionFromLibrary(&facts, generation, qtPath);
        return facts;
    }
    const LoadedFile qconfig = loadWholeFile(facts.mkspecsPath + QStringLiteral("/qconfig.pri"), Limits::maxFactsFileSize);
    if (qconfig.ok) {
        bool ok = false;
        const int minor = assignmentValue(qconfig.data, "QT_MINOR_VERSION").toInt(&ok);
        facts.minor = ok ? minor : -1;
        const int patch = assignmentValue(qconfig.data, "QT_PATCH_VERSION").toInt(&ok);
        facts.patch = ok ? patch : -1;
    }
    if (facts.minor < 0)
        versionFromLibrary(&facts, generation, qtPath);
    // Qt 5 lists the feature in qmodule.pri, Qt 6 in its core module's private file.
    for (const char *name : {"/qmodule.pri", "/modules/qt_lib_core_private.pri"}) {
        const LoadedFile features = loadWholeFile(facts.mkspecsPath + QLatin1String(name), Limits::maxFactsFileSize);
        if (!features.ok)
            continue;
        if (wordsOf(features.data, ".enabled_features").contains("relocatable"))
            facts.relocatable = BuildFacts::Relocatable::Yes;
        else if (wordsOf(features.data, ".disabled_features").contains("relocatable"))
            facts.relocatable = BuildFacts::Relocatable::No;
    }
    return facts;
}
