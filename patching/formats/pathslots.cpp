#include "patching/formats/pathslots.h"

#include "patching/base/limits.h"

#include "patching/formats/rootrule.h"

#include <algorithm>
#include <cstring>

namespace {
// No real slot holds more than a few hundred bytes. A key whose value finds no zero byte
// within this span is not a slot to rewrite, and no search goes further from a key.
constexpr qsizetype maxSlotSpan = Limits::maxSlotSpan;

// Where `key` next occurs in `data` from `from`, or -1. memchr finds the key's first byte at
// memory speed, which a general substring search does not reach on a library of many megabytes.
qsizetype findKey(const QByteArray &data, const QByteArray &key, qsizetype from)
{
    const char *const begin = data.constData();
    const char *const last = begin + data.size() - key.size(); // the last place a key fits
    for (const char *at = begin + from; at <= last; ++at) {
        at = static_cast<const char *>(std::memchr(at, key.at(0), size_t(last - at + 1)));
        if (!at)
            break;
        if (std::memcmp(at, key.constData(), size_t(key.size())) == 0)
            return at - begin;
    }
    return -1;
}

// Calls `onHit(offset, index)` for each place, in file order, where one of `keys` begins; the
// search goes on from the offset it returns. One pass for all keys: they share their first
// bytes ("qt_"), which are searched for; keys that share none are never found.
template <typename OnHit>
void scanKeys(const QByteArray &data, const QVector<QByteArray> &keys, OnHit onHit)
{
    QByteArray prefix = keys.value(0);
    for (const QByteArray &key : keys) {
        while (!key.startsWith(prefix))
            prefix.chop(1);
    }
    if (prefix.isEmpty())
        return;
    for (qsizetype hit = findKey(data, prefix, 0); hit >= 0;) {
        int k = 0;
        while (k < keys.size() && !(data.size() - hit >= keys.at(k).size()
                                    && std::memcmp(data.constData() + hit, keys.at(k).constData(), size_t(keys.at(k).size())) == 0))
            ++k;
        hit = findKey(data, prefix, k < keys.size() ? onHit(hit, k) : hit + 1);
    }
}

// The keys alone, in the order of `slotKeys`.
QVector<QByteArray> keysOf(const QVector<PathSlotKey> &slotKeys)
{
    QVector<QByteArray> list;
    for (const PathSlotKey &slotKey : slotKeys)
        list.append(slotKey.key);
    return list;
}

// Where the value starting at `valueStart` ends: its zero byte, or the end of the data.
// `zero` keeps the last one found while it still lies ahead, so that a run of keys
// without zeros is searched through once, not once per key.
qsizetype valueEnd(const QByteArray &data, qsizetype valueStart, qsizetype *zero)
{
    if (*zero < valueStart) {
        *zero = data.indexOf('\0', valueStart);
        if (*zero < 0)
            *zero = data.size();
    }
    return *zero;
}

// Bytes from the key at `at` to the end of the run of zeros after its value, never past
// the end of the data nor `limit`; 0 when the value itself runs beyond that span.
qsizetype slotRoom(const QByteArray &data, qsizetype at, qsizetype keySize, qsizetype *zero, qsizetype limit)
{
    qsizetype end = valueEnd(data, at + keySize, zero);
    if (end - at > limit)
        return 0;
    while (end < data.size() && end - at < limit && data.at(end) == '\0')
        ++end;
    return end - at;
}
} // namespace


namespace {
// The value a slot keyed `k` whose original value is `original` gets, in a file whose prefix is `prefix`.
QByteArray newSlotValue(const SlotRule &rule, int k, const QByteArray &original, const QByteArray &prefix,
                        const QByteArray &root)
{
    if (rule.placement == SlotPlacement::BelowOldRoot) {
        const RootMatch match = longestOldRoot(original, rule.oldRoots, root);
        if (match.index < 0)
            return original;
        // The rest as it was ("/lib", a trailing "/"); the root "/" with no rest is itself.
        const QByteArray value = rootSpelling(root) + original.mid(match.length);
        return value.isEmpty() ? root : value;
    }
    if (k == 0)
        return root;
    const RootMatch below = longestOldRoot(original, {prefix}, QByteArray());
    if (prefix.isEmpty() || below.index < 0)
        return root + rule.keys.at(k).suffix;
    return below.place.isEmpty() ? root : rootSpelling(root) + '/' + below.place;
}

// Names the slot key `k` once among those left as they were for want of room.
void noteTooSmall(SlotRewrite &result, const QByteArray &slotKey)
{
    const QString key = QString::fromLatin1(slotKey);
    if (!result.tooSmall.contains(key))
        result.tooSmall.append(key);
}

// Writes the slots of one file in file order. A slot's new value depends on the file's own prefix,
// which the prefix slot gives; slots found before it wait for it, a bounded number of them.
class SlotWriter
{
public:
    SlotWriter(QByteArray &data, const QByteArray &root, const SlotRule &rule, SlotRewrite &result)
        : m_data(data), m_root(root), m_rule(rule), m_result(result)
    {
    }

