#include "patching/pathslots.h"

#include "qt4fixture.h"

#include <QtTest>

using Qt4Fixture::SlotLayout;

Q_DECLARE_METATYPE(Qt4Fixture::SlotLayout)

// The slot rules on bytes in memory: what a record may overwrite, what it must not,
// and where the slots of a real build are found.
class TestPathSlots : public QObject
{
    Q_OBJECT

private slots:
    void rewriteOneKey_data();
    void rewriteOneKey();
    void findsEverySlotOfARealBuild_data();
    void findsEverySlotOfARealBuild();
};

namespace {
const QByteArray key = "qt_prfxpath=";

QByteArray withZero(QByteArray bytes)
{
    bytes.append('\0');
    return bytes;
}
} // namespace

void TestPathSlots::rewriteOneKey_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("rewritten");
    QTest::addColumn<int>("tooSmall");

    const QByteArray before = Qt4Fixture::filler(100, 7);
    const QByteArray after = Qt4Fixture::filler(100, 8);
    const QByteArray array = Qt4Fixture::slotArray(key, "/home/builder/qt-4.8.7", 64);
    const QByteArray data = before + array + after;
    const QByteArray exact(64 - 13, 'x');

    QTest::newRow("the tail of a longer old value stays behind the new zero")
        << data << QByteArray("/q") << before + withZero(key + "/q") + array.mid(15) + after << 1 << 0;
    const QByteArray mid = Qt4Fixture::filler(3000, 9);
    const QByteArray slot = withZero(key + "/opt/qt") + array.mid(20);
    QTest::newRow("a key that occurs twice is rewritten at both places")
        << before + array + mid + array + after << QByteArray("/opt/qt")
        << before + slot + mid + slot + after << 2 << 0;
    QTest::newRow("a record that fills the room exactly is written")
        << data << exact << before + withZero(key + exact) + after << 1 << 0;
    QTest::newRow("a record one byte longer than the room leaves the slot as it was")
        << data << exact + 'x' << data << 0 << 1;
    const QByteArray value(64 + 16 - 13, 'p');
    QTest::newRow("zero padding after the array counts as room")
        << before + array + QByteArray(16, '\0') + after << value << before + withZero(key + value) + after << 1 << 0;
    const QByteArray tight = withZero(key + "/home/builder/qt-4.8.7");
    QTest::newRow("a slot without zeros after its terminator refuses a longer value")
        << before + tight + after << QByteArray("/home/builder/qt-4.8.7x") << before + tight + after << 0 << 1;
    const QByteArray cut = key + "/home/builder";
    QTest::newRow("a slot cut by the end of the data stays as it was")
        << before + cut << QByteArray("/home/other/qt") << before + cut << 0 << 1;
    QTest::newRow("a slot at the end of the data takes a record that ends at the last byte")
        << before + cut << QByteArray("/opt/qt4/abc") << before + withZero(key + "/opt/qt4/abc") << 1 << 0;
    const QByteArray zeros = withZero(key + "/a") + QByteArray(20, '\0');
    QTest::newRow("a record one byte past the end of the data is not written")
        << before + zeros << QByteArray(23, 'z') << before + zeros << 0 << 1;
    const QByteArray roomy = Qt4Fixture::slotArray(key, "/a", 64);
    const QByteArray shortSlot = withZero(key + "/a") + "NEXT";
    QTest::newRow("a short slot is reported while the other occurrence is rewritten")
        << before + shortSlot + roomy + after << QByteArray("/opt/qt")
        << before + shortSlot + withZero(key + "/opt/qt") + roomy.mid(20) + after << 1 << 1;
    QTest::newRow("a key cut off by the end of the data is no slot")
        << before + key.left(11) << QByteArray("/opt/qt") << before + key.left(11) << 0 << 0;
}

void TestPathSlots::rewriteOneKey()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QFETCH(int, rewritten);
    QFETCH(int, tooSmall);

    const SlotRewrite result = rewriteSlot(data, key, value);
    QCOMPARE(data, expected);
    QCOMPARE(result.rewritten, rewritten);
    QCOMPARE(result.tooSmall, tooSmall);
}

void TestPathSlots::findsEverySlotOfARealBuild_data()
{
    QTest::addColumn<QByteArray>("oldRoot");
    QTest::addColumn<SlotLayout>("layout");

    QTest::newRow("Linux build, table order, stride 528, zero padding") << QByteArray("/home/builder/qt-4.8.7")
                                                                        << SlotLayout();
    SlotLayout reversed;
    reversed.reversed = true;
    reversed.stride = 544;
    reversed.paddingByte = '\xcc';
    QTest::newRow("reversed order, stride 544, non-zero padding") << QByteArray("/q") << reversed;
    SlotLayout windows;
    windows.windowsStyle = true;
    windows.trailingSeparator = true;
    windows.reversed = true;
    QTest::newRow("reversed Windows build with backslashes and a trailing separator")
        << QByteArray("C:/Qt/4.8.1/msvc2010") << windows;
    SlotLayout qt46;
    qt46.withImportsSlot = false;
    qt46.tableCopies = 2;
    QTest::newRow("a build older than 4.7, without an imports slot, its table twice")
        << QByteArray("C:/Qt/4.6.3") << qt46;
}

void TestPathSlots::findsEverySlotOfARealBuild()
{
    QFETCH(QByteArray, oldRoot);
    QFETCH(SlotLayout, layout);

    const QByteArray data = Qt4Fixture::binaryWithSlots(oldRoot, layout);
    QList<Qt4Fixture::FoundSlot> expected = Qt4Fixture::slotList(data);
    QList<qsizetype> arrayStarts;
    for (const Qt4Fixture::FoundSlot &slot : expected)
        arrayStarts << slot.offset;
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const Qt4Fixture::FoundSlot &s) { return s.key == Qt4Fixture::settingsKey(); }),
                   expected.end());

    // Slots are listed in file order; zero padding joins the room of the array that follows.
    const QVector<FoundSlot> found = findPathSlots(data);
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < found.size(); ++i) {
        QCOMPARE(found.at(i).offset, expected.at(i).offset);
        QCOMPARE(found.at(i).key, expected.at(i).key);
        QCOMPARE(found.at(i).value, expected.at(i).value);
        const bool joined = layout.paddingByte == '\0' && arrayStarts.contains(found.at(i).offset + layout.stride);
        QCOMPARE(int(found.at(i).room), joined ? layout.stride : layout.arraySize);
    }
}

QTEST_GUILESS_MAIN(TestPathSlots)
#include "tst_pathslots.moc"
