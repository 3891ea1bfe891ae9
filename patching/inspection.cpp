#include "patching/inspection.h"

#include "patching/commandplan.h"
#include "patching/pathslots.h"
#include "patching/rootrule.h"
#include "patching/textrules.h"
#include "patching/wholepathrule.h"

#include <QFileInfo>

#include <climits>

namespace {
InspectedFile inspectFile(const QString &qtPath, const PlannedFile &planned, const QVector<QByteArray> &oldRoots)
{
    InspectedFile file;
    file.path = planned.path;
    file.relativePath = planned.relativePath;
    file.kind = planned.kind;
    file.hasBackup = planned.backupExists;
    const QFileInfo info(planned.path);
    // Pipes and devices are never read: a read could block or never end.
    file.type = info.isDir() ? EntryType::Directory : info.isFile() ? EntryType::File
        : info.exists() ? EntryType::Other : EntryType::Missing;
    if (planned.treatment == Treatment::Refused) {
        if (planned.refusal.isFailure())
            file.error = planned.refusal.reason;
        return file;
    }
    if (!planned.exists || file.type != EntryType::File)
        return file;
    const QByteArray current = currentBytes(planned);
    const QByteArray root = qtPath.toLocal8Bit();
    if (planned.kind == FileKind::Binary) {
        QByteArray patched = current;
        rewriteSlots(patched, root);
        // Every slot is judged; a crafted file's thousands are not all shown.
        forEachPathSlot(current, [&](const FoundSlot &slot) {
            if (file.paths.size() < Limits::maxPathsJudged)
                file.paths.append(slot.key + slot.value);
            file.cut = ++file.judged > Limits::maxPathsJudged;
            file.stale += patched.mid(slot.offset, slot.key.size() + slot.value.size() + 1) == slot.key + slot.value + '\0' ? 0 : 1;
        });
        return file;
    }
    if (planned.treatment == Treatment::Metadata) {
        // Build metadata: each distinct path below the directory or below an old root, by the whole-path
        // rule. Every one is judged; a crafted file's thousands are not all shown.
        for (const QByteArray &path : absolutePathsIn(current, INT_MAX)) {
            const bool stale = longestOldRoot(path, oldRoots, root).index >= 0;
            if (!stale && !namesRoot(path, root))
                continue;
            if (file.paths.size() < Limits::maxPathsJudged)
                file.paths.append(path);
            file.cut = ++file.judged > Limits::maxPathsJudged;
            file.stale += stale ? 1 : 0;
        }
        return file;
    }
    for (const ConfigAssignment &assignment : findConfigAssignments(current)) {
        const QByteArray line = assignment.key + '=' + assignment.value;
        file.paths.append(line);
        file.stale += rewriteConfigLine(line, root) == line ? 0 : 1;
    }
    file.judged = int(file.paths.size());
    return file;
}
} // namespace

Inspection inspectInstallation(const QString &qtPath)
{
    Inspection inspection;
    inspection.qtPath = qtPath;
    const CommandPlan plan = planCommand(Command::Unpatch, qtPath, false, PlanPurpose::Look);
    for (const PlannedFile &planned : plan.files)
        inspection.files.append(inspectFile(qtPath, planned, plan.oldRoots.values()));
    inspection.oldRoots = plan.oldRoots;
    inspection.identifiesQt = plan.identifiesQt;
    return inspection;
}