    // The slot of key `k` at `at`, its value ending at `valueEnd`, in `room` bytes.
    void take(qsizetype at, qsizetype valueEnd, qsizetype room, int k)
    {
        const Hit hit{at, valueEnd, room, k};
        const qsizetype keySize = m_rule.keys.at(k).key.size();
        if (!m_prefixKnown && k == 0)
            learnPrefix(m_data.mid(at + keySize, valueEnd - at - keySize));
        if (m_prefixKnown) {
            write(hit);
        } else if (m_waiting.size() < Limits::maxWaitingSlots) {
            m_waiting.append(hit);
        } else {
            learnPrefix(QByteArray());
            write(hit);
        }
    }

    // Writes the slots still waiting, as for a file without a prefix slot when none was found.
    void finish() { learnPrefix(m_prefix); }

private:
    struct Hit {
        qsizetype at, valueEnd, room;
        int k;
    };

    void learnPrefix(const QByteArray &value)
    {
        m_prefix = value;
        m_prefixKnown = true;
        for (const Hit &hit : qAsConst(m_waiting))
            write(hit);
        m_waiting.clear();
    }

    void write(const Hit &hit)
    {
        const QByteArray &key = m_rule.keys.at(hit.k).key;
        const QByteArray original = m_data.mid(hit.at + key.size(), hit.valueEnd - hit.at - key.size());
        if (isKeptPrefix(m_rule, original)) {
            ++m_result.kept;
            m_result.keptPrefix = original;
            return;
        }
        QByteArray value = newSlotValue(m_rule, hit.k, original, m_prefix, m_root);
        if (m_rule.fixedPrefixLength && hit.k == 0 && value != original) {
            // The library reads as many bytes as the value had: a shorter one is padded so that the
            // path stays the same, a longer one cannot be given. The padding of an earlier patch
            // is no part of the path.
            while (value.size() > 1 && value.endsWith('/'))
                value.chop(1);
            if (value.size() > original.size()) {
                if (m_result.fixedLength < 0) {
                    m_result.fixedLength = original.size();
                    m_result.neededLength = value.size();
                }
                return;
            }
            value = value.leftJustified(original.size(), '/');
        }
        const QByteArray record = key + value + '\0';
        // A record longer than the slot would cut into whatever follows it.
        if (record.size() > hit.room) {
            noteTooSmall(m_result, key);
            return;
        }
        // Nothing reads past the zero byte, but a later move to a longer root needs the room back.
        const QByteArray slot = record.leftJustified(hit.room, '\0');
        if (std::memcmp(m_data.constData() + hit.at, slot.constData(), size_t(slot.size())) == 0)
            return;
        m_result.changes.append({hit.at, m_data.mid(hit.at, hit.room)});
        std::memcpy(m_data.data() + hit.at, slot.constData(), size_t(slot.size()));
    }

    QByteArray &m_data;
    const QByteArray &m_root;
    const SlotRule &m_rule;
    SlotRewrite &m_result;
    QVector<Hit> m_waiting;
    QByteArray m_prefix;
    bool m_prefixKnown = false;
};
} // namespace

qsizetype SlotRule::roomLimit(const QByteArray &data) const
{
    const qsizetype limit = data.startsWith("MZ") && windowsRecord > 0 ? windowsRecord : record;
    return limit > 0 ? qMin(limit, maxSlotSpan) : maxSlotSpan;
}

