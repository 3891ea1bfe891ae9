#include "patching/formats/lineindex.h"

#include <QHash>
#include <QRandomGenerator>

#include <utility>

namespace {
constexpr qsizetype firstSize = 64;
} // namespace

LineIndex::LineIndex(LineOf lineOf)
    // A seed of its own: the lines are the installation's, and crafted ones must not all collide.
    : m_lineOf(std::move(lineOf)), m_seed(QRandomGenerator::global()->generate()), m_entries(firstSize)
{
}

qsizetype LineIndex::slotOf(const QByteArray &line, quint32 hash) const
{
    const qsizetype mask = m_entries.size() - 1;
    for (qsizetype at = qsizetype(hash) & mask;; at = (at + 1) & mask) {
        const Entry &entry = m_entries.at(at);
        if (!entry.used || (entry.hash == hash && m_lineOf(entry.id) == line))
            return at;
    }
}

void LineIndex::grow()
{
    const QVector<Entry> old = std::exchange(m_entries, QVector<Entry>(m_entries.size() * 2));
    const qsizetype mask = m_entries.size() - 1;
    for (const Entry &entry : old) {
        if (!entry.used)
            continue;
        qsizetype at = qsizetype(entry.hash) & mask;
        while (m_entries.at(at).used)
            at = (at + 1) & mask;
        m_entries[at] = entry;
    }
}

void LineIndex::insert(const QByteArray &line, quint64 id)
{
    const quint32 hash = quint32(qHash(line, m_seed));
    const qsizetype at = slotOf(line, hash);
    if (m_entries.at(at).used)
        return;
    m_entries[at] = {hash, true, id};
    if (++m_used * 2 > m_entries.size())
        grow();
}

bool LineIndex::find(const QByteArray &line, quint64 *id) const
{
    const Entry &entry = m_entries.at(slotOf(line, quint32(qHash(line, m_seed))));
    if (entry.used)
        *id = entry.id;
    return entry.used;
}
