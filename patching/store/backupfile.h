#ifndef ZEL_BACKUPFILE_H
#define ZEL_BACKUPFILE_H

#include "patching/base/fileoutcome.h"
#include "patching/store/fileoperations.h"

#include <QByteArray>
#include <QString>

enum class BackupResult { Made, AlreadyThere, Failed };

// Writes `data` as the new file `backup` (complete or not at all, synced, with the mode and group
// of the file `model`, and its owner when run as root) unless an entry of that name exists; an
// existing entry is never replaced. `operations` are the system's but in a test that makes one fail.
BackupResult writeBackupIfMissing(const QString &backup, const QByteArray &data, const QString &model, Failure *failure,
                                  const FileOperations &operations = FileOperations::system());

#endif
