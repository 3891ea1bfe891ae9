#ifndef ZEL_OUTCOMEASUSER_H
#define ZEL_OUTCOMEASUSER_H

// Shared by the worker tests: a worker run as the unprivileged user, for the
// permission cases that root would otherwise walk straight through.

#include "faultinjection.h"
#include "patching/fileoutcome.h"

#include <QFileDevice>
#include <QFile>
#include <QString>

#include <functional>

namespace OutcomeAsUser {

// Runs `worker` as the unprivileged user and returns its outcome; `whyNot` says
// why it could not run (the caller then skips with that text).
inline bool run(const std::function<FileOutcome()> &worker, FileOutcome *outcome, QString *whyNot)
{
    const Qt4Fixture::UnprivilegedRun run = Qt4Fixture::runAsUnprivileged([&worker] {
        const FileOutcome result = worker();
        return outcomeStatusKey(result.status).toUtf8() + '\n' + result.reason.toUtf8();
    });
    if (!run.ran) {
        *whyNot = run.error;
        return false;
    }
    const qsizetype newline = run.output.indexOf('\n');
    const QString key = QString::fromUtf8(run.output.left(newline));
    const QString reason = QString::fromUtf8(run.output.mid(newline + 1));
    for (OutcomeStatus status : {OutcomeStatus::Changed, OutcomeStatus::LeftAlone, OutcomeStatus::Failed}) {
        if (outcomeStatusKey(status) == key) {
            *outcome = FileOutcome{status, reason};
            return true;
        }
    }
    *whyNot = QStringLiteral("unreadable answer from the child: ") + QString::fromUtf8(run.output);
    return false;
}

// Permission bits that refuse writing to everyone but root: the unprivileged user
// is not the owner, and a non-root owner is refused by the bits themselves.
inline QFileDevice::Permissions readOnlyFile()
{
    return QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
}

inline QFileDevice::Permissions readOnlyDirectory()
{
    return readOnlyFile() | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
}

inline QFileDevice::Permissions openDirectory()
{
    return readOnlyDirectory() | QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
}

inline QFileDevice::Permissions openFile()
{
    return readOnlyFile() | QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
}

} // namespace OutcomeAsUser

#endif
