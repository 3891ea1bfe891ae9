#include "patching/plan/planrecord.h"

#include "patching/formats/pathslots.h"
#include "patching/store/backuprule.h"
#include "patching/store/places.h"
#include "patching/store/treewalk.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace {
// The bytes the plan keeps for a worker while the budget lasts and the file is small, past which its
// worker, verify and inspect read them again: a tree of large libraries, or of many large text files,
// must not all sit in memory.
qint64 mostKept(const PlanReading &reading)
{
    return qMin(reading.budget, Limits::maxHeldFileSize);
}

HeldBytes hold(const QByteArray &bytes, PlanReading *reading)
{
    if (bytes.size() > mostKept(*reading))
        return HeldBytes();
    reading->budget -= bytes.size();
    return HeldBytes(bytes);
}


// The file at `path` read whole, from `opened` when the walk has it open.
LoadedFile loadFile(ReadableFile *opened, const QString &path, qint64 limit, const HeadTest &wanted = {})
{
    return opened ? loadWholeFile(*opened, limit, wanted) : loadWholeFile(path, limit, wanted);
}

// The device `root` lies on, asked once.
qint64 rootDevice(const QString &root, PlanReading *reading)
{
    const auto known = reading->devices.constFind(root);
    if (known != reading->devices.constEnd())
        return *known;
    const qint64 device = deviceOf(root);
    reading->devices.insert(root, device);
    return device;
}

// Whether a mount lies between `root` and the directory `directory` below it, asked once per
// directory, on its parent's answer: one system call per directory of the tree a plan reads.
bool mountBetween(const QString &root, const QString &directory, PlanReading *reading)
{
    if (!directory.startsWith(root + QLatin1Char('/')))
        return false;
    const QString key = root + QLatin1Char('\0') + directory;
    const auto known = reading->mountBetween.constFind(key);
    if (known != reading->mountBetween.constEnd())
        return *known;
    const bool crosses = mountBetween(root, QFileInfo(directory).path(), reading) || isMountPoint(rootDevice(root, reading), directory);
    reading->mountBetween.insert(key, crosses);
    return crosses;
}

// `file`, refused when it is mounted over, or when its backup is not one the
// tool made: it makes every backup as a regular file, and a link, even to a file, is not one of its own.
PlannedFile checkedFile(PlannedFile file)
{
    // A file bind-mounted over is another file's name: a backup would hold that one's bytes, and a
    // replacement cannot take the mount's place.
    if (file.exists && isMountedOver(file.target))
        return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::OtherFileSystem)));
    if (!file.backupExists || isRegularFile(file.backupPath))
        return file;
    // Gone since the walk listed it: the file has no backup.
    file.backupExists = entryExists(file.backupPath);
    if (!file.backupExists)
        return file;
    return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::BackupNotRead, Cause::NotRegularFile)));
}

// The file at `path` before it is read: what it leads to, its backup, and whether its name, its place
// or its backup refuses it.
PlannedFile locatedFile(const PlanContext &context, const QString &path, Treatment treatment, PlanReading *reading,
                        const WalkedFile *walked)
{
    const QString &qtPath = context.qtPath;
    PlannedFile file;
    file.path = path;
    file.relativePath = relativeToQtPath(qtPath, path);
    file.treatment = treatment;
    file.kind = file.treatment == Treatment::Binary ? FileKind::Binary : FileKind::Text;
    file.target = path;
    const QFileInfo info(path);
    // A name the system's encoding could not give back comes out of a listing with a replacement character.
    if (path.contains(QChar::ReplacementCharacter) && !entryExists(path))
        return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::UnreadableName)));
    const FileOutcome guarded = backGuardRefusal(file.relativePath);
    if (!guarded.reason.isNone())
        return refusedFile(file, guarded);
    const QString &canonicalRoot = context.canonicalRoot;
    if (walked) {
        // What the walk saw of the file stands. Its directory is looked at again, once per directory,
        // as a listed file's is: one swapped for a link or a mount while the tree was walked is refused.
        const QString directory = info.absolutePath();
        const QString canonicalDirectory = reading->directories.of(directory);
        if (canonicalDirectory.isEmpty() || !isBelow(canonicalDirectory, canonicalRoot))
            return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::LinkOutsideInstallation)));
        if (mountBetween(qtPath, directory, reading))
            return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::OtherFileSystem)));
        file.canonicalTarget = canonicalDirectory + QLatin1Char('/') + info.fileName();
        file.exists = true;
        file.backupPath = backupNameOf(path);
        file.backupExists = walked->backupBeside;
        return checkedFile(file);
    }
    // Missing, or a link leading nowhere: nothing to patch, and a restore must not write through the link.
    const bool missing = !info.exists();
    if (!missing && !resolveInsideRoot(path, canonicalRoot, &file.target, &file.canonicalTarget, &reading->directories))
        return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::LinkOutsideInstallation)));
    // The file a link leads to passes the same guards: no command writes through a link into a backup.
    if (file.target != path && !canonicalRoot.isEmpty()) {
        const FileOutcome targetGuarded = backGuardRefusal(relativeToQtPath(canonicalRoot, file.target));
        if (!targetGuarded.reason.isNone())
            return refusedFile(file, targetGuarded);
    }
    // A mount below DIR is another tree, which a write must not reach.
    const bool belowCanonicalRoot = !canonicalRoot.isEmpty() && file.target.startsWith(canonicalRoot + QLatin1Char('/'));
    if (!missing && mountBetween(belowCanonicalRoot ? canonicalRoot : qtPath, QFileInfo(file.target).absolutePath(), reading))
        return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::OtherFileSystem)));
    // A directory that happens to match a name pattern holds nothing to patch.
    if (QFileInfo(file.target).isDir())
        return refusedFile(file, FileOutcome::leftAlone(Reason(ReasonCode::IsDirectory)));
    file.exists = !missing;
    file.backupPath = missing ? backupNameOf(path) : backupPathFor(path, file.target);
    file.backupExists = entryExists(file.backupPath);
    return checkedFile(file);
}

