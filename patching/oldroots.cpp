#include "patching/oldroots.h"

#include "patching/filestore.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"
#include "patching/wholepathrule.h"

#include <QFileInfo>

#include <algorithm>

namespace {
// The bytes the build left: the backup's once there is one. A link or anything else in a
// backup's place is none of the tool's: neither it nor the file it stands for tells a prefix.
bool loadOriginal(const QString &path, const QString &qtPath, QByteArray *data, QString *readFrom)
{
    const QString backup = backupPathFor(path, qtPath);
    const bool hasBackup = entryExists(backup);
    if (hasBackup && !isRegularFile(backup))
        return false;
    *readFrom = hasBackup ? backup : path;
    if (!QFileInfo(*readFrom).isFile())
        return false;
    LoadedFile loaded = loadWholeFile(*readFrom);
    data->swap(loaded.data);
    return loaded.ok;
}

bool isAbsolute(const QByteArray &path)
{
    return path.startsWith('/')
        || (path.size() >= 3 && QChar::isLetter(uint(uchar(path.at(0)))) && path.at(1) == ':'
            && (path.at(2) == '/' || path.at(2) == '\\'));
}

QVector<QByteArray> prefixesIn(const ListedFile &file, const QByteArray &data)
{
    QVector<QByteArray> found;
    const QString name = QFileInfo(file.path).fileName();
    if (file.kind == FileKind::Binary) {
        // The first: a file packed with slots must not cost a copy of each.
        forEachPathSlot(data, [&found](const FoundSlot &slot) {
            if (found.isEmpty() && slot.key == pathSlotKeys().first().key && !slot.value.isEmpty())
                found.append(slot.value);
        });
    } else if (name.endsWith(QLatin1String(".pc"))) {
        for (const QByteArray &line : data.split('\n')) {
            if (line.startsWith("prefix="))
                found.append(unquotedPath(line.mid(7)));
        }
    } else if (name == QLatin1String(".qmake.cache")) {
        for (const ConfigAssignment &assignment : findConfigAssignments(data)) {
            if (assignment.key == "QT_BUILD_TREE" || assignment.key == "QT_SOURCE_TREE")
                found.append(unquotedPath(assignment.value));
        }
    }
    return found;
}
} // namespace

QVector<QByteArray> OldRoots::values() const
{
    QVector<QByteArray> list;
    for (const RecordedRoot &root : roots)
        list.append(root.value.toLocal8Bit());
    return list;
}

OldRoots findOldRoots(const QString &qtPath, const QVector<ListedFile> &files)
{
    const QByteArray ownRoot = qtPath.toLocal8Bit();
    OldRoots old;
    QVector<QByteArray> seen;
    for (const ListedFile &file : files) {
        QByteArray data;
        QString readFrom;
        if (!loadOriginal(file.path, qtPath, &data, &readFrom))
            continue;
        for (const QByteArray &prefix : prefixesIn(file, data)) {
            if (!isAbsolute(prefix))
                continue;
            if (sameRoot(prefix, ownRoot)) {
                old.recordsOwnRoot = true;
                continue;
            }
            if (std::any_of(seen.cbegin(), seen.cend(), [&](const QByteArray &root) { return sameRoot(prefix, root); }))
                continue;
            seen.append(prefix);
            old.roots.append({QString::fromLocal8Bit(prefix), relativeToQtPath(qtPath, readFrom)});
        }
    }
    return old;
}

QByteArray unquotedPath(QByteArray value)
{
    value = value.trimmed();
    for (const char *quote : {"\\$\\$quote(", "$$quote("}) {
        if (value.startsWith(quote) && value.endsWith(')'))
            value = value.mid(int(qstrlen(quote)), value.size() - int(qstrlen(quote)) - 1);
    }
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}
