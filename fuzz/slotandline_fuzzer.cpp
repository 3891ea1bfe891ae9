// libFuzzer target over the rewrite rules of the slots and of the text files.
// Input: one byte giving the root's length, the root, then the data.
// Each invariant is an assert(): scripts/fuzz.sh builds without NDEBUG, and the abort is a finding.
#include "patching/formats/pathslots.h"
#include "patching/qt/generation.h"
#include "patching/formats/rootrule.h"
#include "patching/formats/textrules.h"

#include <cassert>
#include <cstdint>

namespace {
bool isKey(const QByteArray &bytes)
{
    for (const PathSlotKey &slotKey : qt4Generation().slotKeys) {
        if (bytes.startsWith(slotKey.key))
            return true;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    if (size < 1)
        return 0;
    const size_t rootSize = qMin<size_t>(bytes[0] % 64, size - 1);
    const QByteArray root = QByteArray(reinterpret_cast<const char *>(bytes) + 1, int(rootSize)).replace('\0', '/');
    const QByteArray before(reinterpret_cast<const char *>(bytes) + 1 + rootSize, int(size - 1 - rootSize));

    // Slots: same length; a byte changes only in a slot given its whole record, the rest of its room
    // zeroed; undoing the changes gives the original back.
    QByteArray after = before;
    SlotRewrite result = rewriteSlots(after, root, SlotRule{qt4Generation().slotKeys});
    assert(after.size() == before.size());
    QByteArray covered(before.size(), '\0');
    for (const Change &change : result.changes) {
        const QByteArray slot = after.mid(change.offset, change.before.size());
        const qsizetype zero = slot.indexOf('\0');
        assert(isKey(slot) && zero >= 12 && slot.mid(12, zero - 12).startsWith(rootSpelling(root)));
        assert(slot.mid(zero) == QByteArray(slot.size() - zero, '\0'));
        covered.replace(change.offset, change.before.size(), QByteArray(change.before.size(), '\1'));
    }
    for (qsizetype i = 0; i < before.size(); ++i)
        assert(before.at(i) == after.at(i) || covered.at(i) == '\1');
    undoChanges(after, result.changes);
    assert(after == before);

    // Qt 5's rule: a change stays within its record; a value it writes starts with the root; a prefix
    // of fixed length keeps its length, or nothing changes; the device prefix never changes.
    SlotRule later(qt5Generation().slotKeys, SlotPlacement::BelowOldRoot);
    later.oldRoots = {"/old", "C:/Qt/5"};
    later.keptPrefixes = {"/old/device"};
    later.record = 268;
    later.windowsRecord = 524;
    later.fixedPrefixLength = (bytes[0] & 0x80) != 0;
    SlotRewrite laterResult = rewriteSlots(after, root, later);
    assert(after.size() == before.size());
    assert(laterResult.fixedLength < 0 || laterResult.changes.isEmpty());
    for (const Change &change : laterResult.changes) {
        assert(change.before.size() <= later.roomLimit(before));
        const QByteArray slot = after.mid(change.offset, change.before.size());
        const QByteArray value = slot.mid(12, slot.indexOf('\0') - 12);
        const QByteArray old = change.before.mid(12, change.before.indexOf('\0') - 12);
        assert(value.startsWith(rootSpelling(root)) && rootKey(old) != rootKey("/old/device"));
        if (later.fixedPrefixLength && slot.startsWith("qt_prfxpath="))
            assert(value.size() == old.size());
    }
    undoChanges(after, laterResult.changes);
    assert(after == before);

    // Lines: a line changes only when it assigns one of the four names once, and then names the root in a
    // line that reads back as written.
    static const QList<QByteArray> names = {"QMAKESPEC", "QMAKESPEC_ORIGINAL", "QT_BUILD_TREE", "QT_SOURCE_TREE"};
    const QByteArray cleanRoot = QByteArray(root).replace('\n', '/').replace('\r', '/');
    for (const QByteArray &line : before.split('\n')) {
        const QByteArray rewritten = rewriteConfigLine(line, cleanRoot);
        const QByteArray keyPart = line.left(line.indexOf('='));
        assert(rewritten == line
               || (line.count('=') == 1 && names.contains(keyPart.trimmed())
                   && rewritten.startsWith(keyPart + '=' + cleanRoot) && !rewritten.contains('\n') && !rewritten.endsWith('\r')));
    }
    // Patching again, to another root, is one patch of the original, and the tool knows its own output.
    TextRules rules;
    rules.configFile = true;
    rules.deep = true;
    rules.relocation = {{"/old/root", "C:/Old"}, "/first", [](const QByteArray &) { return true; }};
    const QByteArray first = applyTextRules(before, rules);
    assert(writtenByTool(before, first, rules, {}));
    TextRules again = rules;
    again.relocation.newRoot = cleanRoot.isEmpty() ? QByteArray("/second") : '/' + cleanRoot;
    const TextPatch second = patchText(before, first, again, {"/first"});
    assert(!second.editsKept && second.content == applyTextRules(before, again));
    return 0;
}
