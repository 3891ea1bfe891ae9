#ifndef ZEL_RESTOREBACKUP_H
#define ZEL_RESTOREBACKUP_H

#include "patching/plan/commandplan.h"
#include "patching/base/fileoutcome.h"

#include <QString>

// Puts the file `file` names back from its backup, writing through a symbolic link only when its
// target lies below the installation. A binary that differs from its backup beyond what a patch
// changes (another build), and a text file with lines written since the last patch, are refused:
// nothing a user wrote is lost in silence.
FileOutcome restoreBackup(PlannedFile file, const PlanContext &context, WriteMode mode = WriteMode::Apply);

// The same for the file at `path` of the installation at `root` alone.
FileOutcome restoreBackup(const QString &path, const QString &root, WriteMode mode = WriteMode::Apply);

#endif
