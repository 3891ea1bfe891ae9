#ifndef ZEL_COMMANDRUN_H
#define ZEL_COMMANDRUN_H

#include "patching/planrun.h"

// The commands whole, the top of the engine: a patch runs the patch workers, an unpatch the restore.

// Treats the files of `plan` with its command's worker (see runPlanWith).
QVector<FileReport> runPlan(CommandPlan plan, WriteMode mode = WriteMode::Apply,
                            const FileReportHandler &onFileDone = FileReportHandler(),
                            const SpaceQuery &freeSpace = fileSystemSpace);

// The window's command: its plan, run.
QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode = WriteMode::Apply,
                               const FileReportHandler &onFileDone = FileReportHandler());

#endif
