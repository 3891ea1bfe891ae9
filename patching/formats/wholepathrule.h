#ifndef ZEL_WHOLEPATHRULE_H
#define ZEL_WHOLEPATHRULE_H

#include "patching/formats/rootrule.h"

#include <QByteArray>
#include <QVector>

// The rule by which the build metadata names an old root, and by which --deep rewrites it.
//
// Text is cut into paths at white space, quotes, '=', ',', ';', '(', ')', ':' (but the colon of a
// drive letter) and zero bytes; a path is such a piece, or what follows -L, -I, -R or -F at its start.
// A path that names an old root (rootrule.h: the longest that counts, whose place exists below the
// new root) names the new root instead; every other byte, the rest of each path included, is kept.
// Each byte is looked at a bounded number of times: the cost is linear in the text.
struct Relocation {
    QVector<QByteArray> oldRoots;
    QByteArray newRoot; // as written into the files
    // Whether a place exists below the new root (the store's existsBelow); when unset, every place does.
    PlaceExists existsBelowRoot;
    // A second installation moved apart, by the same rule: a cross kit's host Qt. A path that names
    // none of `oldRoots` and names one of these names `hostRoot` instead.
    QVector<QByteArray> hostOldRoots;
    QByteArray hostRoot;
    PlaceExists existsBelowHost;
};

// `text` with each path that names an old root naming the new root instead (or the host's).
QByteArray rewriteWholePaths(const QByteArray &text, const Relocation &relocation);

// The first old root that a path of `text` names, by the same rule; empty when none.
QByteArray oldRootNamed(const QByteArray &text, const Relocation &relocation);

// The first `limit` distinct absolute paths of `text`, cut by the same rule, in order.
QVector<QByteArray> absolutePathsIn(const QByteArray &text, int limit);

#endif