// What the original tells of a binary: its path slots, and an ELF file's search paths.
void learnBinary(PlannedFile *file, const QByteArray &original, const QtGeneration &generation)
{
    if (file->kind != FileKind::Binary)
        return;
    file->holdsSlots = holdsPathSlot(original, generation.slotKeys);
    if (isElf(original))
        file->originalSearchPaths = readSearchPaths(original);
}

// `file` with what it holds now read too, beside its backup's bytes, or refused when that read fails.
// A binary's bytes now are read only to be kept for its worker: one too large to keep is read by the
// worker alone, which also says why it cannot be read; one too large to read at all is refused here.
PlannedFile withCurrent(PlannedFile file, const QtGeneration &generation, Recorder recorder, PlanReading *reading,
                        const WalkedFile *walked)
{
    const bool binary = file.kind == FileKind::Binary;
    // The walk saw a binary too large to keep: it is not read for nothing.
    if (binary && walked && walked->size > mostKept(*reading) && walked->size <= readLimit(file.kind))
        return file;
    const qint64 limit = binary ? mostKept(*reading) : readLimit(file.kind);
    LoadedFile current = loadFile(walked ? walked->opened : nullptr, file.target, limit);
    const auto givenBack = qScopeGuard([&current] { giveBackBytes(current.data); });
    if (binary && current.failure.cause == Cause::TooLarge) {
        if (current.stamp.size <= readLimit(file.kind))
            return file;
        current.limit = readLimit(file.kind); // refused as a read of its kind refuses it
    }
    if (!current.ok)
        return refusedFile(file, FileOutcome::failed(current.failureAs(ReasonCode::FileNotRead)));
    file.currentStamp = current.stamp;
    if (file.kind == FileKind::Text || file.holdsSlots)
        file.currentPrefixes = recordedPrefixes(generation, recorder, current.data, Limits::maxOldRoots);
    file.current = hold(current.data, reading);
    return file;
}
// The records of the prefix slots of `original` as the file at `path` holds them now, one after the
// other: a patch changes a binary only there, so a large library costs a few hundred bytes, not a read.
QByteArray prefixSlotsNow(const QString &path, const QByteArray &original, const QtGeneration &generation)
{
    QVector<FoundSlot> prefixSlots;
    forEachPathSlot(original, SlotRule{generation.slotKeys}, [&](const FoundSlot &slot) {
        const bool prefix = slot.key == generation.slotKeys.first().key || generation.installPrefixKeys.contains(slot.key);
        if (prefix && slot.room > 0 && prefixSlots.size() <= Limits::maxOldRoots)
            prefixSlots.append(slot);
    });
    QFile file;
    Failure failure;
    QByteArray records;
    if (prefixSlots.isEmpty() || !openRegularFile(file, path, &failure))
        return records;
    for (const FoundSlot &slot : qAsConst(prefixSlots)) {
        // A value that does not end within the room is none the tool wrote there.
        const QByteArray record = file.seek(slot.offset) ? file.read(slot.room) : QByteArray();
        if (record.size() == slot.room && record.indexOf('\0', slot.key.size()) > 0)
            records += record;
    }
    return records;
}
} // namespace

bool startsLikeBinary(const QByteArray &head)
{
    return isElf(head) || head.startsWith("MZ") || head.startsWith("!<arch>\n");
}

