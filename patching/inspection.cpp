#include "patching/inspection.h"

#include "patching/fileoutcome.h"
#include "patching/filestore.h"

#include <QFileInfo>

namespace {
const QByteArray prefixKey = QByteArrayLiteral("qt_prfxpath=");
const QByteArray buildTreeKey = QByteArrayLiteral("QT_BUILD_TREE");

// The value a patch to `root` gives slots keyed `key`; empty for a key outside the table.
QByteArray patchedSlotValue(const QByteArray &key, const QByteArray &root, bool *known)
{
    for (const PathSlotKey &slotKey : pathSlotKeys()) {
        if (slotKey.key == key) {
            *known = true;
            return root + slotKey.suffix;
        }
    }
    *known = false;
    return QByteArray();
}

InspectedContent inspectEntry(const QString &path, FileKind kind, const QByteArray &root, bool isBackup)
{
    InspectedContent content;
    const QFileInfo info(path);
    content.isSymLink = info.isSymLink();
    if (!info.exists())
        return content;
    if (info.isDir()) {
        content.type = EntryType::Directory;
        return content;
    }
    if (!info.isFile()) {
        // Pipes and devices are never read: a read could block or never end.
        content.type = EntryType::Other;
        return content;
    }
    content.type = EntryType::File;

    const LoadedFile loaded = loadWholeFile(path);
    if (!loaded.ok) {
        content.readFailed = true;
        if (loaded.tooLarge)
            content.error = Reason::fileTooLarge();
        else
            content.error = isBackup ? Reason::backupNotRead(loaded.error) : Reason::fileNotRead(loaded.error);
        return content;
    }

    if (kind == FileKind::Binary) {
        for (const FoundSlot &slot : findPathSlots(loaded.data)) {
            bool known = false;
            const QByteArray expected = patchedSlotValue(slot.key, root, &known);
            content.foundSlots.append({slot, known && slot.value == expected});
        }
    } else {
        for (const ConfigAssignment &assignment : findConfigAssignments(loaded.data)) {
            // Only the value part can change, so the trimmed key rebuilds the line well enough.
            const QByteArray line = assignment.key + '=' + assignment.value;
            content.assignments.append({assignment, rewriteConfigLine(line, root) == line});
        }
    }
    return content;
}

// Both commands' files in order, each once; a file only one command visits is placed
// right after the file that precedes it in that command's order.
QVector<InspectedFile> visitedFiles(const QString &qtPath)
{
    QVector<InspectedFile> files;
    for (const ListedFile &listed : commandFiles(qtPath, Command::Patch)) {
        InspectedFile file;
        file.path = listed.path;
        file.kind = listed.kind;
        file.visitedByPatch = true;
        files.append(file);
    }
    int previous = -1;
    for (const ListedFile &listed : commandFiles(qtPath, Command::Unpatch)) {
        int found = -1;
        for (int i = 0; i < files.size(); ++i) {
            if (files.at(i).path == listed.path) {
                found = i;
                break;
            }
        }
        if (found < 0) {
            InspectedFile file;
            file.path = listed.path;
            file.kind = listed.kind;
            found = previous + 1;
            files.insert(found, file);
        }
        files[found].visitedByUnpatch = true;
        previous = found;
    }
    return files;
}

RecordedRoot firstRecorded(const QVector<InspectedFile> &files, bool fromBackup, FileKind kind)
{
    RecordedRoot root;
    for (const InspectedFile &file : files) {
        if (file.kind != kind)
            continue;
        const InspectedContent &content = fromBackup ? file.backup : file.file;
        const QString source = fromBackup ? file.relativePath + QStringLiteral(".back") : file.relativePath;
        for (const InspectedSlot &slot : content.foundSlots) {
            if (slot.slot.key == prefixKey) {
                return {true, QString::fromLocal8Bit(slot.slot.value), source, prefixKey, fromBackup};
            }
        }
        for (const InspectedAssignment &assignment : content.assignments) {
            if (assignment.assignment.key == buildTreeKey) {
                return {true, QString::fromLocal8Bit(assignment.assignment.value.trimmed()), source,
                        buildTreeKey, fromBackup};
            }
        }
    }
    return root;
}
} // namespace

QString entryTypeKey(EntryType type)
{
    switch (type) {
    case EntryType::Missing:
        return QStringLiteral("missing");
    case EntryType::File:
        return QStringLiteral("file");
    case EntryType::Directory:
        return QStringLiteral("directory");
    case EntryType::Other:
        break;
    }
    return QStringLiteral("other");
}

bool InspectedContent::namesRoot() const
{
    if (foundSlots.isEmpty() && assignments.isEmpty())
        return false;
    for (const InspectedSlot &slot : foundSlots) {
        if (!slot.namesRoot)
            return false;
    }
    for (const InspectedAssignment &assignment : assignments) {
        if (!assignment.namesRoot)
            return false;
    }
    return true;
}

bool Inspection::anyReadFailed() const
{
    for (const InspectedFile &file : files) {
        if (file.file.readFailed || file.backup.readFailed)
            return true;
    }
    return false;
}

RecordedRoot recordedRoot(const QVector<InspectedFile> &files)
{
    // Backups hold the content from before the first patch, so they are the better witness.
    for (const bool fromBackup : {true, false}) {
        for (const FileKind kind : {FileKind::Binary, FileKind::Text}) {
            const RecordedRoot root = firstRecorded(files, fromBackup, kind);
            if (root.found)
                return root;
        }
    }
    return RecordedRoot();
}

Inspection inspectInstallation(const QString &qtPath)
{
    Inspection inspection;
    inspection.qtPath = qtPath;
    const QByteArray root = qtPath.toLocal8Bit();
    inspection.files = visitedFiles(qtPath);
    for (InspectedFile &file : inspection.files) {
        file.relativePath = relativeToQtPath(qtPath, file.path);
        file.file = inspectEntry(file.path, file.kind, root, false);
        file.backup = inspectEntry(file.path + QStringLiteral(".back"), file.kind, root, true);
    }
    inspection.oldRoot = recordedRoot(inspection.files);
    return inspection;
}
