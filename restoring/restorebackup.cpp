#include "restoring/restorebackup.h"

#include "patching/backuppatch.h"
#include "patching/patchregions.h"
#include "patching/formats/elfrunpath.h"
#include "patching/formats/pathslots.h"
#include "patching/textpatcher.h"
#include "patching/formats/textrules.h"

#include <QFileInfo>

FileOutcome restoreBackup(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    if (!file.backupExists)
        return FileOutcome::leftAlone(Reason(ReasonCode::NoBackup));
    const QFileInfo info(file.path);
    if (info.isSymLink() && !info.exists())
        return FileOutcome::failed(Reason(ReasonCode::FileNotWritten, Cause::BrokenLink));
    QByteArray backup;
    FileOutcome failure;
    if (!takeOriginal(file, &backup, &failure))
        return failure;
    // A missing file (one of the two configuration files) comes back with its backup's mode and owner.
    if (!file.exists)
        return writeContent(file, backup, file.backupPath, mode);
    if (file.kind == FileKind::Text) {
        if (!holdCurrent(file, &failure))
            return failure;
        if (file.current.bytes() == backup)
            return FileOutcome::leftAlone(Reason(ReasonCode::UpToDate));
        if (!writtenByTool(backup, file.current.bytes(), textRulesFor(file, context), context.earlierPlaces))
            return FileOutcome::failed(Reason(ReasonCode::EditedSincePatch));
    } else {
        // Where a patch may have changed the file: its backup's slots and search paths.
        const QVector<Region> mayDiffer = patchRegions(slotRooms(backup, slotRule(context)),
                                                       file.originalSearchPaths.regions()).regions;
        const std::optional<FileOutcome> judged = binaryBeforeWrite(file, compareWithCurrent(file, backup, mayDiffer), context);
        if (judged)
            return *judged;
    }
    if (mode == WriteMode::Apply)
        removeOwnLeftovers(file.target);
    return writeContent(file, backup, QString(), mode);
}

FileOutcome restoreBackup(const QString &path, const QString &root, WriteMode mode)
{
    const PlanContext context = planContext(Command::Unpatch, root);
    const PlannedFile file = planOneFile(root, path, treatmentByName(*context.generation, path));
    if (file.treatment == Treatment::Refused)
        return file.refusal;
    return restoreBackup(file, context, mode);
}
