#include "patching/pathslots.h"

#include <algorithm>

namespace {
// No real slot holds more than a few hundred bytes. A key whose value finds no zero byte
// within this span is not a slot to rewrite, and no search goes further from a key.
constexpr qsizetype maxSlotSpan = 4096;

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
// the end of the data nor maxSlotSpan; 0 when the value itself runs beyond that span.
qsizetype slotRoom(const QByteArray &data, qsizetype at, qsizetype keySize, qsizetype *zero)
{
    qsizetype end = valueEnd(data, at + keySize, zero);
    if (end - at > maxSlotSpan)
        return 0;
    while (end < data.size() && end - at < maxSlotSpan && data.at(end) == '\0')
        ++end;
    return end - at;
}
} // namespace

const QVector<PathSlotKey> &pathSlotKeys()
{
    static const QVector<PathSlotKey> keys = {
        {QByteArrayLiteral("qt_prfxpath="), QByteArray()},
        {QByteArrayLiteral("qt_docspath="), QByteArrayLiteral("/doc")},
        {QByteArrayLiteral("qt_hdrspath="), QByteArrayLiteral("/include")},
        {QByteArrayLiteral("qt_libspath="), QByteArrayLiteral("/lib")},
        {QByteArrayLiteral("qt_binspath="), QByteArrayLiteral("/bin")},
        {QByteArrayLiteral("qt_plugpath="), QByteArrayLiteral("/plugins")},
        {QByteArrayLiteral("qt_datapath="), QByteArray()},
        {QByteArrayLiteral("qt_trnspath="), QByteArrayLiteral("/translations")},
        {QByteArrayLiteral("qt_xmplpath="), QByteArrayLiteral("/examples")},
        {QByteArrayLiteral("qt_demopath="), QByteArrayLiteral("/demos")},
        {QByteArrayLiteral("qt_impspath="), QByteArrayLiteral("/imports")},
    };
    return keys;
}

SlotRewrite rewriteSlot(QByteArray &data, const QByteArray &key, const QByteArray &value)
{
    SlotRewrite result;
    if (key.isEmpty())
        return result;
    QByteArray record = key + value;
    record.append('\0');

    qsizetype zero = -1;
    for (qsizetype hit = data.indexOf(key); hit >= 0; hit = data.indexOf(key, hit + key.size())) {
        // A record longer than the slot would cut into whatever follows it.
        if (record.size() > slotRoom(data, hit, key.size(), &zero)) {
            ++result.tooSmall;
            continue;
        }
        std::copy(record.cbegin(), record.cend(), data.begin() + hit);
        ++result.rewritten;
        // The search goes on after the record: a root may itself hold the key.
        hit += record.size() - key.size();
    }
    return result;
}

bool holdsPathSlot(const QByteArray &data)
{
    for (const PathSlotKey &slotKey : pathSlotKeys()) {
        if (data.contains(slotKey.key))
            return true;
    }
    return false;
}

QVector<FoundSlot> findPathSlots(const QByteArray &data)
{
    QVector<FoundSlot> found;
    for (const PathSlotKey &slotKey : pathSlotKeys()) {
        qsizetype zero = -1;
        const qsizetype keySize = slotKey.key.size();
        for (qsizetype hit = data.indexOf(slotKey.key); hit >= 0; hit = data.indexOf(slotKey.key, hit + keySize)) {
            FoundSlot slot;
            slot.offset = hit;
            slot.key = slotKey.key;
            slot.room = slotRoom(data, hit, keySize, &zero);
            // A value with no zero within the span is reported cut there.
            const qsizetype end = qMin(valueEnd(data, hit + keySize, &zero), hit + maxSlotSpan);
            slot.value = data.mid(hit + keySize, end - hit - keySize);
            found.append(slot);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const FoundSlot &a, const FoundSlot &b) { return a.offset < b.offset; });
    return found;
}
