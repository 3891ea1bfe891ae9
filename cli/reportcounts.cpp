#include "cli/reportcounts.h"

OutcomeCounts countOutcomes(const QVector<FileReport> &reports)
{
    OutcomeCounts counts;
    for (const FileReport &report : reports) {
        switch (report.outcome.status) {
        case OutcomeStatus::Changed:
            ++counts.changed;
            break;
        case OutcomeStatus::LeftAlone:
            ++counts.leftAlone;
            break;
        case OutcomeStatus::Failed:
            ++counts.failed;
            break;
        }
    }
    return counts;
}

InspectionCounts countInspection(const Inspection &inspection)
{
    InspectionCounts counts;
    for (const InspectedFile &file : inspection.files) {
        ++counts.files;
        if (file.file.exists())
            ++counts.present;
        if (file.backup.exists())
            ++counts.backups;
        if (file.file.namesRoot())
            ++counts.namingRoot;
        if (file.file.readFailed || file.backup.readFailed)
            ++counts.unreadable;
    }
    return counts;
}
