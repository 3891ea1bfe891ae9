#include "patching/verification.h"

#include "patching/backuppatch.h"
#include "patching/binarypatcher.h"
#include "patching/plan/commandplan.h"
#include "patching/formats/elfrunpath.h"
#include "patching/filejob.h"
#include "patching/formats/pathslots.h"
#include "patching/planrun.h"
#include "patching/qmakequery.h"
#include "patching/formats/rootrule.h"
#include "patching/textpatcher.h"
#include "patching/formats/wholepathrule.h"

#include <QHash>

#include <cstring>

namespace {
// What a patch writes in the slot `slot` of the file, as `patched` holds it: up to its first zero byte
// within the slot's room, or the slot's value when the room holds none.
QByteArray patchedSlotValue(const QByteArray &patched, const FoundSlot &slot)
{
    const qsizetype valueStart = slot.offset + slot.key.size();
    const char *zero = slot.room > slot.key.size()
        ? static_cast<const char *>(std::memchr(patched.constData() + valueStart, '\0', size_t(slot.room - slot.key.size())))
        : nullptr;
    return zero ? QByteArray(patched.constData() + valueStart, int(zero - patched.constData() - valueStart)) : slot.value;
}

// One slot's path among a file's, from `first` on: a key already there is marked stale when this
// slot is, and otherwise adds nothing.
void addSlotPath(QVector<CheckedPath> *paths, int first, const QString &relativePath, const FoundSlot &slot,
                 const QByteArray &shouldBe)
{
    const bool ok = slot.value == shouldBe;
    const QString key = QString::fromLatin1(slot.key);
    for (int i = first; i < paths->size(); ++i) {
        CheckedPath &path = (*paths)[i];
        if (path.name != key)
            continue;
        if (path.ok && !ok) {
            path.value = QString::fromLocal8Bit(slot.value);
            path.expected = QString::fromLocal8Bit(shouldBe);
            path.ok = false;
        }
        return;
    }
    paths->append({key, relativePath, QString::fromLocal8Bit(slot.value), QString::fromLocal8Bit(shouldBe), ok});
}

// The slots of one binary now, against those a patch gives it, one path per key: a file packed with
// slots adds no more than that. `expected` learns what each key's first slot should hold.
bool addSlots(QVector<CheckedPath> *paths, PlannedFile &file, const QByteArray &root, const SlotRule &rule,
              QHash<QByteArray, QByteArray> *expected)
{
    bool stale = false;
    // Same build, same places: what a patch gives a slot lies where the slot lies now. One not read, or
    // another build than its backup, adds no path: the dry run of its worker says which.
    // The original is patched where it lies and given back as it was: a large library is in memory
    // twice at most, as it is now and as a patch makes it. A file without a backup is its own original,
    // whose bytes the patch below copies.
    const bool held = file.original.held();
    QByteArray patched;
    FileOutcome unread;
    if (!takeOriginal(file, &patched, &unread))
        return false;
    const LoadedFile current = file.backupExists ? currentBytes(file) : LoadedFile();
    const QByteArray now = file.backupExists ? current.data : patched;
    const auto giveBack = [&](SlotRewrite *rewrite) {
        if (rewrite)
            undoChanges(patched, rewrite->changes);
        if (held)
            file.original = HeldBytes(std::move(patched));
    };
    if ((file.backupExists && !current.ok) || patched.size() != now.size()) {
        giveBack(nullptr);
        return false;
    }
    SlotRewrite rewrite = rewriteSlots(patched, root, rule);
    const int first = paths->size();
    forEachPathSlot(now, rule, [&](const FoundSlot &slot) {
        const QByteArray shouldBe = patchedSlotValue(patched, slot);
        if (slot.room > 0 && !expected->contains(slot.key))
            expected->insert(slot.key, shouldBe);
        stale = stale || slot.value != shouldBe;
        addSlotPath(paths, first, file.relativePath, slot, shouldBe);
    });
    giveBack(&rewrite);
    return stale;
}

// What the file holds now names of the old roots, by the rule of its kind.
void findOldRootNamed(CheckedFile *checked, const PlannedFile &file, const PlanContext &context)
{
    const QByteArray &root = context.rootBytes;
    const QByteArray current = currentBytes(file).data; // read by the dry run just before
    const PlaceExists placeExists = [&root](const QByteArray &place) { return existsBelow(root, place); };
    if (file.kind == FileKind::Text) {
        checked->oldRootNamed = QString::fromLocal8Bit(oldRootNamed(current, {context.oldRoots, root, placeExists}));
        return;
    }
    if (!isElf(current))
        return;
    const ElfSearchPaths searchPaths = readSearchPaths(current);
    for (const QByteArray &entry : searchPaths.entries()) {
        const RootMatch match = longestOldRoot(entry, context.oldRoots, root, placeExists);
        if (match.index >= 0) {
            checked->oldRootNamed = QString::fromLocal8Bit(context.oldRoots.at(match.index));
            checked->inSearchPath = true;
            return;
        }
    }
}

// Why a file a patch --deep would still change is not relocated, by what verify found in it.
Reason staleReason(const CheckedFile &checked)
{
    if (checked.inSearchPath)
        return Reason(ReasonCode::SearchPathNamesOldRoot, {checked.oldRootNamed});
    if (!checked.oldRootNamed.isEmpty())
        return Reason(ReasonCode::NamesOldRoot, {checked.oldRootNamed});
    if (checked.staleSlots)
        return Reason(ReasonCode::StaleSlots);
    return Reason(ReasonCode::WouldChange);
}

CheckedFile checkFile(const PlannedFile &file, const PlanContext &context, bool staleSlots)
{
    CheckedFile checked;
    checked.staleSlots = staleSlots;
    checked.path = file.path;
    checked.relativePath = file.relativePath;
    checked.kind = file.kind;
    const auto judge = [&]() {
        if (file.treatment == Treatment::Refused)
            return file.refusal;
        // The worker takes the bytes it is handed, and changes them without a copy: what verify looks at
        // of the file afterwards is read again.
        const PlannedFile copy = file;
        if (file.treatment == Treatment::Binary)
            return patchBinaryFile(copy, context, WriteMode::DryRun);
        return patchTextFile(copy, context, WriteMode::DryRun);
    };
    const FileOutcome judged = FileJob::callWorker(judge);
    // A dry run that could not write still says the file needs a change; that is all verify asks.
    const ReasonCode code = judged.reason.code;
    const bool needsChange = judged.status == OutcomeStatus::Changed || code == ReasonCode::FileNotWritten
        || code == ReasonCode::BackupNotMade;
    checked.relocated = !needsChange && !judged.isFailure();
    if (checked.relocated)
        return checked;
    checked.unreadable = code == ReasonCode::FileNotRead || code == ReasonCode::BackupNotRead
        || code == ReasonCode::DirectoryNotRead || code == ReasonCode::UnreadableName;
    if (!needsChange)
        checked.reason = judged.reason;
    else
        findOldRootNamed(&checked, file, context);
    if (checked.reason.isNone())
        checked.reason = staleReason(checked);
    return checked;
}
} // namespace

