#include "patching/backuppatch.h"

namespace {
FileOutcome failedWith(ReasonCode code, const Failure &failure)
{
    return FileOutcome::failed(failure.as(code));
}

FileOutcome unchanged(const PatchedContent &patched)
{
    if (!patched.failure.isNone())
        return FileOutcome::failed(patched.failure);
    return FileOutcome::leftAlone(patched.leftAloneReason.isNone() ? Reason(ReasonCode::UpToDate) : patched.leftAloneReason);
}
} // namespace

Comparison compareWithCurrent(const PlannedFile &file, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    if (file.current.held())
        return compareBytes(file.current.bytes(), expected, mayDiffer);
    return file.openCurrent ? compareFile(*file.openCurrent, expected, mayDiffer) : compareFile(file.target, expected, mayDiffer);
}

std::optional<FileOutcome> binaryBeforeWrite(const PlannedFile &file, const Comparison &comparison, const PlanContext &context)
{
    if (!comparison.ok)
        return failedWith(ReasonCode::FileNotRead, comparison.failure);
    if (comparison.same)
        return FileOutcome::leftAlone(Reason(ReasonCode::UpToDate));
    // Patching never changes a binary's length nor a byte outside its slots and search paths: a file
    // that differs elsewhere, and holds path slots of its own, is another build; one cut short is repaired.
    if (comparison.elsewhere) {
        const LoadedFile current = comparison.sameSize ? LoadedFile() : loadWholeFile(file.target);
        if (comparison.sameSize || !current.ok || holdsPathSlot(current.data, context.generation->slotKeys))
            return FileOutcome::failed(Reason(ReasonCode::OtherBuild));
    }
    return std::nullopt;
}

bool takeOriginal(PlannedFile &file, QByteArray *bytes, FileOutcome *failure)
{
    if (file.original.held()) {
        *bytes = file.original.take();
        return true;
    }
    const LoadedFile loaded = loadWholeFile(file.readPath(), readLimit(file.kind));
    if (!loaded.ok) {
        *failure = FileOutcome::failed(loaded.failureAs(file.backupExists ? ReasonCode::BackupNotRead : ReasonCode::FileNotRead));
        return false;
    }
    if (loaded.stamp != file.originalStamp) {
        *failure = FileOutcome::failed(Reason(ReasonCode::ChangedDuringRun));
        return false;
    }
    *bytes = loaded.data;
    return true;
}

bool holdCurrent(PlannedFile &file, FileOutcome *failure)
{
    if (file.current.held() || !file.backupExists || !file.exists)
        return true;
    const LoadedFile loaded = loadWholeFile(file.target, readLimit(file.kind));
    if (!loaded.ok) {
        *failure = FileOutcome::failed(loaded.failureAs(ReasonCode::FileNotRead));
        return false;
    }
    if (loaded.stamp != file.currentStamp) {
        *failure = FileOutcome::failed(Reason(ReasonCode::ChangedDuringRun));
        return false;
    }
    file.current = HeldBytes(loaded.data);
    return true;
}

FileOutcome writeContent(const PlannedFile &file, const QByteArray &content, const QString &likeIfNew, WriteMode mode,
                         const Reason &note)
{
    Failure failure;
    const bool written = mode == WriteMode::Apply ? replaceFileContent(file.target, content, likeIfNew, &failure)
                                                  : (failure = writeRefusal(file.target)).cause == Cause::None;
    if (!written)
        return failedWith(ReasonCode::FileNotWritten, failure);
    FileOutcome outcome = FileOutcome::changed(note);
    if (mode == WriteMode::DryRun)
        outcome.need.newBytes = content.size();
    return outcome;
}

namespace {
// What a written file comes to: a slot that could not take its value fails the file, whose other
// changes are written all the same.
FileOutcome withSlotFailure(const PatchedContent &patched, const FileOutcome &written)
{
    if (written.isFailure() || patched.failure.isNone())
        return written;
    FileOutcome failed = FileOutcome::failed(patched.failure);
    failed.need = written.need;
    return failed;
}

// The first patch of a file that has no backup yet: the backup made from its original, then the new
// content written.
FileOutcome writeFirstPatch(const PlannedFile &file, PatchedContent &patched, WriteMode mode)
{
    const bool binary = file.kind == FileKind::Binary;
    const bool changes = binary ? !patched.changes.isEmpty() : patched.content != patched.original;
    if (!changes)
        return unchanged(patched);
    // Why the file may not be written at all (another user's file with other names, say): then no
    // backup is made either.
    const Failure refusal = writeRefusal(file.target);
    if (refusal.cause != Cause::None)
        return failedWith(ReasonCode::FileNotWritten, refusal);
    if (mode == WriteMode::DryRun) {
        // A real run would make the backup from exactly these bytes, if the directory lets it.
        const Failure backupRefusal = writeRefusal(file.backupPath);
        if (backupRefusal.cause != Cause::None)
            return failedWith(ReasonCode::BackupNotMade, backupRefusal);
        FileOutcome outcome = FileOutcome::changed(patched.changedNote);
        outcome.need = {binary ? patched.content.size() : patched.original.size(), patched.content.size()};
        return withSlotFailure(patched, outcome);
    }
    if (stampOf(file.target) != file.originalStamp)
        return FileOutcome::failed(Reason(ReasonCode::ChangedDuringRun));
    removeOwnLeftovers(file.target);
    // A binary is rewritten where it lies: its original comes back for the time the backup is written.
    Failure failure;
    if (binary)
        undoChanges(patched.content, patched.changes);
    const BackupResult backup = writeBackupIfMissing(file.backupPath, binary ? patched.content : patched.original,
                                                     file.target, &failure);
    if (binary)
        redoChanges(patched.content, patched.changes);
    if (backup == BackupResult::Failed)
        return failedWith(ReasonCode::BackupNotMade, failure);
    // Made meanwhile by something else: what it holds is not known to be this original.
    if (backup == BackupResult::AlreadyThere)
        return FileOutcome::failed(Reason(ReasonCode::ChangedDuringRun));
    return withSlotFailure(patched, writeContent(file, patched.content, QString(), mode, patched.changedNote));
}

// A patch over a file whose backup exists: the new content written over what the file holds now,
// unless it holds it already or is a binary of another build.
FileOutcome writeOverPatched(const PlannedFile &file, const PatchedContent &patched, const PlanContext &context,
                             WriteMode mode, std::optional<Comparison> compared)
{
    if (!file.exists)
        return FileOutcome::leftAlone(Reason(ReasonCode::NoSuchFile));
    if (file.kind != FileKind::Binary) {
        if (file.current.bytes() == patched.content)
            return unchanged(patched);
        if (mode == WriteMode::Apply && stampOf(file.target) != file.currentStamp)
            return FileOutcome::failed(Reason(ReasonCode::ChangedDuringRun));
    } else {
        const Comparison comparison = compared ? *compared : compareWithCurrent(file, patched.content, patched.mayDiffer);
        const std::optional<FileOutcome> judged = binaryBeforeWrite(file, comparison, context);
        if (judged)
            return judged->reason.code == ReasonCode::UpToDate ? unchanged(patched) : *judged;
    }
    if (mode == WriteMode::Apply)
        removeOwnLeftovers(file.target);
    return withSlotFailure(patched, writeContent(file, patched.content, QString(), mode, patched.changedNote));
}
} // namespace

FileOutcome writePatched(const PlannedFile &file, PatchedContent &patched, const PlanContext &context, WriteMode mode,
                         std::optional<Comparison> compared)
{
    return file.backupExists ? writeOverPatched(file, patched, context, mode, compared) : writeFirstPatch(file, patched, mode);
}
