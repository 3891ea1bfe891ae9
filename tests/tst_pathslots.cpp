#include "patching/pathslots.h"

#include "qt4fixture.h"

#include <QtTest>

using Qt4Fixture::SlotLayout;

Q_DECLARE_METATYPE(Qt4Fixture::SlotLayout)

// The slot rules on bytes in memory: what a record may overwrite, and what it must not.
class TestPathSlots : public QObject
{
    Q_OBJECT

private slots:
    void keysAreTheElevenInRewriteOrder();
    void rewriteOneKey_data();
    void rewriteOneKey();
    void rewritesEveryLayoutOfARealBuild_data();
    void rewritesEveryLayoutOfARealBuild();
    void findsSlotsInFileOrderWithTheirRoom_data();
    void findsSlotsInFileOrderWithTheirRoom();
    void findsNothingInDataWithoutKeys();
};

namespace {
const QByteArray key = "qt_prfxpath=";

QByteArray withZero(const QByteArray &bytes)
{
    QByteArray out = bytes;
    out.append('\0');
    return out;
}
} // namespace

void TestPathSlots::keysAreTheElevenInRewriteOrder()
{
    const QVector<PathSlotKey> &keys = pathSlotKeys();
    const QList<Qt4Fixture::KeySuffix> &expected = Qt4Fixture::patchedKeys();
    QCOMPARE(keys.size(), expected.size());
    for (int i = 0; i < keys.size(); ++i) {
        QCOMPARE(keys.at(i).key, expected.at(i).key);
        QCOMPARE(keys.at(i).suffix, expected.at(i).suffix);
        QCOMPARE(keys.at(i).key.size(), 12);
    }
}

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

    QTest::newRow("a slot with room gets key, value and zero; the rest of the array stays")
        << before + array + after << QByteArray("/opt/qt")
        << before + withZero(key + "/opt/qt") + array.mid(20) + after << 1 << 0;
    QTest::newRow("the tail of a longer old value stays behind the new zero")
        << before + array + after << QByteArray("/q")
        << before + withZero(key + "/q") + array.mid(15) + after << 1 << 0;
    {
        const QByteArray mid = Qt4Fixture::filler(3000, 9);
        const QByteArray data = before + array + mid + array + after;
        const QByteArray slot = withZero(key + "/opt/qt") + array.mid(20);
        QTest::newRow("a key that occurs twice is rewritten at both places")
            << data << QByteArray("/opt/qt") << before + slot + mid + slot + after << 2 << 0;
    }
    {
        const QByteArray exact(64 - 13, 'x');
        QTest::newRow("a record that fills the room exactly is written")
            << before + array + after << exact << before + withZero(key + exact) + after << 1 << 0;
        QTest::newRow("a record one byte longer than the room leaves the slot as it was")
            << before + array + after << exact + 'x' << before + array + after << 0 << 1;
    }
    {
        // The zero run after the value is the room, even past the array into zero padding.
        const QByteArray padded = array + QByteArray(16, '\0');
        const QByteArray value(64 + 16 - 13, 'p');
        QTest::newRow("zero padding after the array counts as room")
            << before + padded + after << value << before + withZero(key + value) + after << 1 << 0;
    }
    {
        const QByteArray tight = withZero(key + "/home/builder/qt-4.8.7");
        QTest::newRow("a slot without zeros after its terminator takes only a value no longer than the old one")
            << before + tight + after << QByteArray("/home/builder/qt-4.8.X")
            << before + withZero(key + "/home/builder/qt-4.8.X") + after << 1 << 0;
        QTest::newRow("a slot without zeros after its terminator refuses a longer value")
            << before + tight + after << QByteArray("/home/builder/qt-4.8.7x") << before + tight + after << 0 << 1;
    }
    {
        const QByteArray cut = key + "/home/builder";
        QTest::newRow("a slot cut by the end of the data stays as it was")
            << before + cut << QByteArray("/home/other/qt") << before + cut << 0 << 1;
        QTest::newRow("a slot at the end of the data takes a record that ends at the last byte")
            << before + cut << QByteArray("/opt/qt4/abc") << before + withZero(key + "/opt/qt4/abc") << 1 << 0;
        const QByteArray zeros = withZero(key + "/a") + QByteArray(20, '\0');
        QTest::newRow("zeros up to the end of the data are room, and the data never grows")
            << before + zeros << QByteArray(22, 'z') << before + withZero(key + QByteArray(22, 'z')) << 1 << 0;
        QTest::newRow("a record one byte past the end of the data is not written")
            << before + zeros << QByteArray(23, 'z') << before + zeros << 0 << 1;
    }
    QTest::newRow("a key cut off by the end of the data is no slot")
        << before + key.left(11) << QByteArray("/opt/qt") << before + key.left(11) << 0 << 0;
    QTest::newRow("data without the key is left as it was")
        << before + Qt4Fixture::slotArray("qt_docspath=", "/x/doc", 64) + after << QByteArray("/opt/qt")
        << before + Qt4Fixture::slotArray("qt_docspath=", "/x/doc", 64) + after << 0 << 0;
    {
        const QByteArray roomy = Qt4Fixture::slotArray(key, "/a", 64);
        const QByteArray tight = withZero(key + "/a") + "NEXT";
        QTest::newRow("a short slot is reported while the other occurrence is rewritten")
            << before + tight + roomy + after << QByteArray("/opt/qt")
            << before + tight + withZero(key + "/opt/qt") + roomy.mid(20) + after << 1 << 1;
    }
    QTest::newRow("an empty value gives the key and a zero")
        << before + array + after << QByteArray() << before + withZero(key) + array.mid(13) + after << 1 << 0;
    QTest::newRow("empty data stays empty") << QByteArray() << QByteArray("/opt/qt") << QByteArray() << 0 << 0;
}

