#ifndef ZEL_OLDROOTS_H
#define ZEL_OLDROOTS_H

#include "patching/listing.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// One prefix an installation records, and the file it was read from.
struct RecordedRoot {
    QString value;
    QString relativePath;
};

// The prefixes an installation records that are not its own directory: where it was built,
// installed or patched for before. A Qt used where it was built records two: its install prefix
// and its build tree.
struct OldRoots {
    QVector<RecordedRoot> roots; // in the order found, the first being the main one
    bool recordsOwnRoot = false; // some prefix names the directory itself

    QVector<QByteArray> values() const; // in the local 8-bit encoding, as the files hold them
};

// The old roots of the installation at `qtPath`, read from the original bytes (the backup's
// once there is one) of `files`: the qt_prfxpath= slots of each binary (qmake, QtCore), the
// prefix= of each .pc file, and QT_BUILD_TREE and QT_SOURCE_TREE of .qmake.cache, $$quote(...)
// taken off. Only absolute paths count.
OldRoots findOldRoots(const QString &qtPath, const QVector<ListedFile> &files);

// A path as configure writes it in .qmake.cache ("\$\$quote(/path)"), or quoted, without its dressing.
QByteArray unquotedPath(QByteArray value);

#endif
