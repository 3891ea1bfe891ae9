#ifndef ZEL_BACKUPRULE_H
#define ZEL_BACKUPRULE_H

#include "patching/base/fileoutcome.h"

#include <QString>

// The backup's name, the guards that keep backups out of every command, and the names of the tool's
// own temporary files: each command, walk and worker asks these, and nothing else.

// The name of the backup of the file named `path`: the name followed by ".back".
QString backupNameOf(const QString &path);

// Where the backup of the file named `path` lies, `target` being the file a link named `path` leads
// to (or `path` itself): beside the name when an entry is there (earlier versions put it beside a
// link), else beside the target, so that a library keeps its backup whichever link reached it.
QString backupPathFor(const QString &path, const QString &target);

// Whether a file or directory name holds ".back" (case-sensitive), as every backup's name does.
bool namesBackup(const QString &name);

// The guard for a path below DIR, given relative to DIR ("lib/libQtCore.so"): a name holding ".back"
// is a backup and is left alone, and nothing below a directory holding ".back" is ever changed (a
// failure, so that the user knows). DIR's own part of the path never counts: an installation below
// /srv/app.backend/ is treated like any other. Reason::None when the path passes.
FileOutcome backGuardRefusal(const QString &relativePath);

// The template of a temporary file beside `path`, named so that a later run knows it as its own.
QString temporaryTemplate(const QString &path);

// Whether `entryName` is a temporary file the tool made beside the file named `fileName` or its
// backup: <name>.XXXXXX.zeltmp or <name>.back.XXXXXX.zeltmp, exactly.
bool isOwnLeftover(const QString &entryName, const QString &fileName);

// Whether a name ends like the tool's temporary files.
bool isTemporaryName(const QString &name);

// The lock file a run holds in DIR while it runs (runlock.h).
QString runLockPathIn(const QString &qtPath);

// Whether a directory entry named `name` is the tool's own, a backup, a temporary file or the run's
// lock file, which listings and walks pass over in silence.
bool isToolsOwnName(const QString &name);

#endif