bool Verification::relocated() const
{
    if (paths.isEmpty() || !queryFailure.isNone())
        return false;
    for (const CheckedPath &path : paths) {
        if (!path.ok)
            return false;
    }
    for (const CheckedFile &file : files) {
        if (!file.relocated)
            return false;
    }
    return true;
}

Verification verifyInstallation(const QString &qtPath, int timeoutMs)
{
    Verification verification;
    verification.qtPath = qtPath;
    // The command it judges: its plan, with what every file holds now read too.
    CommandPlan plan = planCommand(Command::Patch, qtPath, true, PlanPurpose::Look, Limits::heldBytesBudget, QString(),
                                   walkJudge(WriteMode::DryRun));
    // The walk's binaries are judged: what is read from here on is the files listed by name, which
    // the memory kept for the largest of the walk's would only add to.
    dropSpareBytes();
    verification.oldRoots = plan.oldRoots;
    verification.identifiesQt = plan.identifiesQt;
    verification.identity = qtIdentity(plan);
    QVector<CheckedPath> slotPaths;
    QHash<QByteArray, QByteArray> expected;
    const QByteArray &root = plan.context.rootBytes;
    for (PlannedFile &file : plan.files) {
        if (file.treatment == Treatment::OtherName)
            continue;
        if (file.treatment == Treatment::Refused && !file.refusal.isFailure())
            continue; // a backup, a directory: nothing of the installation's paths
        const bool staleSlots = file.treatment == Treatment::Binary && file.holdsSlots
            && addSlots(&slotPaths, file, root, slotRule(plan.context), &expected);
        if (file.exists || file.treatment == Treatment::Refused)
            verification.files.append(checkFile(file, plan.context, staleSlots));
    }
    dropSpareBytes();
    verification.paths = queryQmake(plan.context, expected, timeoutMs, &verification.notQueriedReason, &verification.queryFailure);
    verification.queried = !verification.paths.isEmpty();
    verification.paths += slotPaths;
    return verification;
}
