#ifndef ZEL_PATHSLOTS_H
#define ZEL_PATHSLOTS_H

#include <QByteArray>
#include <QPair>
#include <QVector>

#include <functional>

// One kind of path slot: its 12-byte key and what follows the root in its new value.
struct PathSlotKey {
    QByteArray key;    // e.g. "qt_prfxpath="
    QByteArray suffix; // e.g. "/doc"; empty for the root itself
};

// The keys in the order the binary worker rewrites them: the ten of every
// Qt 4 build, then "qt_impspath=" which Qt 4.7 and 4.8 builds add.
const QVector<PathSlotKey> &pathSlotKeys();

struct SlotRewrite {
    int rewritten = 0; // slots that received the record
    int tooSmall = 0;  // slots left byte for byte as they were, for want of room
};

// Gives every slot of each key in `data` its value, in place, in one pass in file order;
// the data never grows. A slot is written only when key, value and a zero byte fit in its
// room; a key whose value has no zero byte within 4 KiB of it is no slot and counts as too
// small. The keys share their first bytes. The search goes on after each written record,
// so a record is never written over. One count per key, in the order given.
QVector<SlotRewrite> rewriteSlots(QByteArray &data, const QVector<QPair<QByteArray, QByteArray>> &keyValues);

// Whether `data` holds any key of the path slots.
bool holdsPathSlot(const QByteArray &data);

// A slot as found in a file, for reports.
struct FoundSlot {
    qsizetype offset = 0;
    QByteArray key;
    QByteArray value; // up to the first zero byte, at most 4 KiB from the key and never into the next key
    qsizetype room = 0; // bytes from the key to the end of the zero run after the value, at most 4 KiB
};

// Calls `onSlot` for every slot of the known keys in `data`, in file order, holding none of them:
// a file packed with keys costs no memory beyond its own. A value that ends with its zero byte
// within 4 KiB is whole, keys inside it included (a root may hold a key); a value without one is
// cut at the next key.
void forEachPathSlot(const QByteArray &data, const std::function<void(const FoundSlot &)> &onSlot);

// The value a patch to `root` gives the slots keyed `key`; empty for an unknown key.
QByteArray slotValueFor(const QByteArray &key, const QByteArray &root);

// Whether a slot names `root`: exactly the value a patch writes, so that a sibling such as
// <root>-4.8.7 is not the root.
bool slotNamesRoot(const QByteArray &key, const QByteArray &value, const QByteArray &root);

#endif
