#ifndef ZEL_SYSTEMERROR_H
#define ZEL_SYSTEMERROR_H

#include "patching/base/fileoutcome.h"

#include <QString>

class QFileDevice;

// What an error code of the system (errno, or GetLastError() on Windows) is to a user; IoError when unknown.
Cause causeOfSystemError(int code);

// The same, None for a code the tool has no cause for.
Cause knownCauseOf(int code);

// The error of the system call that just failed, and the clearing of it before a call.
int lastSystemError();
void clearSystemError();

// The reason of a failed operation on `file`; `code` is lastSystemError() taken right after it
// (0 when the system said nothing: Qt's text is kept then). Returns false.
bool failOn(Failure *failure, const QFileDevice &file, int code);

// The same for an error code of a call on a descriptor. Returns false.
bool failOn(Failure *failure, int code);

// The reason `cause` (with `detail`) in `failure`. Returns false.
bool failWith(Failure *failure, Cause cause, const QString &detail = QString());

#endif
