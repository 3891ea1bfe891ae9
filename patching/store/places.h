#ifndef ZEL_PLACES_H
#define ZEL_PLACES_H

#include <QByteArray>
#include <QString>

// Whether `canonicalPath` is `canonicalRoot` or lies below it, by whole names ("/a/qt4" is not
// below "/a/qt"); without regard to case on Windows, whose names are compared so.
bool isBelow(const QString &canonicalPath, const QString &canonicalRoot);

// Where a write to `path` lands: the path itself, or the canonical target of a
// symbolic link. Returns false when that target is not below `root`
// (both compared as canonical paths), or when the link leads nowhere.
bool resolveInsideRoot(const QString &path, const QString &root, QString *target);

// Whether `relative` ("lib/libQtCore.so", "/" separators) exists below `root` in the file system.
bool existsBelow(const QByteArray &root, const QByteArray &relative);

#endif
