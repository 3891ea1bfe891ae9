#include "patching/textpatcher.h"

#include "qt4fixture.h"
#include "workerchecks.h"

#include <QTemporaryDir>
#include <QtTest>

using Qt4Fixture::ConfigOptions;
using Qt4Fixture::LineEnding;

// The text worker: the per-line rule as a table, then whole configuration files on disk.
// Its failures take the course the binary worker's take, tested there.
class TestTextPatcher : public QObject
{
    Q_OBJECT

private slots:
    void rewritesOneLine_data();
    void rewritesOneLine();
    void listsTheAssignmentsItWouldRewrite();
    void patchesWholeFiles_data();
    void patchesWholeFiles();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";
const QByteArray windowsRoot = "C:/Qt/4.8.1/msvc2010";
} // namespace

void TestTextPatcher::rewritesOneLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("expected");

    // The worked examples: a root moved from C:/Qt/4.8.0 to D:/dev/qt.
    const auto row = [](const char *name, const char *line, const char *expected, const char *root = "D:/dev/qt") {
        QTest::newRow(name) << QByteArray(line) << QByteArray(root) << QByteArray(expected);
    };
    row("QMAKESPEC_ORIGINAL keeps what follows mkspecs", "QMAKESPEC_ORIGINAL=C:/Qt/4.8.0/mkspecs/win32-msvc2010",
        "QMAKESPEC_ORIGINAL=D:/dev/qt/mkspecs/win32-msvc2010");
    row("QMAKESPEC keeps the blank before = and loses the one after",
        "QMAKESPEC = C:/Qt/4.8.0/mkspecs/win32-msvc2010", "QMAKESPEC =D:/dev/qt/mkspecs/win32-msvc2010");
    row("QT_BUILD_TREE gets the root alone", "QT_BUILD_TREE = C:/Qt/4.8.0", "QT_BUILD_TREE =D:/dev/qt");
    row("QT_SOURCE_TREE drops a backslashed value whole", "QT_SOURCE_TREE = C:\\Qt\\4.8.0", "QT_SOURCE_TREE =D:/dev/qt");
    row("a second mkspecs and all after it are dropped", "QMAKESPEC = C:/Qt/4.8.0/mkspecs/a/mkspecs/b",
        "QMAKESPEC =D:/dev/qt/mkspecs/a/");
    row("a QMAKESPEC value without mkspecs is not changed", "QMAKESPEC = win32-msvc2010", "QMAKESPEC = win32-msvc2010");
    row("+= is not an assignment of the key", "QT_BUILD_TREE += C:/Qt/4.8.0", "QT_BUILD_TREE += C:/Qt/4.8.0");
    row("a line with two = is not changed", "QT_SOURCE_TREE = C:/a=b", "QT_SOURCE_TREE = C:/a=b");
    row("keys are compared case-sensitively", "qt_build_tree = C:/Qt/4.8.0", "qt_build_tree = C:/Qt/4.8.0");
    // Edges of the same rules.
    row("nothing after mkspecs", "QMAKESPEC=C:/Qt/mkspecs", "QMAKESPEC=D:/dev/qt/mkspecs");
    row("nothing before mkspecs", "QMAKESPEC=mkspecs/x", "QMAKESPEC=D:/dev/qt/mkspecs/x");
    row("leading blanks of a recognised key stay", "  QT_BUILD_TREE = x", "  QT_BUILD_TREE =D:/dev/qt");
    row("a commented-out line is not changed", "# QMAKESPEC = C:/Qt/mkspecs/x", "# QMAKESPEC = C:/Qt/mkspecs/x");
    row("the root D:/ goes in unaltered", "QMAKESPEC = C:/Qt/4.8.0/mkspecs/win32-msvc2010",
        "QMAKESPEC =D://mkspecs/win32-msvc2010", "D:/");
    row("mkspecs is looked for case-sensitively", "QMAKESPEC = C:/Qt/MKSPECS/x", "QMAKESPEC = C:/Qt/MKSPECS/x");
    row("escaped backslashes after mkspecs are kept", "QMAKESPEC       = C:\\\\Qt\\\\mkspecs\\\\win32-msvc2008",
        "QMAKESPEC       =D:/dev/qt/mkspecs\\\\win32-msvc2008");
}

void TestTextPatcher::rewritesOneLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, root);
    QFETCH(QByteArray, expected);

    QCOMPARE(rewriteConfigLine(line, root), expected);
}

