#include "patching/store/backupfile.h"

#include "patching/store/reader.h"
#include "patching/store/replacement.h"

#include <QFile>

BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, Failure *failure,
                                  const FileOperations &operations)
{
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    QFile modelFile;
    if (!openRegularFile(modelFile, model, failure))
        return BackupResult::Failed;
    Replacement replacement(backup, operations);
    // The patched file will be synced to disk when it replaces the original; its backup
    // must not be less durable, or a power cut could leave a patched file with no original.
    // It takes the file's group and mode, so that every member who may write the file may also restore
    // it; a second set-id copy of a program would be a second way in, so it gets no set-id bit.
    if (!replacement.open(failure) || !replacement.fill(data, modelFile, false, failure))
        return BackupResult::Failed;
    // The name is never taken from an entry: a backup that appeared meanwhile is kept.
    Failure refused;
    if (replacement.commitNew(&refused))
        return BackupResult::Made;
    if (entryExists(backup))
        return BackupResult::AlreadyThere;
    *failure = refused;
    return BackupResult::Failed;
}
