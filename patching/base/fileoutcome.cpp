#include "patching/base/fileoutcome.h"

bool operator==(const Reason &a, const Reason &b)
{
    return a.code == b.code && a.args == b.args && a.cause == b.cause && a.detail == b.detail
        && a.partlyWritten == b.partlyWritten;
}

bool operator==(const FileOutcome &a, const FileOutcome &b)
{
    return a.status == b.status && a.reason == b.reason;
}

QString outcomeStatusKey(OutcomeStatus status)
{
    switch (status) {
    case OutcomeStatus::Changed:
        return QStringLiteral("changed");
    case OutcomeStatus::LeftAlone:
        return QStringLiteral("left-alone");
    case OutcomeStatus::Failed:
        break;
    }
    return QStringLiteral("failed");
}
