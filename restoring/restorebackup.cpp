#include "restoring/restorebackup.h"

#include "patching/backuppatch.h"
#include "patching/formats/elfrunpath.h"
#include "patching/formats/pathslots.h"
#include "patching/textpatcher.h"
#include "patching/formats/textrules.h"

#include <QFileInfo>

namespace {
// Where a patch may have changed a binary whose original is `backup`: its slots and search paths.
QVector<Region> patchedRegions(const QByteArray &backup, const PlannedFile &file, const QtGeneration &generation)
{
    QVector<Region> regions;
    forEachPathSlot(backup, generation.slotKeys, [&regions](const FoundSlot &slot) {
        if (slot.room > 0)
            regions.append({slot.offset, slot.room});
    });
    regions += file.originalSearchPaths.regions();
    std::sort(regions.begin(), regions.end(), [](const Region &a, const Region &b) { return a.offset < b.offset; });
    return regions;
}
} // namespace

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
        const std::optional<FileOutcome> judged = binaryBeforeWrite(file, compareWithCurrent(file, backup, patchedRegions(backup, file, *context.generation)), context);
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
