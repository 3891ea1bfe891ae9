#include "patching/backuppatch.h"

#include "patching/filestore.h"
#include "patching/pathslots.h"

#include <QFileInfo>

namespace {
// Reads an existing backup; anything but a readable regular file fails with its reason.
bool loadBackup(const QString &backupPath, QByteArray *data, FileOutcome *failure)
{
    if (!QFileInfo(backupPath).isFile()) {
        *failure = FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile()));
        return false;
    }
    const LoadedFile loaded = loadWholeFile(backupPath);
    if (!loaded.ok) {
        *failure = FileOutcome::failed(loaded.tooLarge ? Reason::fileTooLarge() : Reason::backupNotRead(loaded.error));
        return false;
    }
    *data = loaded.data;
    return true;
}
} // namespace

FileOutcome patchFromBackup(const QString &filePath, const QString &root, WriteMode mode,
                            BackupSize sizeCheck, const ContentPatch &patch)
{
    if (!QFileInfo::exists(filePath))
        return FileOutcome::leftAlone(Reason::noSuchFile());
    if (filePath.contains(QLatin1String(".back"), Qt::CaseSensitive))
        return FileOutcome::leftAlone(Reason::pathHoldsBack());

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

    const LoadedFile current = loadWholeFile(target);
    if (!current.ok)
        return FileOutcome::failed(current.tooLarge ? Reason::fileTooLarge() : Reason::fileNotRead(current.error));

    // The backup sits beside the path handed in, even when that path is a link.
    const QString backupPath = filePath + QStringLiteral(".back");
    QByteArray original;
    FileOutcome failure;
    if (entryExists(backupPath)) {
        if (!loadBackup(backupPath, &original, &failure))
            return failure;
    } else if (mode == WriteMode::DryRun) {
        // The backup a real run would make holds exactly these bytes.
        original = current.data;
    } else {
        QString error;
        switch (writeBackupIfMissing(backupPath, current.data, targetInfo.permissions(), target, &error)) {
        case BackupResult::Made:
            original = current.data;
            break;
        case BackupResult::AlreadyThere:
            if (!loadBackup(backupPath, &original, &failure))
                return failure;
            break;
        case BackupResult::Failed:
            return FileOutcome::failed(Reason::backupNotMade(error));
        }
    }

    // Patching never changes a binary's length: a backup of another length is not this
    // file's original (cut short by a crash, or left from another build) and must not replace it.
    if (sizeCheck == BackupSize::MustMatchFile && original.size() != current.data.size()
        && (holdsPathSlot(current.data) || holdsPathSlot(original)))
        return FileOutcome::failed(Reason::backupSizeMismatch());
    const PatchedContent patched = patch(original);
    if (patched.content == current.data) {
        return patched.failure.isEmpty() ? FileOutcome::leftAlone(Reason::upToDate())
                                         : FileOutcome::failed(patched.failure);
    }
    if (mode == WriteMode::Apply) {
        QString error;
        if (!replaceFileContent(target, patched.content, &error))
            return FileOutcome::failed(Reason::fileNotWritten(error));
    }
    return patched.failure.isEmpty() ? FileOutcome::changed() : FileOutcome::failed(patched.failure);
}
