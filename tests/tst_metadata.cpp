#include "patching/metadatapatcher.h"
#include "testsupport.h"

class TestMetadata : public QObject
{
    Q_OBJECT

private slots:
    void wholePathRule_data();
    void wholePathRule();
};

void TestMetadata::wholePathRule_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("oldRoot");
    QTest::addColumn<QByteArray>("newRoot");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, const QByteArray &text, const char *oldRoot, const char *newRoot,
                        const QByteArray &expected) {
        QTest::newRow(name) << text << QByteArray(oldRoot) << QByteArray(newRoot) << expected;
    };
    const auto dataFile = [](const QString &name) { return readFile(dataPath(QStringLiteral("metadata/") + name)); };
    for (const char *file : {"mkspecs/qconfig.pri", "lib/libQtCore.prl", "lib/libQtCore.la", "lib/pkgconfig/QtCore.pc"}) {
        row(file, dataFile(QStringLiteral("qt-4.8.7/") + QLatin1String(file)), "/usr/local/Trolltech/Qt-4.8.7", "/opt/qt",
            dataFile(QStringLiteral("expected/") + QFileInfo(QLatin1String(file)).fileName()));
    }
    row("a Windows root in another case with backslashes; CR LF and the path's own separators kept",
        dataFile(QStringLiteral("windows/QtCore4.prl")), "C:/Qt/4.8.1", "D:/dev/qt", dataFile(QStringLiteral("expected/QtCore4.prl")));
    row("a Windows root with slashes before ';', its longer sibling left alone", dataFile(QStringLiteral("windows/qconfig.pri")),
        "C:\\Qt\\4.8.1", "D:/dev/qt", dataFile(QStringLiteral("expected/qconfig-windows.pri")));
    const QByteArray siblings = "-L/old/qt2/lib -I/old/qt-4.8.7/include /old/qt.d /old/qtx";
    row("longer names that begin with the root are other directories", siblings, "/old/qt", "/new", siblings);
    row("every end of a whole path: separator, quotes, blank, colon, semicolon, line end, end of text",
        "/old/qt/lib '/old/qt' \"/old/qt\"\t/old/qt:/old/qt;/old/qt\\x\r\n/old/qt\n/old/qt", "/old/qt/", "/new",
        "/new/lib '/new' \"/new\"\t/new:/new;/new\\x\r\n/new\n/new");
    row("a Unix root matches in its own letter case only", "/Old/Qt/lib", "/old/qt", "/new", "/Old/Qt/lib");
    row("an old root that is the parent of the new one is not found again in the result", "libdir='/opt/qt/lib'",
        "/opt/qt", "/opt/qt/4.8", "libdir='/opt/qt/4.8/lib'");
}

void TestMetadata::wholePathRule()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, oldRoot);
    QFETCH(QByteArray, newRoot);
    QFETCH(QByteArray, expected);

    QVERIFY(!text.isEmpty() && !expected.isEmpty()); // a fixture that cannot be read proves nothing
    QCOMPARE(rewriteWholePaths(text, oldRoot, newRoot), expected);
    // What verify looks for: the result names no old root, even where the new root lies below it.
    QVERIFY(!namesOldRoot(expected, oldRoot, newRoot));
}

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
