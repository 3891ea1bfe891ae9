#include "restoring/restorebackup.h"

#include "patching/backuppatch.h"
#include "patching/filestore.h"
#include "patching/pathslots.h"

#include <QFileInfo>

FileOutcome restoreBackup(const QString &path, const QString &root, WriteMode mode, BackupSize sizeCheck)
{
    const QString backupPath = backupPathFor(path, root);
    if (!entryExists(backupPath))
        return FileOutcome::leftAlone(Reason::noBackup());
    FileOutcome refusal;
    if (!passesBackGuards(path, &refusal))
        return refusal;
    // The tool makes every backup as a regular file: a link, even to a file, is not one of its own.
    if (!isRegularFile(backupPath))
        return FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile()));

    // Write through a link into the tree, so that the file the patch changed gets its bytes back.
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return FileOutcome::failed(Reason::fileNotWritten(Reason::brokenLink()));
    if (!info.isSymLink() && info.exists() && !info.isFile())
        return FileOutcome::failed(Reason::fileNotWritten(Reason::notRegularFile()));
    QString target;
    if (!resolveInsideRoot(path, root, &target))
        return FileOutcome::failed(Reason::linkOutsideInstallation());
    if (mode == WriteMode::Apply)
        removeOwnLeftovers(target);

    const LoadedFile backup = loadWholeFile(backupPath);
    if (!backup.ok)
        return FileOutcome::failed(Reason::backupNotLoaded(backup));

    const QFileInfo targetInfo(target);
    // A patched binary always has its backup's length. One that does not and holds path slots
    // of its own is another build, which the backup must not replace; one cut short is repaired.
    if (sizeCheck == BackupSize::RefuseOtherBuild && targetInfo.exists() && targetInfo.size() != backup.data.size()) {
        const LoadedFile current = loadWholeFile(target);
        if (!current.ok || holdsPathSlot(current.data))
            return FileOutcome::failed(Reason::backupSizeMismatch());
    }
    bool same = false;
    QString error;
    // An unreadable file is simply rewritten; the write then tells whether that is possible.
    if (targetInfo.exists() && fileHolds(target, backup.data, &same, &error) && same)
        return FileOutcome::leftAlone(Reason::upToDate());
    // A missing file (one of the two configuration files) comes back with its backup's permissions and owner.
    const bool written = mode == WriteMode::Apply ? replaceFileContent(target, backup.data, backupPath, &error)
                                                  : (error = writeRefusal(target)).isEmpty();
    if (!written)
        return FileOutcome::failed(Reason::fileNotWritten(error));
    return FileOutcome::changed();
}