void TestPathSlots::rewriteOneKey()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QFETCH(int, rewritten);
    QFETCH(int, tooSmall);

    const qsizetype size = data.size();
    const SlotRewrite result = rewriteSlot(data, key, value);
    QCOMPARE(data.size(), size);
    QCOMPARE(data, expected);
    QCOMPARE(result.rewritten, rewritten);
    QCOMPARE(result.tooSmall, tooSmall);
}

void TestPathSlots::rewritesEveryLayoutOfARealBuild_data()
{
    QTest::addColumn<QByteArray>("oldRoot");
    QTest::addColumn<SlotLayout>("layout");
    QTest::addColumn<QByteArray>("newRoot");

    SlotLayout tableOrder;
    QTest::newRow("Linux build, table order, stride 528")
        << QByteArray("/home/builder/qt-4.8.7") << tableOrder << QByteArray("/opt/qt4");

    SlotLayout reversed;
    reversed.reversed = true;
    reversed.stride = 544;
    reversed.seed = 3;
    QTest::newRow("reversed order, stride 544, new root longer than the old one")
        << QByteArray("/q") << reversed << QByteArray("/srv/toolchains/qt/4.8.7/a/rather/long/root/directory");

    SlotLayout windows;
    windows.windowsStyle = true;
    windows.trailingSeparator = true;
    windows.seed = 4;
    QTest::newRow("Windows build with backslashes and a trailing separator")
        << QByteArray("C:/Qt/4.8.1/msvc2010") << windows << QByteArray("D:/dev/qt");

    SlotLayout qt46;
    qt46.withImportsSlot = false;
    qt46.seed = 5;
    QTest::newRow("a build older than 4.7, without an imports slot")
        << QByteArray("C:/Qt/4.6.3") << qt46 << QByteArray("D:/dev/qt");

    SlotLayout twice;
    twice.tableCopies = 2;
    twice.paddingByte = '\x90';
    twice.seed = 6;
    QTest::newRow("the table twice, padding of non-zero bytes")
        << QByteArray("/usr/local/Trolltech/Qt-4.8.7") << twice << QByteArray("/opt/qt");

    SlotLayout longest;
    longest.seed = 7;
    QTest::newRow("a root of 200 characters, the longest the window accepts")
        << QByteArray("/home/builder/qt-4.8.7") << longest << QByteArray(200, 'r');
}

