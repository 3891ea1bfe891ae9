#ifndef ZEL_PLACES_H
#define ZEL_PLACES_H

#include <QByteArray>
#include <QHash>
#include <QString>

// Whether `canonicalPath` is `canonicalRoot` or lies below it, by whole names ("/a/qt4" is not
// below "/a/qt"); without regard to case on Windows, whose names are compared so.
bool isBelow(const QString &canonicalPath, const QString &canonicalRoot);

// The canonical path of each directory asked for, resolved once: a plan asks for the directory of
// every file it reads, and resolving a path costs a system call per name in it.
class CanonicalDirectories
{
public:
    QString of(const QString &directory);

private:
    QHash<QString, QString> m_known;
};

// Where a write to `path` lands: the path itself, or the canonical target of a symbolic link; and
// that file's canonical path. Returns false when the target is not below `canonicalRoot` (compared as
// canonical paths; empty when the root is not there), or when the link leads nowhere.
bool resolveInsideRoot(const QString &path, const QString &canonicalRoot, QString *target, QString *canonicalTarget,
                       CanonicalDirectories *directories);

// Whether `relative` ("lib/libQtCore.so", "/" separators) exists below `root` in the file system.
bool existsBelow(const QByteArray &root, const QByteArray &relative);

#endif
