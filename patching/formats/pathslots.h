#ifndef ZEL_PATHSLOTS_H
#define ZEL_PATHSLOTS_H


#include "patching/base/fileoutcome.h"
#include "patching/base/region.h"
#include <QByteArray>
#include <QStringList>
#include <QVector>

#include <functional>

// One kind of path slot: its 12-byte key, what follows the root in its value in Qt's own layout, and
// the install path qmake answers it as. A Qt generation gives its keys (patching/qt); the first is the prefix.
struct PathSlotKey {
    QByteArray key;       // e.g. "qt_prfxpath="
    QByteArray suffix;    // e.g. "/doc"; empty for the root itself
    QByteArray queryName; // e.g. "QT_INSTALL_DOCS"
};

// Bytes changed in place, and what they held before.
struct Change {
    qint64 offset = 0;
    QByteArray before;
};

// How the slots of one installation take a new root: its generation's keys and placement, and what
// the installation tells of its build.
enum class SlotPlacement {
    BelowOwnPrefix, // a value keeps its place relative to the file's own prefix, or takes Qt's default place
    BelowOldRoot,   // a value that is an old root or lies below one keeps the rest it has; any other stays
};

struct SlotRule {
    explicit SlotRule(QVector<PathSlotKey> keys, SlotPlacement placement = SlotPlacement::BelowOwnPrefix)
        : keys(std::move(keys)), placement(placement)
    {
    }

    QVector<PathSlotKey> keys;
    SlotPlacement placement = SlotPlacement::BelowOwnPrefix;
    QVector<QByteArray> oldRoots;     // BelowOldRoot: the roots a value may name
    QVector<QByteArray> keptPrefixes; // values that stay whatever root they name: a cross build's device prefix
    // The most bytes one record holds, in an ELF (or other) file and in a Windows one: no slot is
    // written past its record, whatever zeros follow. 0: the room ends where the zeros after its value do.
    qsizetype record = 0;
    qsizetype windowsRecord = 0;
    // The library reads its prefix with the length the value had when it was built: a new value is
    // padded with '/' to that length, and one longer cannot be written.
    bool fixedPrefixLength = false;
    // The library finds its place from its own file and never reads its slots: they stay as they are.
    bool unread = false;

    // The most bytes a slot's room may span in `data`.
    qsizetype roomLimit(const QByteArray &data) const;
};

struct SlotRewrite {
    int found = 0;              // slots seen
    QStringList tooSmall;       // keys of the slots left byte for byte as they were, for want of room
    QVector<Region> rooms;      // every slot's room, in file order: what any patch may have changed
    QVector<Change> changes;    // to undo the rewrite
    int kept = 0;          // slots left as they are, their value being one of the rule's kept prefixes
    int emptyValues = 0;   // slots whose value is empty: a relocatable Qt 6 QtCore's prefix
    QByteArray keptPrefix; // the last of those values
    // A fixed-length prefix the new value would not fit, with both lengths; nothing was changed then.
    qsizetype fixedLength = -1;
    qsizetype neededLength = -1;
};

// Gives every slot in `data` its value for `root` (8-bit, as the files hold it), in place, in one pass
// over the data for all keys; the data never grows. BelowOwnPrefix: a slot's value keeps its place
// relative to the file's own prefix (a plugin directory at <prefix>/lib/qt4/plugins becomes
// <root>/lib/qt4/plugins); one that does not lie below the prefix takes Qt's default place
// (<root>/plugins). BelowOldRoot: /old/lib/ becomes <root>/lib/, and /etc/xdg stays. A slot is written
// only when key, value and a zero byte fit in its room, the rest of which is then zeroed; a key whose
// value has no zero byte within its room's limit is no slot and counts as too small.
SlotRewrite rewriteSlots(QByteArray &data, const QByteArray &root, const SlotRule &rule);

// Whether `value` is one of the rule's kept prefixes, which stay whatever root they name.
bool isKeptPrefix(const SlotRule &rule, const QByteArray &value);

// Why every slot `rewrite` found stays as it is, when one reason holds for all: the library never
// reads them (a relocatable QtCore, or a Qt 5 or later prefix left empty), or they are all a cross
// build's device prefix. None otherwise.
Reason slotsStayReason(const SlotRule &rule, const SlotRewrite &rewrite);

// Puts the bytes `changes` replaced back, and then again the rewrite's bytes.
void undoChanges(QByteArray &data, QVector<Change> &changes);
void redoChanges(QByteArray &data, QVector<Change> &changes);

// Whether `data` holds any key of the path slots.
bool holdsPathSlot(const QByteArray &data, const QVector<PathSlotKey> &slotKeys);

// A slot as found in a file, for reports.
struct FoundSlot {
    qsizetype offset = 0;
    QByteArray key;
    QByteArray value; // up to the first zero byte, at most 4 KiB from the key and never into the next key
    qsizetype room = 0; // bytes from the key to the end of the zero run after the value, within its record's limit
};

// Calls `onSlot` for every slot of the known keys in `data`, in file order, holding none of them:
// a file packed with keys costs no memory beyond its own. A value that ends with its zero byte
// within 4 KiB is whole, keys inside it included (a root may hold a key); a value without one is
// cut at the next key.
// Rooms are bounded as `rule` bounds them.
void forEachPathSlot(const QByteArray &data, const SlotRule &rule, const std::function<void(const FoundSlot &)> &onSlot);

#endif
