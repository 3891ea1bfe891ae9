#ifndef ZEL_LINEINDEX_H
#define ZEL_LINEINDEX_H

#include <QByteArray>
#include <QVector>

#include <functional>

// A set of distinct lines that keeps no copy of them: each entry is the line's hash and a number
// the caller gave, from which the caller makes the line again when a hash matches. A file's lines
// then cost a few bytes each, whatever their length, instead of a byte array apiece.
class LineIndex
{
public:
    // Makes again the line added under `id`.
    using LineOf = std::function<QByteArray(quint64 id)>;
    // A line's hash; by default Qt's, with a seed of this index's own.
    using HashOf = std::function<quint32(const QByteArray &line)>;

    explicit LineIndex(LineOf lineOf, HashOf hashOf = HashOf());

    // Adds `line` under `id` unless an equal line is there already: the first added wins. A line
    // past Limits::maxLineProbes others of its hash is not added, and is then not found.
    void insert(const QByteArray &line, quint64 id);
    // The id of the line equal to `line`; false when there is none.
    bool find(const QByteArray &line, quint64 *id) const;

private:
    struct Entry {
        quint32 hash = 0;
        bool used = false;
        quint64 id = 0;
    };
    qsizetype slotOf(const QByteArray &line, quint32 hash) const;
    void grow();

    LineOf m_lineOf;
    HashOf m_hashOf;
    QVector<Entry> m_entries; // open addressing, a power of two in size, at most half full
    qsizetype m_used = 0;
};

#endif
