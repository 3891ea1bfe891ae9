#ifndef ZEL_COMPARISON_H
#define ZEL_COMPARISON_H

#include "patching/base/fileoutcome.h"
#include "patching/base/region.h"
#include "patching/store/reader.h"

#include <QByteArray>
#include <QString>
#include <QVector>

struct Comparison {
    bool ok = false;           // false: the file could not be read (failure says why)
    bool sameSize = true;
    bool same = true;          // byte for byte
    bool elsewhere = false;    // a byte outside every region differs
    QVector<int> regions;      // the regions in which a byte differs, in order
    Failure failure;
};

// Compares the file `path` with `expected`, reading it once piece by piece, so that it is never in
// memory beside `expected`. `mayDiffer` is sorted by offset and its regions do not overlap.
Comparison compareFile(const QString &path, const QByteArray &expected, const QVector<Region> &mayDiffer = {});
// The same for a file already open, from its first byte.
Comparison compareFile(ReadableFile &file, const QByteArray &expected, const QVector<Region> &mayDiffer = {});

// The same for bytes already read.
Comparison compareBytes(const QByteArray &current, const QByteArray &expected, const QVector<Region> &mayDiffer = {});

#endif
