#include "patching/qt/oldroots.h"

#include "patching/formats/pathslots.h"
#include "patching/qt/generation.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"

#include <QSet>

QVector<QByteArray> OldRoots::values() const
{
    QVector<QByteArray> list;
    for (const RecordedRoot &root : roots)
        list.append(root.value.toLocal8Bit());
    return list;
}

QVector<QByteArray> OldRoots::earlierValues() const
{
    QVector<QByteArray> list;
    for (const RecordedRoot &root : roots) {
        if (root.earlier)
            list.append(root.value.toLocal8Bit());
    }
    return list;
}

Recorder recorderFor(const QString &fileName, bool binary)
{
    if (binary)
        return Recorder::Slots;
    if (fileName == QLatin1String(".qmake.cache"))
        return Recorder::QmakeCache;
    if (fileName.endsWith(QLatin1String(".pc")))
        return Recorder::PkgConfig;
    if (fileName.endsWith(QLatin1String(".la")))
        return Recorder::Libtool;
    return Recorder::Nothing;
}

QVector<QByteArray> recordedPrefixes(const QtGeneration &generation, Recorder recorder, const QByteArray &bytes, int limit,
                                     QByteArray *devicePrefix)
{
    QVector<QByteArray> found;
    QSet<QByteArray> keys;
    const auto add = [&](const QByteArray &path) {
        if (found.size() <= limit && isAbsolutePath(path) && !keys.contains(rootKey(path))) {
            keys.insert(rootKey(path));
            found.append(path);
        }
    };
    // One line at a time: a file of millions of lines costs no list of them.
    const auto eachLine = [&](const char *start, const std::function<void(const QByteArray &)> &onValue) {
        for (qsizetype at = 0; at < bytes.size();) {
            qsizetype end = bytes.indexOf('\n', at);
            if (end < 0)
                end = bytes.size();
            const QByteArray trimmed = bytes.mid(at, end - at).trimmed();
            if (trimmed.startsWith(start))
                onValue(unquotedPath(trimmed.mid(qsizetype(qstrlen(start)))));
            at = end + 1;
        }
    };
    switch (recorder) {
    case Recorder::Slots: {
        QVector<QByteArray> plain, installed;
        forEachPathSlot(bytes, SlotRule{generation.slotKeys}, [&](const FoundSlot &slot) {
            if (slot.value.isEmpty())
                return;
            if (slot.key == generation.slotKeys.first().key)
                plain.append(slot.value);
            else if (generation.installPrefixKeys.contains(slot.key))
                installed.append(slot.value);
        });
        for (const QByteArray &prefix : (installed.isEmpty() ? plain : installed))
            add(prefix);
        const auto isInstalled = [&](const QByteArray &prefix) { return keys.contains(rootKey(prefix)); };
        for (const QByteArray &prefix : qAsConst(plain)) {
            if (!installed.isEmpty() && !isInstalled(prefix) && devicePrefix && isAbsolutePath(prefix))
                *devicePrefix = prefix;
        }
        break;
    }
    case Recorder::QmakeCache:
        forEachConfigAssignment(bytes, [&](const ConfigAssignment &assignment) {
            if (assignment.key == "QT_BUILD_TREE" || assignment.key == "QT_SOURCE_TREE")
                add(unquotedPath(assignment.value));
        });
        break;
    case Recorder::PkgConfig:
        eachLine("prefix=", add);
        break;
    case Recorder::Libtool:
        eachLine("libdir=", [&](const QByteArray &libdir) {
            if (rootSpelling(libdir).endsWith("/lib"))
                add(rootSpelling(libdir).chopped(4));
        });
        break;
    case Recorder::Nothing:
        break;
    }
    return found;
}
