#include "patching/pathslots.h"

#include <algorithm>

namespace {
// Bytes from the key at `at` to the end of the run of zeros after its value,
// never past the end of the data. Nothing beyond that run belongs to the slot.
qsizetype slotRoom(const QByteArray &data, qsizetype at, qsizetype keySize)
{
    qsizetype end = data.indexOf('\0', at + keySize);
    if (end < 0)
        return data.size() - at;
    while (end < data.size() && data.at(end) == '\0')
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

    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = data.indexOf(key, from);
        if (hit < 0)
            break;
        // A record longer than the slot would cut into whatever follows it.
        if (record.size() <= slotRoom(data, hit, key.size())) {
            std::copy(record.cbegin(), record.cend(), data.begin() + hit);
            ++result.rewritten;
        } else {
            ++result.tooSmall;
        }
        from = hit + 2;
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
        qsizetype from = 0;
        for (;;) {
            const qsizetype hit = data.indexOf(slotKey.key, from);
            if (hit < 0)
                break;
            const qsizetype valueStart = hit + slotKey.key.size();
            qsizetype zero = data.indexOf('\0', valueStart);
            if (zero < 0)
                zero = data.size();
            FoundSlot slot;
            slot.offset = hit;
            slot.key = slotKey.key;
            slot.value = data.mid(valueStart, zero - valueStart);
            slot.room = slotRoom(data, hit, slotKey.key.size());
            found.append(slot);
            from = hit + 2;
        }
    }
    std::sort(found.begin(), found.end(),
              [](const FoundSlot &a, const FoundSlot &b) { return a.offset < b.offset; });
    return found;
}
