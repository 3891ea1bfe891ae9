#include "patching/filejob.h"

#include <QCoreApplication>

namespace FileJob {
FileOutcome thrownOutcome(const std::exception &e)
{
    return FileOutcome::failed(Reason::workerException(QString::fromLocal8Bit(e.what())));
}

FileOutcome unknownThrownOutcome()
{
    return FileOutcome::failed(Reason::workerException(QCoreApplication::translate("Reason", "exception inconnue")));
}
} // namespace FileJob