void TestTextPatcher::listsTheAssignmentsItWouldRewrite()
{
    // CR LF endings and a byte order mark hide neither a key nor a line number.
    ConfigOptions options;
    options.windowsStyle = true;
    options.lineEnding = LineEnding::CrLf;
    options.utf8Bom = true;
    const QByteArray cache = Qt4Fixture::qmakeCache(windowsRoot, options);
    const QList<QByteArray> lines = cache.mid(3).split('\n');

    const QVector<ConfigAssignment> found = findConfigAssignments(cache);
    const QList<QByteArray> keys = {"QMAKESPEC", "QT_BUILD_TREE", "QT_SOURCE_TREE"};
    QCOMPARE(found.size(), keys.size());
    for (int i = 0; i < found.size(); ++i) {
        QCOMPARE(found.at(i).key, keys.at(i));
        const QByteArray line = lines.at(found.at(i).lineNumber - 1);
        QVERIFY2(line.startsWith(found.at(i).key) && line.endsWith(found.at(i).value + '\r'), line.constData());
    }
}

void TestTextPatcher::patchesWholeFiles_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<FileOutcome>("outcome");

    const FileOutcome changed = FileOutcome::changed();
    const FileOutcome upToDate = FileOutcome::leftAlone(Reason::upToDate());
    const QString root = QStringLiteral("/new/qt");
    ConfigOptions windows;
    windows.windowsStyle = true;
    windows.lineEnding = LineEnding::CrLf;
    windows.finalLineEnding = false;
    ConfigOptions vc2008 = windows;
    vc2008.mkspec = "win32-msvc2008";
    vc2008.finalLineEnding = true;
    ConfigOptions withBom;
    withBom.utf8Bom = true;
    withBom.latin1Comment = true;

    QTest::newRow("Linux qmake.conf") << Qt4Fixture::qmakeConf(oldRoot) << root
                                      << Qt4Fixture::patchedQmakeConf("/new/qt", oldRoot) << changed;
    QTest::newRow("Windows qmake.conf, CR LF, no final line ending") << Qt4Fixture::qmakeConf(windowsRoot, windows)
        << root << Qt4Fixture::patchedQmakeConf("/new/qt", windowsRoot, windows) << changed;
    QTest::newRow("Windows .qmake.cache with escaped backslashes, CR LF")
        << Qt4Fixture::qmakeCache("C:/Qt/4.8.0", vc2008) << root
        << Qt4Fixture::patchedQmakeCache("/new/qt", "C:/Qt/4.8.0", vc2008) << changed;
    // The fixture's first line is a key: the byte order mark must not hide it.
    QTest::newRow(".qmake.cache with a byte order mark and a Latin-1 comment")
        << Qt4Fixture::qmakeCache(oldRoot, withBom) << root
        << Qt4Fixture::patchedQmakeCache("/new/qt", oldRoot, withBom) << changed;
    const QString accented = QString::fromUtf8("/opt/d\xc3\xa9v/qt");
    QTest::newRow("a root with an accent is written in the local 8-bit encoding")
        << Qt4Fixture::qmakeConf(oldRoot, withBom) << accented
        << Qt4Fixture::patchedQmakeConf(accented.toLocal8Bit(), oldRoot, withBom) << changed;
    QTest::newRow("CR LF in, LF out, no final line ending, although nothing was recognised")
        << QByteArray("CONFIG += release\r\nQT_ARCH = x86_64\r\n") << root
        << QByteArray("CONFIG += release\nQT_ARCH = x86_64") << changed;
    QTest::newRow("an empty backup gives an empty file") << QByteArray() << root << QByteArray() << upToDate;
    QTest::newRow("a CR inside a line stays") << QByteArray("a\rb\nc") << root << QByteArray("a\rb\nc") << upToDate;
    QTest::newRow("invalid UTF-8 and zero bytes come out as they went in")
        << QByteArray("# \xff\xfe\0\nQMAKESPEC=/o/mkspecs/x", 28) << root
        << QByteArray("# \xff\xfe\0\nQMAKESPEC=/new/qt/mkspecs/x", 33) << changed;
}

void TestTextPatcher::patchesWholeFiles()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, root);
    QFETCH(QByteArray, expected);
    QFETCH(FileOutcome, outcome);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchTextFile(root, path), outcome);
    QCOMPARE(Qt4Fixture::readFile(path), expected);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
    QCOMPARE(patchTextFile(root, path), FileOutcome::leftAlone(Reason::upToDate()));
}

QTEST_GUILESS_MAIN(TestTextPatcher)
#include "tst_textpatcher.moc"
