#ifndef ZEL_QMAKETRUST_H
#define ZEL_QMAKETRUST_H

#include "patching/base/fileoutcome.h"

#include <QFileInfo>
#include <QString>

// Why bin/qmake must not run, None when it may: code that someone other than root and the
// running user put there, or may change, would run with the rights of whoever verifies. `qmake`
// is the file as named in the installation, `resolved` the same with every link followed, `name`
// how the reason names it.
Reason whyNotTrusted(const QFileInfo &qmake, const QFileInfo &resolved, const QString &name);

#endif
