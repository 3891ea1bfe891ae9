#ifndef ZEL_BACKUPPATCH_H
#define ZEL_BACKUPPATCH_H

#include "patching/fileoutcome.h"

#include <QByteArray>
#include <QString>

#include <functional>

// New content computed from a backup's bytes, and a failure to report even when
// the content is written (a slot that could not take its value, for instance).
struct PatchedContent {
    QByteArray content;
    QString failure; // empty when the patch is complete
    QString holdsNothing; // why the patch can never change this file (no path in it), for its report
};

// Takes the backup's bytes by value: a patch may rewrite them in place rather than copy them.
using ContentPatch = std::function<PatchedContent(QByteArray backup)>;

// The guards every worker applies to the path it is handed before it reads anything: a name
// holding ".back" is passed over, and nothing below a directory holding ".back" is ever touched.
// False, with `refusal` set, when the path is not to be treated.
bool passesBackGuards(const QString &filePath, FileOutcome *refusal);

// The bytes of a file that has no backup yet, when the course below would read them: the guards
// pass, it is a file and no link leads outside `root`. A worker that finds nothing to rewrite in them
// leaves the file as the build left it, with no backup; otherwise (false) the course decides.
bool loadWithoutBackup(const QString &filePath, const QString &root, QByteArray *data);

// The course both patch workers share, after their debug line: the guards (missing
// file, ".back" in the path, a link leading outside `root`), the backup made once
// and never replaced, the new content computed from the backup, and a single-step
// write only when the bytes differ.
FileOutcome patchFromBackup(const QString &filePath, const QString &root, WriteMode mode,
                            BackupSize sizeCheck, const ContentPatch &patch);

#endif
