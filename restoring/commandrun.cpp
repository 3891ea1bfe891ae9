#include "restoring/commandrun.h"

#include "patching/filejob.h"
#include "restoring/restorebackup.h"

namespace {
// The restore under one name: its own call is overloaded.
FileOutcome restoreFile(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    return restoreBackup(std::move(file), context, mode);
}
} // namespace

QVector<FileReport> runPlan(CommandPlan plan, WriteMode mode, const FileReportHandler &onFileDone, const SpaceQuery &freeSpace)
{
    const FileWorker worker = plan.context.command == Command::Patch ? &patchFile : &restoreFile;
    return runPlanWith(std::move(plan), worker, mode, onFileDone, freeSpace);
}

QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode, const FileReportHandler &onFileDone)
{
    // The plan reads every file: off the calling thread too, so that a window keeps painting.
    return runPlan(runInBackground([command, qtPath, mode] {
        return planCommand(command, qtPath, false, PlanPurpose::Run, Limits::heldBytesBudget, QString(), walkJudge(mode));
    }), mode, onFileDone);
}
