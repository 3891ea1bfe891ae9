#ifndef ZEL_ATTRIBUTES_H
#define ZEL_ATTRIBUTES_H

#include "patching/base/fileoutcome.h"

#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// What a new file takes from the one it stands for, and what a write in place would lose: owner,
// group, mode, set-id bits, extended attributes and file capabilities.

// Gives the new, still unnamed `file` the owner, group and mode of the open file `model`, its set-id
// bits only with `keepSetId` (after the bytes: a write would clear them). Only root may give a file
// away: a file made by root (the tool run through sudo) would otherwise belong to root, and the user
// could no longer rewrite their own toolchain.
bool takeOwnerAndMode(QFileDevice &file, QFile &model, bool keepSetId, Failure *failure);

// Gives `file` every extended attribute of `model` (ACL, file capabilities, SELinux label, user
// attributes) but the measurements of the old content; fails with AttributeNotCopied and the name of
// the first one the system refused ("?" when those of `model` could not be read).
bool takeAttributes(QFileDevice &file, QFile &model, Failure *failure);

#ifdef Q_OS_UNIX
// Whether this process is in `group`, as its effective or a supplementary group.
bool inGroup(gid_t group);

// Whether a new file made by this process can take the owner and group of `info`: root gives a
// file to anyone; a user may give a file of their own to any group they belong to.
bool canKeepOwner(const struct stat &info);
#endif

// Whether the file carries file capabilities, which only root may give a file.
bool hasCapabilities(const QString &path);

// Whether an in-place write by this process would lose what it could not set again: the system
// clears set-id bits and file capabilities on a write by anyone but root; only the owner may set a
// set-user-id bit again, only an owner in the file's group its set-group-id bit, only root capabilities.
bool inPlaceLosesPrivilege(const QString &path);

#endif
