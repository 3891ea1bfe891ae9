#ifndef ZEL_PLANRUN_H
#define ZEL_PLANRUN_H

#include "patching/base/fileoutcome.h"
#include "patching/plan/commandplan.h"
#include "patching/qt/listing.h"
#include "patching/store/diskspace.h"

#include <QString>
#include <QVector>

#include <functional>

struct FileReport {
    QString path;         // absolute path handed to the worker
    QString relativePath; // relative to the Qt directory, with "/" separators
    FileKind kind = FileKind::Binary;
    FileOutcome outcome;
};

using FileReportHandler = std::function<void(const FileReport &)>;

// What treats one file of a plan: the patch below, or the restore of the room above.
using FileWorker = FileOutcome (*)(PlannedFile file, const PlanContext &context, WriteMode mode);

// The patch of one file: a binary's slots and search paths, or a text file's rules.
FileOutcome patchFile(PlannedFile file, const PlanContext &context, WriteMode mode);

// Treats the files of `plan` in order with `worker`: binaries one at a time as background jobs (the
// calling thread keeps processing events meanwhile), text files by direct calls. `onFileDone` hears
// of each file as soon as it has been treated. Never stops early. The plan's bytes go to the worker:
// it is consumed. A dry run weighs what each file would take against the room `freeSpace` says its
// file system has.
QVector<FileReport> runPlanWith(CommandPlan plan, FileWorker worker, WriteMode mode,
                                const FileReportHandler &onFileDone, const SpaceQuery &freeSpace);

// How a patch in `mode` judges a binary of the walk while the plan reads it: a dry run keeps every
// conclusion; a run only a file it leaves as it is, for one to change is read again to be written.
WalkJudge walkJudge(WriteMode mode);

bool anyFailed(const QVector<FileReport> &reports);

#endif
