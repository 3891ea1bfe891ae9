#include "restoring/restorebackup.h"

#include "patching/filestore.h"
#include "patching/pathslots.h"

#include <QFile>
#include <QFileInfo>

FileOutcome restoreBackup(const QString &path, const QString &root, WriteMode mode, BackupSize sizeCheck)
{
    const QString backupPath = path + QStringLiteral(".back");
    if (!QFile::exists(backupPath))
        return FileOutcome::leftAlone(Reason::noBackup());
    if (path.contains(QLatin1String(".back"), Qt::CaseSensitive))
        return FileOutcome::leftAlone(Reason::pathHoldsBack());
    const QFileInfo backupInfo(backupPath);
    if (!backupInfo.isFile())
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

    const LoadedFile backup = loadWholeFile(backupPath);
    if (!backup.ok)
        return FileOutcome::failed(backup.tooLarge ? Reason::fileTooLarge() : Reason::backupNotRead(backup.error));

    const QFileInfo targetInfo(target);
    // A patched binary always has its backup's length; one that does not is another build,
    // or the backup was cut short, and putting it back would destroy the file.
    if (sizeCheck == BackupSize::MustMatchFile && targetInfo.exists() && targetInfo.size() != backup.data.size()) {
        const LoadedFile current = loadWholeFile(target);
        if (!current.ok || holdsPathSlot(current.data) || holdsPathSlot(backup.data))
            return FileOutcome::failed(Reason::backupSizeMismatch());
    }
    if (targetInfo.exists() && targetInfo.size() == backup.data.size()) {
        // An unreadable file is simply rewritten; the write then tells whether that is possible.
        const LoadedFile current = loadWholeFile(target);
        if (current.ok && current.data == backup.data)
            return FileOutcome::leftAlone(Reason::upToDate());
    }
    if (mode == WriteMode::Apply) {
        QString error;
        // A missing file (one of the two configuration files) comes back with its backup's permissions and owner.
        if (!replaceFileContent(target, backup.data, backupPath, &error))
            return FileOutcome::failed(Reason::fileNotWritten(error));
    }
    return FileOutcome::changed();
}
