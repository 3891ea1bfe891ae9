#ifndef ZEL_CONTENTWRITE_H
#define ZEL_CONTENTWRITE_H

#include "patching/base/fileoutcome.h"
#include "patching/store/fileoperations.h"

#include <QByteArray>
#include <QString>

// Gives `path` the content `data` without writing through another of its names. A new file renamed
// over it in one step keeps its owner, group, mode and extended attributes, and leaves the bytes of
// its other hard links as they were; where only root could keep them (a file of another user, or in
// a group this user is not in), a file with a single name is written in place instead, and a file
// with several names is refused. On a failure of the one-step replace the file is as it was. A file
// that does not exist yet takes the owner and mode of `likeIfNew`. `operations` are the system's but
// in a test that makes one of them fail.
bool replaceFileContent(const QString &path, const QByteArray &data, const QString &likeIfNew, Failure *failure,
                        const FileOperations &operations = FileOperations::system());

// Why a real run could not write `path` (an existing file, or a new entry in its directory), as
// replaceFileContent or writeBackupIfMissing would; Cause::None when it could.
Failure writeRefusal(const QString &path);

#endif
