#include "patching/commandrun.h"

#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"

namespace {
// The workers, each under one name: the files' own calls are overloaded.
FileOutcome restoring(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    return restoreBackup(std::move(file), context, mode);
}

FileOutcome patchingBinary(const QByteArray &root, PlannedFile file, const PlanContext &context, WriteMode mode)
{
    return patchBinaryFile(root, std::move(file), context, mode);
}

FileOutcome patchingText(const QString &root, PlannedFile file, const PlanContext &context, WriteMode mode)
{
    return patchTextFile(root, std::move(file), context, mode);
}

FileOutcome treatFile(const CommandPlan &plan, PlannedFile file, WriteMode mode)
{
    const PlanContext &context = plan.context;
    const bool patch = context.command == Command::Patch;
    switch (file.treatment) {
    case Treatment::OtherName:
    case Treatment::Refused:
        return file.refusal;
    case Treatment::Binary:
        // Binaries are rewritten in a job, so that the window stays responsive; the text files are small.
        return patch ? runFileJob(&patchingBinary, context.qtPath.toLocal8Bit(), std::move(file), context, mode)
                     : runFileJob(&restoring, std::move(file), context, mode);
    case Treatment::Config:
    case Treatment::Metadata:
        break;
    }
    return patch ? FileJob::callWorker(&patchingText, context.qtPath, file, context, mode)
                 : FileJob::callWorker(&restoring, file, context, mode);
}
} // namespace

QVector<FileReport> runPlan(CommandPlan plan, WriteMode mode, const FileReportHandler &onFileDone,
                            const SpaceQuery &freeSpace)
{
    QVector<FileReport> reports;
    SpaceForecast space(freeSpace);
    for (PlannedFile &file : plan.files) {
        const FileReport report{file.path, file.relativePath, file.kind, FileOutcome()};
        const QString target = file.target;
        // The worker takes the file's bytes: the plan keeps no copy of them.
        FileOutcome outcome = plan.rootEncodable ? treatFile(plan, std::move(file), mode)
                                                 : FileOutcome::failed(Reason(ReasonCode::RootNotEncodable));
        if (mode == WriteMode::DryRun)
            outcome = space.weigh(target, outcome);
        reports.append({report.path, report.relativePath, report.kind, outcome});
        if (onFileDone)
            onFileDone(reports.last());
    }
    return reports;
}

QVector<FileReport> runCommand(Command command, const QString &qtPath, WriteMode mode,
                               const FileReportHandler &onFileDone)
{
    // The plan reads every file: off the calling thread too, so that a window keeps painting.
    return runPlan(runInBackground([command, qtPath] { return planCommand(command, qtPath); }), mode, onFileDone);
}

bool anyFailed(const QVector<FileReport> &reports)
{
    for (const FileReport &report : reports) {
        if (report.outcome.isFailure())
            return true;
    }
    return false;
}
