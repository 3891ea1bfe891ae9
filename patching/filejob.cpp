#include "patching/filejob.h"

namespace FileJob {
FileOutcome thrownOutcome(const std::exception &e)
{
    return FileOutcome::failed(Reason(ReasonCode::WorkerException, {QString::fromLocal8Bit(e.what())}));
}

FileOutcome unknownThrownOutcome()
{
    return FileOutcome::failed(Reason(ReasonCode::UnknownException));
}
} // namespace FileJob
