#ifndef ZEL_ROOTRULE_H
#define ZEL_ROOTRULE_H

#include <QByteArray>
#include <QVector>

#include <functional>

// When a path names a root: the one rule every file kind, the plan, verify and inspect share.
//
// A path names a root when it is that root or goes on with a separator (<root>2 is another directory),
// and what follows the root does not climb out of it with "..". A Windows root ("C:/Qt/4.8.1") is
// matched in any letter case, with either separator, and with the doubled backslashes of an escaped
// string; a Unix root byte for byte. Paths are 8-bit text in the local encoding, as the files hold them.

// Whether `path` starts as an absolute path does: "/..." or a drive letter, a colon and a separator.
bool isAbsolutePath(const QByteArray &path);

// Whether `path` is absolute and holds no control character: a place read from the installation that the
// tool writes into its lines, where a line break would end a line early or add one.
bool isWritablePlace(const QByteArray &path);

// A root as compared: "/" separators, no doubled or trailing separator, a Windows root in lower case.
// Two paths with the same key are one root.
QByteArray rootKey(const QByteArray &path);

// Whether the whole path `path` is `root` or lies below it.
bool namesRoot(const QByteArray &path, const QByteArray &root);

// Whether `relative` ("lib/libQtCore.so", "/" separators) exists below the new root.
using PlaceExists = std::function<bool(const QByteArray &relative)>;

struct RootMatch {
    int index = -1;       // in the old roots; -1: none counts
    qsizetype length = 0; // bytes of the path that spell the root (without its trailing separators)
    QByteArray place;     // the rest, as a clean relative path ("" for the root itself)
};

// The longest of `oldRoots` that the whole path `path` names and whose place exists below the new
// root (`placeExists` unset: every place does; the root itself always counts). None when `newRoot`
// names the path at least as precisely: a path already below a new root that lies below an old one
// stays. Old roots that are not absolute never count.
RootMatch longestOldRoot(const QByteArray &path, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
                         const PlaceExists &placeExists = PlaceExists());

// `root` without its trailing separators ("/" gives ""), as a rewrite puts it before the rest of a path.
QByteArray rootSpelling(const QByteArray &root);


#endif
