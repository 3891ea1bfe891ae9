#ifndef ZEL_RESTOREBACKUP_H
#define ZEL_RESTOREBACKUP_H

#include "patching/fileoutcome.h"

#include <QString>

// Puts the file at `path` back from its backup (`path` + ".back"), writing
// through a symbolic link only when its target lies below `root`.
FileOutcome restoreBackup(const QString &path, const QString &root, WriteMode mode = WriteMode::Apply,
                          BackupSize sizeCheck = BackupSize::Any);

#endif
