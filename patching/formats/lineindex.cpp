#include "patching/formats/lineindex.h"

#include "patching/base/limits.h"

#include <QHash>
#include <QRandomGenerator>

#include <utility>

namespace {
constexpr qsizetype firstSize = 64;
} // namespace

LineIndex::LineIndex(LineOf lineOf, HashOf hashOf)
    : m_lineOf(std::move(lineOf)), m_hashOf(std::move(hashOf)), m_entries(firstSize)
{
    if (!m_hashOf) {
        // A seed of its own: the lines are the installation's, and crafted ones should not all collide.
        const uint seed = QRandomGenerator::global()->generate();
        m_hashOf = [seed](const QByteArray &line) { return quint32(qHash(line, seed)); };
    }
}

qsizetype LineIndex::slotOf(const QByteArray &line, quint32 hash) const
{
    const qsizetype mask = m_entries.size() - 1;
    qsizetype at = qsizetype(hash) & mask;
    // Bounded, so that crafted lines of one hash, or of one slot, cost a constant each.
    for (int probe = 0; probe < Limits::maxLineProbes; ++probe, at = (at + 1) & mask) {
        const Entry &entry = m_entries.at(at);
        if (!entry.used || (entry.hash == hash && m_lineOf(entry.id) == line))
            return at;
    }
    return -1;
}

void LineIndex::grow()
{
    const QVector<Entry> old = std::exchange(m_entries, QVector<Entry>(m_entries.size() * 2));
    const qsizetype mask = m_entries.size() - 1;
    for (const Entry &entry : old) {
        if (!entry.used)
            continue;
        qsizetype at = qsizetype(entry.hash) & mask;
        int probe = 0;
        while (m_entries.at(at).used && ++probe < Limits::maxLineProbes)
            at = (at + 1) & mask;
        if (!m_entries.at(at).used)
            m_entries[at] = entry; // else dropped, as insert() drops a line past the bound
        else
            --m_used;
    }
}

void LineIndex::insert(const QByteArray &line, quint64 id)
{
    const quint32 hash = m_hashOf(line);
    const qsizetype at = slotOf(line, hash);
    if (at < 0 || m_entries.at(at).used)
        return;
    m_entries[at] = {hash, true, id};
    if (++m_used * 2 > m_entries.size())
        grow();
}

bool LineIndex::find(const QByteArray &line, quint64 *id) const
{
    const qsizetype at = slotOf(line, m_hashOf(line));
    if (at < 0 || !m_entries.at(at).used)
        return false;
    *id = m_entries.at(at).id;
    return true;
}
