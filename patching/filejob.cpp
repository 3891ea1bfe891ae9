#include "patching/filejob.h"

namespace FileJob {
FileOutcome thrownOutcome(const std::exception &e)
{
    return FileOutcome::failed(Reason::workerException(QString::fromLocal8Bit(e.what())));
}

FileOutcome unknownThrownOutcome()
{
    return FileOutcome::failed(Reason::workerException(QStringLiteral("exception inconnue")));
}
} // namespace FileJob
