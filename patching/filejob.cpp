#include "patching/filejob.h"

namespace {
thread_local bool waitingForJob = false;
}

namespace FileJob {
WaitGuard::WaitGuard()
    : m_acquired(!waitingForJob)
{
    waitingForJob = true;
}

WaitGuard::~WaitGuard()
{
    if (m_acquired)
        waitingForJob = false;
}

FileOutcome refusedNestedJob()
{
    return FileOutcome::failed(QStringLiteral("une autre tâche est déjà en cours"));
}

FileOutcome thrownOutcome(const std::exception &e)
{
    return FileOutcome::failed(Reason::workerException(QString::fromLocal8Bit(e.what())));
}

FileOutcome unknownThrownOutcome()
{
    return FileOutcome::failed(Reason::workerException(QStringLiteral("exception inconnue")));
}
} // namespace FileJob
