#ifndef ZEL_QMAKEQUERY_H
#define ZEL_QMAKEQUERY_H

#include "patching/verification.h"
#include "patching/formats/pathslots.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

struct PlanContext;

// The installation's qmake's answers (the first of its generation's qmakes there): for Qt 4 against
// what a patch makes of the slots that hold them (`expected`, by key); for later generations, whose
// qmake may find its paths elsewhere (its own place, a qt.conf), an answer is stale when it names an
// old root. None, with `notQueried` set, when it is not to be run or cannot run here, or with
// `failure` set when it ran and did not answer as it should. Each answer comes within `timeoutMs`
// and a bounded size.
QVector<CheckedPath> queryQmake(const PlanContext &context, const QHash<QByteArray, QByteArray> &expected, int timeoutMs,
                                Reason *notQueried, Reason *failure);

#endif
