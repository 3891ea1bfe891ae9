#ifndef ZEL_REASONTEXT_H
#define ZEL_REASONTEXT_H

#include "patching/base/fileoutcome.h"

#include <QString>

// The sentences of the outcomes, in the user's language, for the window and the front end's report.
// French is the source; the English is in translations/zel-qt-patcher_en.ts.

QString reasonText(const Reason &reason);

// Stable names for scripts, the same in every language ("file-not-written", "no-space").
QString reasonCodeKey(ReasonCode code);
QString causeKey(Cause cause);

#endif
