#include "patching/backuppatch.h"

#include "patching/filestore.h"
#include "patching/pathslots.h"

#include <QFileInfo>

#include <utility>

namespace {
// Reads an existing backup. The tool makes every backup itself as a regular file, so a
// link (even to a file) or any other kind of entry is not one of its own and is never read.
bool loadBackup(const QString &backupPath, QByteArray *data, FileOutcome *failure)
{
    if (!isRegularFile(backupPath)) {
        *failure = FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile()));
        return false;
    }
    const LoadedFile loaded = loadWholeFile(backupPath);
    if (!loaded.ok) {
        *failure = FileOutcome::failed(Reason::backupNotLoaded(loaded));
        return false;
    }
    *data = loaded.data;
    return true;
}

FileOutcome notLoaded(const LoadedFile &loaded)
{
    return FileOutcome::failed(Reason::fileNotLoaded(loaded));
}
} // namespace

bool passesBackGuards(const QString &filePath, FileOutcome *refusal)
{
    if (QFileInfo(filePath).fileName().contains(QLatin1String(".back"), Qt::CaseSensitive))
        *refusal = FileOutcome::leftAlone(Reason::pathHoldsBack());
    // Nothing below a directory named like a backup is ever touched, and the user must know.
    else if (filePath.contains(QLatin1String(".back"), Qt::CaseSensitive))
        *refusal = FileOutcome::failed(Reason::directoryHoldsBack());
    else
        return true;
    return false;
}

bool loadWithoutBackup(const QString &filePath, const QString &root, QByteArray *data)
{
    FileOutcome refusal;
    QString target;
    if (!passesBackGuards(filePath, &refusal) || !resolveInsideRoot(filePath, root, &target)
        || entryExists(backupPathFor(filePath, root)) || !QFileInfo(target).isFile())
        return false;
    LoadedFile loaded = loadWholeFile(target);
    data->swap(loaded.data);
    return loaded.ok;
}

FileOutcome patchFromBackup(const QString &filePath, const QString &root, WriteMode mode,
                            BackupSize sizeCheck, const ContentPatch &patch)
{
    if (!QFileInfo::exists(filePath))
        return FileOutcome::leftAlone(Reason::noSuchFile());
    FileOutcome guarded;
    if (!passesBackGuards(filePath, &guarded))
        return guarded;

    QString target;
    if (!resolveInsideRoot(filePath, root, &target))
        return FileOutcome::failed(Reason::linkOutsideInstallation());
    const QFileInfo targetInfo(target);
    // A directory that happens to match a name pattern holds nothing to patch.
    if (targetInfo.isDir())
        return FileOutcome::leftAlone(Reason::isDirectory());
    // A pipe or a device could block the read or never end.
    if (!targetInfo.isFile())
        return FileOutcome::failed(Reason::fileNotRead(Reason::notRegularFile()));

    // Nothing named like a backup is ever written, even when a link leads to it.
    if (targetInfo.fileName().contains(QLatin1String(".back"), Qt::CaseSensitive))
        return FileOutcome::leftAlone(Reason::pathHoldsBack());

    // One copy of the file is held at a time: the original bytes, which the patch then rewrites where they lie.
    const QString backupPath = backupPathFor(filePath, root);
    if (mode == WriteMode::Apply)
        removeOwnLeftovers(target);
    // Why the file may not be written at all (another user's file with other names, say): then no
    // backup is made either, and the file fails only if it needs a change.
    const QString refusal = writeRefusal(target);
    QByteArray original;
    FileOutcome failure;
    if (entryExists(backupPath)) {
        if (!loadBackup(backupPath, &original, &failure))
            return failure;
        // Patching never changes a binary's length. A backup of another length is refused
        // only when the file holds path slots of its own, so looks like another build; a file
        // cut short or emptied is repaired from its backup.
        if (sizeCheck == BackupSize::RefuseOtherBuild && original.size() != targetInfo.size()) {
            const LoadedFile loaded = loadWholeFile(target);
            if (!loaded.ok)
                return notLoaded(loaded);
            if (holdsPathSlot(loaded.data))
                return FileOutcome::failed(Reason::backupSizeMismatch());
        }
    } else {
        const LoadedFile loaded = loadWholeFile(target);
        if (!loaded.ok)
            return notLoaded(loaded);
        original = loaded.data;
        QString error;
        if (!refusal.isEmpty()) {
            // Nothing will be written, so no backup is needed.
        } else if (mode == WriteMode::DryRun) {
            // A real run would make the backup from exactly these bytes, if the directory lets it.
            error = writeRefusal(backupPath);
            if (!error.isEmpty())
                return FileOutcome::failed(Reason::backupNotMade(error));
        } else {
            switch (writeBackupIfMissing(backupPath, loaded.data, target, &error)) {
            case BackupResult::Made:
                break;
            case BackupResult::AlreadyThere: // made meanwhile: it holds the original
                if (!loadBackup(backupPath, &original, &failure))
                    return failure;
                break;
            case BackupResult::Failed:
                return FileOutcome::failed(Reason::backupNotMade(error));
            }
        }
    }

    // Handed over, not shared, so that the patch need not copy the whole file; the file on disk
    // is then compared piece by piece with the result.
    const PatchedContent patched = patch(std::move(original));
    bool same = false;
    QString error;
    if (!fileHolds(target, patched.content, &same, &error))
        return FileOutcome::failed(Reason::fileNotRead(error));
    if (same) {
        if (!patched.failure.isEmpty())
            return FileOutcome::failed(patched.failure);
        return FileOutcome::leftAlone(patched.holdsNothing.isEmpty() ? Reason::upToDate() : patched.holdsNothing);
    }
    // A dry run asks whether the write would be allowed; it still writes nothing.
    const bool written = mode == WriteMode::Apply ? replaceFileContent(target, patched.content, QString(), &error)
                                                  : (error = refusal).isEmpty();
    if (!written)
        return FileOutcome::failed(Reason::fileNotWritten(error));
    return patched.failure.isEmpty() ? FileOutcome::changed() : FileOutcome::failed(patched.failure);
}