bool rewritesSearchPaths(const PlannedFile &file)
{
    return file.treatment == Treatment::Binary && (!file.originalSearchPaths.strings.isEmpty() || !file.originalSearchPaths.error.isNone());
}

Treatment treatmentFor(const QtGeneration &generation, const QString &path, PlanStep step)
{
    const QString name = QFileInfo(path).fileName();
    if (isConfigName(generation, name) && step != PlanStep::Walk)
        return Treatment::Config;
    if (step == PlanStep::Metadata || (step == PlanStep::Window && isMetadataName(generation, name)))
        return Treatment::Metadata;
    return Treatment::Binary;
}

PlannedFile refusedFile(PlannedFile file, const FileOutcome &outcome)
{
    file.treatment = Treatment::Refused;
    file.refusal = outcome;
    file.original.release();
    file.current.release();
    return file;
}

PlannedFile readRecord(const PlanContext &context, const QString &path, Treatment treatment, PlanStep step,
                       PlanPurpose purpose, PlanReading *reading, bool *wanted, const WalkedFile *walked)
{
    const QtGeneration &generation = *context.generation;
    if (wanted)
        *wanted = true;
    PlannedFile file = locatedFile(context, path, treatment, reading, walked);
    if (file.treatment == Treatment::Refused || (!file.exists && !file.backupExists))
        return file;
    // Of the files the walk finds, only binaries are read whole; the first bytes of one without a
    // backup are its original's, which the walk has looked at already.
    const bool headSeen = walked && walked->head == HeadLook::Wanted && !file.backupExists;
    const HeadTest headTest = step == PlanStep::Walk && !headSeen ? startsLikeBinary : nullptr;
    // Without a backup, the file is its own original, as the walk opened it.
    ReadableFile *opened = walked ? walked->opened : nullptr;
    LoadedFile original = loadFile(file.backupExists ? nullptr : opened, file.readPath(), readLimit(file.kind), headTest);
    const auto givenBack = qScopeGuard([&original] { giveBackBytes(original.data); });
    if (original.unwanted) {
        *wanted = false;
        return file;
    }
    if (!original.ok)
        return refusedFile(file, FileOutcome::failed(original.failureAs(file.backupExists ? ReasonCode::BackupNotRead
                                                                                              : ReasonCode::FileNotRead)));
    file.originalStamp = original.stamp;
    // A file listed as metadata by its name (a cross toolchain's bin/arm-linux-qmake, say) that is a
    // program is treated as one: the text rules would change its length.
    if (file.treatment == Treatment::Metadata && startsLikeBinary(original.data)) {
        file.treatment = Treatment::Binary;
        file.kind = FileKind::Binary;
    }
    learnBinary(&file, original.data, generation);
    if (step == PlanStep::Walk && !file.holdsSlots && file.originalSearchPaths.strings.isEmpty()
        && file.originalSearchPaths.error.isNone()) {
        *wanted = false;
        return file;
    }
    const Recorder recorder = recorderFor(QFileInfo(path).fileName(), file.holdsSlots);
    file.prefixes = recordedPrefixes(generation, recorder, original.data, Limits::maxOldRoots, &file.devicePrefix);
    if (file.backupExists && file.exists && (file.kind == FileKind::Text || purpose == PlanPurpose::Look)) {
        file = withCurrent(std::move(file), generation, recorder, reading, walked);
        if (file.treatment == Treatment::Refused)
            return file;
    }
    // A binary the tool patched names, as it is now, the place it was patched for: an earlier place,
    // which tells the lines the tool wrote for it in text files from a user's. Read apart when the
    // plan did not keep it.
    if (file.holdsSlots && file.backupExists && file.exists && !file.current.held())
        file.currentPrefixes = recordedPrefixes(generation, recorder, prefixSlotsNow(file.target, original.data, generation),
                                                Limits::maxOldRoots);
    if (file.prefixes.size() > Limits::maxOldRoots || file.currentPrefixes.size() > Limits::maxOldRoots)
        return refusedFile(file, FileOutcome::failed(Reason(ReasonCode::TooManyPrefixes, {QString::number(Limits::maxOldRoots)})));
    file.original = hold(original.data, reading);
    // Judged now, its original is not read again for its worker, nor the file itself for a verify.
    if (step == PlanStep::Walk && reading->judge && file.treatment == Treatment::Binary) {
        PlannedFile judged = file;
        judged.original = HeldBytes(std::move(original.data));
        judged.searchPaths = rewritesSearchPaths(judged);
        judged.openCurrent = opened;
        file.walkOutcome = reading->judge(std::move(judged));
    }
    return file;
}
