#ifndef ZEL_INPLACEWRITE_H
#define ZEL_INPLACEWRITE_H

#include "patching/base/fileoutcome.h"

#include <QByteArray>
#include <QString>

// Writes `data` over the file's own bytes, so that its inode, and with it its owner, group, mode and
// hard links, stays; a file with another name is refused (OtherNamesOfAnotherOwner). Runs only after
// the backup is complete and synced, and writes only the pieces that differ: for a binary, those
// holding slot records. A crash meanwhile leaves at worst a torn record, or a configuration file cut
// short or with an old tail, which the next patch or unpatch rewrites whole from the backup; past the
// first write a failure says the file is written in part. The set-id bits and file capabilities a
// write clears are put back, or the failure is PrivilegeLost.
bool writeInPlace(const QString &path, const QByteArray &data, Failure *failure);

#endif
