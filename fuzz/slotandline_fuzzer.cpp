// libFuzzer target over the two rewrite rules: the slot rewrite of every key and the configuration line rule.
// Input: one byte giving the root's length, the root, then the data.
// Each invariant is an assert(): scripts/fuzz.sh builds without NDEBUG, and the abort is a finding.
#include "patching/pathslots.h"
#include "patching/textpatcher.h"

#include <cassert>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    if (size < 1)
        return 0;
    const size_t rootSize = qMin<size_t>(bytes[0] % 64, size - 1);
    const QByteArray root = QByteArray(reinterpret_cast<const char *>(bytes) + 1, int(rootSize)).replace('\0', '/');
    const QByteArray before(reinterpret_cast<const char *>(bytes) + 1 + rootSize, int(size - 1 - rootSize));
    // Every key and its value, as the binary worker gives them.
    QVector<QPair<QByteArray, QByteArray>> values;
    for (const PathSlotKey &slotKey : pathSlotKeys())
        values.append(qMakePair(slotKey.key, root + slotKey.suffix));
    QByteArray after = before;
    const QVector<SlotRewrite> results = rewriteSlots(after, values);
    assert(after.size() == before.size()); // same length
    // Every written record is whole and zero-terminated where its key stood; nothing else changed.
    QByteArray covered(before.size(), '\0');
    for (int k = 0; k < values.size(); ++k) {
        const QByteArray &key = values.at(k).first;
        const QByteArray record = key + values.at(k).second + '\0';
        int whole = 0;
        for (int at = before.indexOf(key); at >= 0; at = before.indexOf(key, at + 1)) {
            if (after.mid(at, record.size()) == record && ++whole)
                covered.replace(at, record.size(), QByteArray(record.size(), '\1'));
        }
        assert(whole >= results.at(k).rewritten);
    }
    for (int i = 0; i < before.size(); ++i)
        assert(before.at(i) == after.at(i) || covered.at(i) == '\1');
    // A line changes only when it assigns one of the four names once, and then names the root.
    static const QList<QByteArray> names = {"QMAKESPEC", "QMAKESPEC_ORIGINAL", "QT_BUILD_TREE", "QT_SOURCE_TREE"};
    const QByteArray cleanRoot = QByteArray(root).replace('\n', '/');
    for (const QByteArray &line : before.split('\n')) {
        const QByteArray rewritten = rewriteConfigLine(line, cleanRoot);
        const QByteArray keyPart = line.left(line.indexOf('='));
        assert(rewritten == line
              || (line.count('=') == 1 && names.contains(keyPart.trimmed())
                  && rewritten.startsWith(keyPart + '=' + cleanRoot) && !rewritten.contains('\n')));
    }
    return 0;
}
