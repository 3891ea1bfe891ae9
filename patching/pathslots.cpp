#include "patching/pathslots.h"

// Placeholder until the slot rules land.
const QVector<PathSlotKey> &pathSlotKeys()
{
    static const QVector<PathSlotKey> keys;
    return keys;
}

SlotRewrite rewriteSlot(QByteArray &, const QByteArray &, const QByteArray &) { return {}; }

QVector<FoundSlot> findPathSlots(const QByteArray &) { return {}; }
