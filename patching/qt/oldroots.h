#ifndef ZEL_OLDROOTS_H
#define ZEL_OLDROOTS_H

#include <QByteArray>
#include <QString>
#include <QVector>

// One prefix an installation records, and the file it was read from.
struct RecordedRoot {
    QString value;
    QString relativePath;
    bool earlier = false; // read from what a file holds now: a place the tool patched it for before
};

// The prefixes an installation records that are not its own directory: where it was built, installed,
// or patched for before. A Qt used where it was built records two: its install prefix and its build tree.
struct OldRoots {
    QVector<RecordedRoot> roots; // the build's first, the first being the main one, then the earlier places
    bool recordsOwnRoot = false; // some prefix names the directory itself

    QVector<QByteArray> values() const; // in the local 8-bit encoding, as the files hold them
    QVector<QByteArray> earlierValues() const;
};

struct QtGeneration;

// What a file's bytes say about where the installation was: the reader every command, inspect and
// verify share.
enum class Recorder {
    Slots,      // qmake, a QtCore library: every qt_prfxpath= slot
    QmakeCache, // .qmake.cache: QT_BUILD_TREE and QT_SOURCE_TREE
    PkgConfig,  // a .pc file: prefix=
    Libtool,    // a .la file: libdir=, its last "/lib" taken off
    Nothing,
};

// Which reader applies to a file of the installation by its name, or Slots for a binary.
Recorder recorderFor(const QString &fileName, bool binary);

// The distinct absolute prefixes `bytes` records, at most `limit` + 1 of them (one more tells there are too many).
// Slots: where a file holds its generation's install prefixes, those, and a prefix beside them that
// differs from them is the target device's, given in `devicePrefix` and not among the prefixes.
QVector<QByteArray> recordedPrefixes(const QtGeneration &generation, Recorder recorder, const QByteArray &bytes, int limit,
                                     QByteArray *devicePrefix = nullptr);

#endif
