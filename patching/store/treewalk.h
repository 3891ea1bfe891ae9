#ifndef ZEL_TREEWALK_H
#define ZEL_TREEWALK_H

#include "patching/base/fileoutcome.h"
#include "patching/store/reader.h"

#include <QString>
#include <QVector>

#include <functional>

// One place the walk of an installation met: a regular file to look at, or a place it could not or
// would not enter, with the reason.
struct WalkEntry {
    QString path;        // absolute
    FileOutcome refusal; // Reason None: a regular file to look at
    bool link = false;   // a symbolic link, reported for the backup that may lie beside its name
    bool backupBeside = false; // its name followed by ".back" is in the same directory, as its listing says
    HeadLook head = HeadLook::NotRead; // a regular file's first bytes, when the walk was asked to look
    qint64 size = -1; // the file's size when the walk looked at its first bytes
};

// Every regular file below `qtPath` (absolute, sorted), found without following a link (a linked
// file is found under its own name; the link comes back marked, for a backup that may lie beside
// its name), without the tool's backups and temporary files. A directory it
// cannot read, one on another file system (a mount below DIR), one named like a backup, and a name the
// system's encoding cannot spell are not entered and come back as failures, as does a pipe, device or
// socket with a backup beside its name: besides the tool's own files, nothing below DIR is skipped in silence.
// What the walk looks at as it finds a file: with `wanted`, each regular file's first bytes, from its
// directory, but for a name `keptByName` takes; a file whose first bytes `wanted` refuses, without a
// backup beside it, is passed over.
// With `backedUpOnly`, only files and links with a backup beside them, and the places it could not
// enter, come back.
struct WalkLook {
    HeadTest wanted;
    std::function<bool(const QString &name)> keptByName;
    bool backedUpOnly = false;

    bool looksAtHead(const QString &name) const { return wanted && !(keptByName && keptByName(name)); }
};
// With `handOver` (Unix), each regular file whose first bytes the walk looked at and that it keeps is
// handed over as it is found, with the file as it was opened from its directory, rather than returned.
using WalkHandOver = std::function<void(const WalkEntry &entry, ReadableFile &opened)>;
QVector<WalkEntry> walkInstallation(const QString &qtPath, const WalkLook &look = {}, const WalkHandOver &handOver = {});

// The device the file system holding `path` lies on; -1 when it cannot be told (always on Windows).
qint64 deviceOf(const QString &path);

// Whether the directory `path` is where a file system other than the one on `rootDevice`, or a bind
// mount, is mounted. A link is no mount point.
bool isMountPoint(qint64 rootDevice, const QString &path);

// Whether the file `path` is mounted over, as a bind mount of another file makes it; false when the
// system cannot tell (Linux before 5.8, other systems) or the file cannot be looked at, which its
// read then says.
bool isMountedOver(const QString &path);

#endif
