#include "patching/store/comparison.h"

#include "patching/base/limits.h"
#include "patching/store/reader.h"
#include "patching/store/systemerror.h"

#include <cstring>

namespace {
// Whether byte `at` lies in one of the sorted `regions`; `next` moves forward with `at`.
int regionOf(const QVector<Region> &regions, qint64 at, int *next)
{
    while (*next < regions.size() && regions.at(*next).offset + regions.at(*next).size <= at)
        ++*next;
    return *next < regions.size() && regions.at(*next).offset <= at ? *next : -1;
}

// Compares the bytes of `piece`, which the file holds from `at`, with `expected`, into `result`.
void comparePiece(const QByteArray &piece, const QByteArray &expected, qint64 at, const QVector<Region> &mayDiffer,
                  int *next, Comparison *result)
{
    if (std::memcmp(piece.constData(), expected.constData() + at, size_t(piece.size())) == 0)
        return;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        if (piece.at(i) == expected.at(at + i))
            continue;
        result->same = false;
        const int region = regionOf(mayDiffer, at + i, next);
        if (region < 0)
            result->elsewhere = true;
        else if (result->regions.isEmpty() || result->regions.last() != region)
            result->regions.append(region);
    }
}
} // namespace

Comparison compareFile(const QString &path, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    ReadableFile file;
    Comparison result;
    return file.open(path, &result.failure) ? compareFile(file, expected, mayDiffer) : result;
}

Comparison compareFile(ReadableFile &file, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    Comparison result;
    if (!file.rewind()) {
        file.failRead(&result.failure);
        return result;
    }
    result.ok = true;
    result.sameSize = file.size() == expected.size();
    if (!result.sameSize) {
        result.same = false;
        result.elsewhere = true;
        return result;
    }
    int next = 0;
    // One piece's memory, read into again and again.
    QByteArray piece(int(qMin(Limits::pieceSize, qint64(expected.size()))), Qt::Uninitialized);
    for (qint64 at = 0; at < expected.size(); at += Limits::pieceSize) {
        const qint64 size = qMin(Limits::pieceSize, expected.size() - at);
        const qint64 got = file.read(piece.data(), size);
        if (got != size) {
            result.ok = got < 0 ? file.failRead(&result.failure) : failWith(&result.failure, Cause::PartialRead);
            return result;
        }
        piece.resize(int(got));
        comparePiece(piece, expected, at, mayDiffer, &next, &result);
    }
    return result;
}

Comparison compareBytes(const QByteArray &current, const QByteArray &expected, const QVector<Region> &mayDiffer)
{
    Comparison result;
    result.ok = true;
    result.sameSize = current.size() == expected.size();
    result.same = result.sameSize;
    result.elsewhere = !result.sameSize;
    int next = 0;
    if (result.sameSize)
        comparePiece(current, expected, 0, mayDiffer, &next, &result);
    return result;
}
