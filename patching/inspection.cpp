#include "patching/inspection.h"

#include "patching/fileoutcome.h"
#include "patching/filestore.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"

#include <QFileInfo>

namespace {
const QByteArray prefixKey = QByteArrayLiteral("qt_prfxpath=");

InspectedFile inspectFile(const QString &qtPath, const ListedFile &listed)
{
    InspectedFile file;
    file.path = listed.path;
    file.relativePath = relativeToQtPath(qtPath, listed.path);
    file.kind = listed.kind;
    file.hasBackup = entryExists(listed.path + QStringLiteral(".back"));
    const QFileInfo info(listed.path);
    if (!info.exists())
        return file;
    // Pipes and devices are never read: a read could block or never end.
    file.type = info.isFile() ? EntryType::File : info.isDir() ? EntryType::Directory : EntryType::Other;
    if (file.type != EntryType::File)
        return file;
    const LoadedFile loaded = loadWholeFile(listed.path);
    if (!loaded.ok) {
        file.error = Reason::fileNotLoaded(loaded);
        return file;
    }
    const QByteArray root = qtPath.toLocal8Bit();
    if (listed.kind == FileKind::Binary) {
        forEachPathSlot(loaded.data, [&](const FoundSlot &slot) {
            file.paths.append(slot.key + slot.value);
            file.stale += slotNamesRoot(slot.key, slot.value, root) ? 0 : 1;
        });
    } else {
        for (const ConfigAssignment &assignment : findConfigAssignments(loaded.data)) {
            const QByteArray line = assignment.key + '=' + assignment.value;
            file.paths.append(line);
            file.stale += rewriteConfigLine(line, root) == line ? 0 : 1;
        }
    }
    return file;
}
} // namespace

RecordedRoot recordedRoot(const QString &qtPath)
{
    for (const ListedFile &listed : commandFiles(qtPath, Command::Unpatch)) {
        if (listed.kind != FileKind::Binary)
            continue;
        // The backup holds the bytes from before the first patch.
        const QString backup = listed.path + QStringLiteral(".back");
        const bool hasBackup = entryExists(backup);
        // A link or anything else in a backup's place is none of the tool's: neither it nor the
        // file it stands for tells the original prefix.
        if (hasBackup && !isRegularFile(backup))
            continue;
        const QString original = hasBackup ? backup : listed.path;
        if (!QFileInfo(original).isFile())
            continue;
        const LoadedFile loaded = loadWholeFile(original);
        for (const FoundSlot &slot : findPathSlots(loaded.data)) {
            if (slot.key == prefixKey && !slot.value.isEmpty())
                return {QString::fromLocal8Bit(slot.value), relativeToQtPath(qtPath, original)};
        }
    }
    return RecordedRoot();
}

Inspection inspectInstallation(const QString &qtPath)
{
    Inspection inspection;
    inspection.qtPath = qtPath;
    for (const ListedFile &listed : commandFiles(qtPath, Command::Unpatch))
        inspection.files.append(inspectFile(qtPath, listed));
    inspection.oldRoot = recordedRoot(qtPath);
    return inspection;
}
