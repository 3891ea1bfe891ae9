#include "patching/inspection.h"

#include "patching/commandrun.h"
#include "patching/fileoutcome.h"
#include "patching/filestore.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"

#include <QFileInfo>

namespace {
InspectedFile inspectFile(const QString &qtPath, const PlannedFile &listed)
{
    InspectedFile file;
    file.path = listed.path;
    file.relativePath = relativeToQtPath(qtPath, listed.path);
    file.kind = listed.kind;
    file.hasBackup = entryExists(backupPathFor(listed.path, qtPath));
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

Inspection inspectInstallation(const QString &qtPath)
{
    Inspection inspection;
    inspection.qtPath = qtPath;
    for (const PlannedFile &planned : planCommand(Command::Unpatch, qtPath).files)
        inspection.files.append(inspectFile(qtPath, planned));
    // The old roots as --deep and verify find them.
    inspection.oldRoots = planCommand(Command::Unpatch, qtPath, true).oldRoots;
    return inspection;
}