SlotRewrite rewriteSlots(QByteArray &data, const QByteArray &root, const SlotRule &rule)
{
    const QVector<QByteArray> keys = keysOf(rule.keys);
    const qsizetype limit = rule.roomLimit(data);
    SlotRewrite result;
    SlotWriter writer(data, root, rule, result);
    qsizetype zero = -1;
    scanKeys(data, keys, [&](qsizetype at, int k) {
        const qsizetype keySize = keys.at(k).size();
        const qsizetype room = slotRoom(data, at, keySize, &zero, limit);
        const qsizetype end = valueEnd(data, at + keySize, &zero);
        ++result.found;
        result.emptyValues += end == at + keySize ? 1 : 0;
        if (room == 0) { // no zero byte within reach: no slot to write
            noteTooSmall(result, keys.at(k));
            return at + keySize;
        }
        result.rooms.append({at, room});
        if (!rule.unread)
            writer.take(at, end, room, k);
        // The search goes on after the slot's room, which a record written meanwhile may fill: a root
        // holding a key is not two slots.
        return qMax(end, at + room);
    });
    writer.finish();
    // A prefix that cannot be given leaves the whole file as it was.
    if (result.fixedLength >= 0) {
        undoChanges(data, result.changes);
        result.changes.clear();
    }
    // In the keys' own order, whatever the order of the file.
    std::sort(result.tooSmall.begin(), result.tooSmall.end(), [&keys](const QString &a, const QString &b) {
        return keys.indexOf(a.toLatin1()) < keys.indexOf(b.toLatin1());
    });
    return result;
}

bool isKeptPrefix(const SlotRule &rule, const QByteArray &value)
{
    return std::any_of(rule.keptPrefixes.cbegin(), rule.keptPrefixes.cend(),
                       [&value](const QByteArray &prefix) { return rootKey(prefix) == rootKey(value); });
}

Reason slotsStayReason(const SlotRule &rule, const SlotRewrite &rewrite)
{
    if (rewrite.found == 0)
        return Reason();
    if (rule.unread || (rule.placement == SlotPlacement::BelowOldRoot && rewrite.emptyValues == rewrite.found))
        return Reason(ReasonCode::SlotsUnread);
    if (rewrite.kept == rewrite.found)
        return Reason(ReasonCode::DevicePrefixKept, {QString::fromLocal8Bit(rewrite.keptPrefix)});
    return Reason();
}

namespace {
void swapChange(QByteArray &data, Change &change)
{
    QByteArray now = data.mid(change.offset, change.before.size());
    std::memcpy(data.data() + change.offset, change.before.constData(), size_t(change.before.size()));
    change.before.swap(now);
}
} // namespace

void undoChanges(QByteArray &data, QVector<Change> &changes)
{
    // The last change first: a change made over an earlier one holds that one's bytes, not the original's.
    for (auto change = changes.rbegin(); change != changes.rend(); ++change)
        swapChange(data, *change);
}

void redoChanges(QByteArray &data, QVector<Change> &changes)
{
    for (Change &change : changes)
        swapChange(data, change);
}

bool holdsPathSlot(const QByteArray &data, const QVector<PathSlotKey> &slotKeys)
{
    bool holds = false;
    scanKeys(data, keysOf(slotKeys), [&](qsizetype, int) {
        holds = true;
        return data.size();
    });
    return holds;
}

void forEachPathSlot(const QByteArray &data, const SlotRule &rule, const std::function<void(const FoundSlot &)> &onSlot)
{
    const QVector<QByteArray> keys = keysOf(rule.keys);
    const qsizetype limit = rule.roomLimit(data);
    // A slot is told once the next key is found, since a value without its zero stops there.
    FoundSlot pending;
    qsizetype pendingEnd = -1;
    const auto tell = [&](qsizetype nextKey) {
        if (pendingEnd < 0)
            return;
        const qsizetype start = pending.offset + pending.key.size();
        pending.value = data.mid(start, qMax(qMin(pendingEnd, nextKey) - start, qsizetype(0)));
        onSlot(pending);
        pendingEnd = -1;
    };
    qsizetype zero = -1;
    scanKeys(data, keys, [&](qsizetype hit, int k) {
        tell(hit);
        pending.offset = hit;
        pending.key = keys.at(k);
        const qsizetype keySize = pending.key.size();
        pending.room = slotRoom(data, hit, keySize, &zero, limit);
        const qsizetype end = valueEnd(data, hit + keySize, &zero);
        const bool whole = end - hit <= maxSlotSpan;
        pendingEnd = whole ? end : hit + maxSlotSpan;
        // The search goes on after a whole value: a root holding a key is not two slots.
        return whole ? end : hit + keySize;
    });
    tell(data.size());
}

