#ifndef ZEL_QMAKEQUERY_H
#define ZEL_QMAKEQUERY_H

#include "patching/verification.h"
#include "patching/formats/pathslots.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// qmake's answers, against what a patch makes of the slots that hold them (`expected`, by key); none,
// with `notQueried` set, when it is not to be run or cannot run here, or with `failure` set when it
// ran and did not answer as it should. Each answer comes within `timeoutMs` and a bounded size.
QVector<CheckedPath> queryQmake(const QString &qtPath, const QVector<PathSlotKey> &slotKeys, const QHash<QByteArray, QByteArray> &expected, int timeoutMs,
                                Reason *notQueried, Reason *failure);

#endif
