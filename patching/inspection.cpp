#include "patching/inspection.h"

#include "patching/plan/commandplan.h"
#include "patching/qt/hostqt.h"
#include "patching/formats/pathslots.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"
#include "patching/formats/wholepathrule.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <climits>

namespace {
// Shows one path; only the first of a crafted file's thousands are.
void show(InspectedFile *file, const QByteArray &path)
{
    if (file->paths.size() < Limits::maxPathsJudged)
        file->paths.append(path);
    else
        file->cut = true;
}

// Counts one path judged, and shows it. Every path is judged.
void judge(InspectedFile *file, const QByteArray &path, bool stale)
{
    show(file, path);
    ++file->judged;
    file->stale += stale ? 1 : 0;
}

InspectedFile inspectFile(const PlanContext &context, const PlannedFile &planned, const QVector<QByteArray> &oldRoots)
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
    LoadedFile loaded = currentBytes(planned);
    const auto givenBack = qScopeGuard([&loaded] { giveBackBytes(loaded.data); });
    if (!loaded.ok) {
        file.error = loaded.failureAs(ReasonCode::FileNotRead);
        return file;
    }
    const QByteArray &current = loaded.data;
    const QByteArray &root = context.rootBytes;
    if (planned.kind == FileKind::Binary) {
        // Most binaries of a tree hold no slot key: one scan, and no copy of the file.
        if (!holdsPathSlot(current, context.generation->slotKeys))
            return file;
        QByteArray patched = current;
        const SlotRule rule = slotRule(context);
        const SlotRewrite rewrite = rewriteSlots(patched, root, rule);
        const auto patchedGivenBack = qScopeGuard([&patched] { giveBackBytes(patched); });
        const bool fixed = rewrite.fixedLength >= 0;
        forEachPathSlot(current, rule, [&](const FoundSlot &slot) {
            const bool stale = (fixed && !isKeptPrefix(rule, slot.value) && slot.key == rule.keys.first().key)
                || patched.mid(slot.offset, slot.key.size() + slot.value.size() + 1) != slot.key + slot.value + '\0';
            // A value that stays and is no place of the installation (/etc/xdg, a device prefix, an
            // empty value) says nothing of where the installation is: shown, not judged.
            if (rule.placement == SlotPlacement::BelowOldRoot && !stale && !namesRoot(slot.value, root))
                show(&file, slot.key + slot.value);
            else
                judge(&file, slot.key + slot.value, stale);
        });
        if (fixed)
            file.slotNote = Reason(ReasonCode::PrefixLengthFixed, {QString::number(rewrite.neededLength), QString::number(rewrite.fixedLength)});
        else
            file.slotNote = slotsStayReason(rule, rewrite);
        return file;
    }
    if (planned.treatment == Treatment::Metadata) {
        // Build metadata: each distinct path below the directory or below an old root, by the whole-path rule.
        const PlaceExists placeExists = [&root](const QByteArray &place) { return existsBelow(root, place); };
        for (const QByteArray &path : absolutePathsIn(current, INT_MAX)) {
            const bool stale = longestOldRoot(path, oldRoots, root, placeExists).index >= 0;
            if (stale || namesRoot(path, root))
                judge(&file, path, stale);
        }
        return file;
    }
    for (const ConfigAssignment &assignment : findConfigAssignments(current)) {
        const QByteArray line = assignment.key + '=' + assignment.value;
        judge(&file, line, rewriteConfigLine(line, root) != line);
    }
    return file;
}
} // namespace

QtIdentity qtIdentity(const CommandPlan &plan)
{
    QtIdentity identity;
    identity.major = plan.context.generation->major;
    identity.build = plan.context.build;
    identity.devicePrefixes = plan.context.devicePrefixes;
    if (plan.context.crossKit && !plan.context.hostRoot.isEmpty()) {
        identity.hostQt = QString::fromLocal8Bit(plan.context.hostRoot);
        identity.hostQtThere = holdsHostTools(identity.hostQt);
    }
    const SlotRule rule = slotRule(plan.context);
    if (!rule.fixedPrefixLength || rule.unread || !plan.identifiesQt)
        return identity;
    // The length QtCore reads its prefix with is the one its build wrote, kept in its backup; qmake's
    // first prefix may be another.
    for (const PlannedFile &file : plan.files) {
        if (file.treatment != Treatment::Binary || !file.holdsSlots || file.prefixes.isEmpty()
            || !QDir::match(plan.context.generation->qtCoreNamePattern, QFileInfo(file.path).fileName()))
            continue;
        identity.fixedPrefixLength = file.prefixes.first().size();
        break;
    }
    return identity;
}

Inspection inspectInstallation(const QString &qtPath)
{
    Inspection inspection;
    inspection.qtPath = qtPath;
    // A generation whose patch treats the whole tree is looked at whole, backups or not.
    CommandPlan plan = planCommand(Command::Unpatch, qtPath, generationOf(qtPath).patchIsDeep, PlanPurpose::Look);
    for (PlannedFile &planned : plan.files) {
        // Only what a file holds now is looked at: its backup's bytes need not stay beside them.
        if (planned.backupExists)
            planned.original.release();
        inspection.files.append(inspectFile(plan.context, planned, plan.oldRoots.values()));
        planned.original.release();
        planned.current.release();
    }
    inspection.oldRoots = plan.oldRoots;
    inspection.identifiesQt = plan.identifiesQt;
    inspection.identity = qtIdentity(plan);
    dropSpareBytes();
    return inspection;
}