void TestPathSlots::rewritesEveryLayoutOfARealBuild()
{
    QFETCH(QByteArray, oldRoot);
    QFETCH(SlotLayout, layout);
    QFETCH(QByteArray, newRoot);

    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot, layout);
    QByteArray data = original;
    for (const PathSlotKey &slotKey : pathSlotKeys()) {
        const SlotRewrite result = rewriteSlot(data, slotKey.key, newRoot + slotKey.suffix);
        const bool present = layout.withImportsSlot || slotKey.key != "qt_impspath=";
        QCOMPARE(result.rewritten, present ? layout.tableCopies : 0);
        QCOMPARE(result.tooSmall, 0);
    }
    QCOMPARE(data.size(), original.size());

    QMap<QByteArray, QByteArray> expected = Qt4Fixture::expectedSlotValues(newRoot, layout.withImportsSlot);
    expected.insert(Qt4Fixture::settingsKey(),
                    Qt4Fixture::slotValue(oldRoot, Qt4Fixture::settingsKey(), layout));
    QCOMPARE(Qt4Fixture::slotValues(data), expected);

    // Every changed byte lies inside a record just written: key, new value, zero.
    const QList<Qt4Fixture::FoundSlot> written = Qt4Fixture::slotList(data);
    QCOMPARE(written.size(), expected.size() * layout.tableCopies);
    qsizetype changed = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data.at(i) == original.at(i))
            continue;
        ++changed;
        bool inRecord = false;
        for (const Qt4Fixture::FoundSlot &slot : written)
            inRecord = inRecord || (i >= slot.offset && i <= slot.offset + 12 + slot.value.size());
        QVERIFY2(inRecord, qPrintable(QStringLiteral("byte %1 changed outside every slot").arg(i)));
    }
    QVERIFY(changed > 0);
}

void TestPathSlots::findsSlotsInFileOrderWithTheirRoom_data()
{
    QTest::addColumn<SlotLayout>("layout");
    QTest::addColumn<int>("roomBetween"); // room of every slot but the last of a table
    QTest::addColumn<int>("roomOfLast");

    SlotLayout zeroPadding;
    QTest::newRow("zero padding joins the room of the next array") << zeroPadding << 528 << 524;
    SlotLayout filledPadding;
    filledPadding.paddingByte = '\xcc';
    filledPadding.stride = 544;
    QTest::newRow("non-zero padding ends the room with the array") << filledPadding << 524 << 524;
    SlotLayout reversed = filledPadding;
    reversed.reversed = true;
    QTest::newRow("reversed order is listed in file order") << reversed << 524 << 524;
    SlotLayout reversedZeroPadding;
    reversedZeroPadding.reversed = true;
    QTest::newRow("the last array of the table ends its room at the filler") << reversedZeroPadding << 528 << 524;
}

void TestPathSlots::findsSlotsInFileOrderWithTheirRoom()
{
    QFETCH(SlotLayout, layout);
    QFETCH(int, roomBetween);
    QFETCH(int, roomOfLast);

    const QByteArray oldRoot = "/home/builder/qt-4.8.7";
    const QByteArray data = Qt4Fixture::binaryWithSlots(oldRoot, layout);
    const QVector<FoundSlot> found = findPathSlots(data);

    // The fixture's own reading, without the settings key, which is nobody's business here.
    QList<Qt4Fixture::FoundSlot> expected = Qt4Fixture::slotList(data);
    qsizetype settingsOffset = -1;
    for (int i = expected.size() - 1; i >= 0; --i) {
        if (expected.at(i).key == Qt4Fixture::settingsKey()) {
            settingsOffset = expected.at(i).offset;
            expected.removeAt(i);
        }
    }
    QCOMPARE(found.size(), expected.size());
    QCOMPARE(found.size(), 11);
    for (int i = 0; i < found.size(); ++i) {
        QCOMPARE(found.at(i).offset, expected.at(i).offset);
        QCOMPARE(found.at(i).key, expected.at(i).key);
        QCOMPARE(found.at(i).value, Qt4Fixture::slotValue(oldRoot, expected.at(i).key, layout));
        const bool lastArray = i == found.size() - 1 && settingsOffset < found.at(i).offset;
        QCOMPARE(int(found.at(i).room), lastArray ? roomOfLast : roomBetween);
    }
}

void TestPathSlots::findsNothingInDataWithoutKeys()
{
    const QByteArray data = Qt4Fixture::filler(64 * 1024, 11) + Qt4Fixture::slotArray("qt_stngpath=", "/etc/xdg");
    QVERIFY(findPathSlots(data).isEmpty());
    QVERIFY(findPathSlots(QByteArray()).isEmpty());
}

QTEST_GUILESS_MAIN(TestPathSlots)
#include "tst_pathslots.moc"
