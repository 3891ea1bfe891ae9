#include "patching/planrun.h"

#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/textpatcher.h"

#include <QScopeGuard>

namespace {
FileOutcome treatFile(FileWorker worker, PlannedFile file, const PlanContext &context, WriteMode mode)
{
    switch (file.treatment) {
    case Treatment::OtherName:
    case Treatment::Refused:
        return file.refusal;
    case Treatment::Binary:
        // Binaries are rewritten in a job, so that the window stays responsive; the text files are small,
        // and a binary the walk judged already is not read again.
        if (!file.walkOutcome)
            return runFileJob(worker, std::move(file), context, mode);
        break;
    case Treatment::Config:
    case Treatment::Metadata:
        break;
    }
    return FileJob::callWorker(worker, file, context, mode);
}
} // namespace

FileOutcome patchFile(PlannedFile file, const PlanContext &context, WriteMode mode)
{
    if (file.treatment == Treatment::Binary)
        return patchBinaryFile(std::move(file), context, mode);
    return patchTextFile(std::move(file), context, mode);
}

QVector<FileReport> runPlanWith(CommandPlan plan, FileWorker worker, WriteMode mode, const FileReportHandler &onFileDone,
                                const SpaceQuery &freeSpace)
{
    QVector<FileReport> reports;
    const auto spareDropped = qScopeGuard([] { dropSpareBytes(); });
    SpaceForecast space(freeSpace);
    for (PlannedFile &file : plan.files) {
        const FileReport report{file.path, file.relativePath, file.kind, FileOutcome()};
        const QString target = file.target;
        // The worker takes the file's bytes: the plan keeps no copy of them.
        FileOutcome outcome = plan.rootEncodable ? treatFile(worker, std::move(file), plan.context, mode)
                                                 : FileOutcome::failed(Reason(ReasonCode::RootNotEncodable));
        if (mode == WriteMode::DryRun)
            outcome = space.weigh(target, outcome);
        reports.append({report.path, report.relativePath, report.kind, outcome});
        if (onFileDone)
            onFileDone(reports.last());
    }
    return reports;
}

WalkJudge walkJudge(WriteMode mode)
{
    // A run keeps only the files it leaves as they are: one to change is read again to be written. In a
    // tree moved again, where most are to change, judging each twice would cost a read more: the run
    // stops judging once those outnumber the others.
    int kept = 0, dropped = 0;
    return [mode, kept, dropped](PlannedFile file, const PlanContext &context) mutable -> std::optional<FileOutcome> {
        if (mode == WriteMode::Apply && dropped > kept + 8)
            return std::nullopt;
        const FileOutcome outcome = FileJob::callWorker([&]() { return patchBinaryFile(std::move(file), context, WriteMode::DryRun); });
        // What was thrown (memory running out while the plan holds other files) is tried again in its turn.
        const ReasonCode code = outcome.reason.code;
        const bool thrown = code == ReasonCode::WorkerException || code == ReasonCode::UnknownException;
        if (thrown || (mode == WriteMode::Apply && outcome.status != OutcomeStatus::LeftAlone)) {
            ++dropped;
            return std::nullopt;
        }
        ++kept;
        return outcome;
    };
}

bool anyFailed(const QVector<FileReport> &reports)
{
    for (const FileReport &report : reports) {
        if (report.outcome.isFailure())
            return true;
    }
    return false;
}
