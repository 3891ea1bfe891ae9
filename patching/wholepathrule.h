#ifndef ZEL_WHOLEPATHRULE_H
#define ZEL_WHOLEPATHRULE_H

#include <QByteArray>
#include <QVector>

#include <functional>

// The rule by which the build metadata names an old root, and by which --deep rewrites it.
//
// A path starts at the start of the text, after white space, a quote, '=', ',', ';', '(', ':' or
// a zero byte, or right after -L, -I, -R or -F; it ends before one of these (but '=' and '(') or ')'.
// It names a root when it is that root or continues it with a separator (a longer name such as
// <root>2 is another directory). A Windows root ("C:/Qt/4.8.1") is found in any letter case, with
// either separator and with the doubled backslashes of an escaped string. Of the roots a path
// names, the longest counts: a new root below an old one is not the old one. An old root counts
// only where the same path exists below the new root, or where it is the whole path: a broad root
// (/usr) does not take /usr/X11R6/lib with it.
struct Relocation {
    QVector<QByteArray> oldRoots;
    QByteArray newRoot; // as written into the files
    // Whether `relative` ("lib/libQtCore.so", "/" separators) exists below the new root; when
    // unset, the file system is asked.
    std::function<bool(const QByteArray &relative)> existsBelowRoot;
};

// `text` with each path that names an old root naming the new root instead; every other byte,
// the rest of each path included, is kept.
QByteArray rewriteWholePaths(const QByteArray &text, const Relocation &relocation);

// The first old root that a path of `text` names, by the same rule; empty when none.
QByteArray oldRootNamed(const QByteArray &text, const Relocation &relocation);

// Whether `relative` ("lib/libQtCore.so") exists below `root` in the file system: what the rule
// asks when no other test is given.
bool existsBelow(const QByteArray &root, const QByteArray &relative);

// Whether `a` and `b` are one root, by the same letter case and separator rule.
bool sameRoot(const QByteArray &a, const QByteArray &b);

#endif
