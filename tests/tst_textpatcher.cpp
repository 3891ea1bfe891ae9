#include "patching/textpatcher.h"

#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using Qt4Fixture::ConfigOptions;
using Qt4Fixture::LineEnding;

// The text worker: the per-line rule as a table, then whole configuration files on disk.
class TestTextPatcher : public QObject
{
    Q_OBJECT

private slots:
    void rewritesOneLine_data();
    void rewritesOneLine();
    void listsTheAssignmentsItWouldRewrite();
    void patchesWholeFiles_data();
    void patchesWholeFiles();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
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
    const QByteArray root = "D:/dev/qt";
    QTest::newRow("QMAKESPEC_ORIGINAL keeps what follows mkspecs")
        << QByteArray("QMAKESPEC_ORIGINAL=C:/Qt/4.8.0/mkspecs/win32-msvc2010") << root
        << QByteArray("QMAKESPEC_ORIGINAL=D:/dev/qt/mkspecs/win32-msvc2010");
    QTest::newRow("QMAKESPEC keeps the blank before = and loses the one after")
        << QByteArray("QMAKESPEC = C:/Qt/4.8.0/mkspecs/win32-msvc2010") << root
        << QByteArray("QMAKESPEC =D:/dev/qt/mkspecs/win32-msvc2010");
    QTest::newRow("QT_BUILD_TREE gets the root alone")
        << QByteArray("QT_BUILD_TREE = C:/Qt/4.8.0") << root << QByteArray("QT_BUILD_TREE =D:/dev/qt");
    QTest::newRow("QT_SOURCE_TREE drops a backslashed value whole")
        << QByteArray("QT_SOURCE_TREE = C:\\Qt\\4.8.0") << root << QByteArray("QT_SOURCE_TREE =D:/dev/qt");
    QTest::newRow("a second mkspecs and all after it are dropped")
        << QByteArray("QMAKESPEC = C:/Qt/4.8.0/mkspecs/a/mkspecs/b") << root
        << QByteArray("QMAKESPEC =D:/dev/qt/mkspecs/a/");
    QTest::newRow("a QMAKESPEC value without mkspecs is not changed")
        << QByteArray("QMAKESPEC = win32-msvc2010") << root << QByteArray("QMAKESPEC = win32-msvc2010");
    QTest::newRow("+= is not an assignment of the key")
        << QByteArray("QT_BUILD_TREE += C:/Qt/4.8.0") << root << QByteArray("QT_BUILD_TREE += C:/Qt/4.8.0");
    QTest::newRow("a line with two = is not changed")
        << QByteArray("QT_SOURCE_TREE = C:/a=b") << root << QByteArray("QT_SOURCE_TREE = C:/a=b");
    QTest::newRow("keys are compared case-sensitively")
        << QByteArray("qt_build_tree = C:/Qt/4.8.0") << root << QByteArray("qt_build_tree = C:/Qt/4.8.0");
    // Edges of the same rules.
    QTest::newRow("nothing after mkspecs") << QByteArray("QMAKESPEC=C:/Qt/mkspecs") << root
                                           << QByteArray("QMAKESPEC=D:/dev/qt/mkspecs");
    QTest::newRow("nothing before mkspecs") << QByteArray("QMAKESPEC=mkspecs/x") << root
                                            << QByteArray("QMAKESPEC=D:/dev/qt/mkspecs/x");
    QTest::newRow("an empty tree value gets the root") << QByteArray("QT_BUILD_TREE=") << root
                                                       << QByteArray("QT_BUILD_TREE=D:/dev/qt");
    QTest::newRow("a line that is only = is not changed") << QByteArray("=") << root << QByteArray("=");
    QTest::newRow("leading blanks of a recognised key stay")
        << QByteArray("  QT_BUILD_TREE = x") << root << QByteArray("  QT_BUILD_TREE =D:/dev/qt");
    QTest::newRow("a commented-out line is not changed")
        << QByteArray("# QMAKESPEC = C:/Qt/mkspecs/x") << root << QByteArray("# QMAKESPEC = C:/Qt/mkspecs/x");
    QTest::newRow("the root D:/ goes in unaltered into a tree")
        << QByteArray("QT_BUILD_TREE = C:/Qt/4.8.0") << QByteArray("D:/") << QByteArray("QT_BUILD_TREE =D:/");
    QTest::newRow("the root D:/ goes in unaltered into a mkspec")
        << QByteArray("QMAKESPEC = C:/Qt/4.8.0/mkspecs/win32-msvc2010") << QByteArray("D:/")
        << QByteArray("QMAKESPEC =D://mkspecs/win32-msvc2010");
    QTest::newRow("mkspecs is looked for case-sensitively")
        << QByteArray("QMAKESPEC = C:/Qt/MKSPECS/x") << root << QByteArray("QMAKESPEC = C:/Qt/MKSPECS/x");
    QTest::newRow("escaped backslashes after mkspecs are kept")
        << QByteArray("QMAKESPEC       = C:\\\\Qt\\\\mkspecs\\\\win32-msvc2008") << root
        << QByteArray("QMAKESPEC       =D:/dev/qt/mkspecs\\\\win32-msvc2008");
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
    QTest::newRow("Latin-1 and invalid UTF-8 bytes come out as they went in")
        << QByteArray("# compil\xe9 \xff\xfe\r\nQT_BUILD_TREE = /old\r\n") << root
        << QByteArray("# compil\xe9 \xff\xfe\nQT_BUILD_TREE =/new/qt") << changed;
    QTest::newRow("a byte order mark stays and does not hide the first key")
        << QByteArray("\xef\xbb\xbfQT_BUILD_TREE = /old\n") << root
        << QByteArray("\xef\xbb\xbfQT_BUILD_TREE =/new/qt") << changed;
    QTest::newRow("a zero byte in a line stays") << QByteArray("a\0b\nQMAKESPEC=/o/mkspecs/x", 26) << root
                                                 << QByteArray("a\0b\nQMAKESPEC=/new/qt/mkspecs/x", 31) << changed;
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
    QCOMPARE(patchTextFile(root, path), FileOutcome::leftAlone(Reason::upToDate()));

    // Every later patch starts again from the backup: a hand edit and another root leave no trace.
    QVERIFY2(Qt4Fixture::writeFile(path, "QMAKESPEC_ORIGINAL=hand edit\n", &error), qPrintable(error));
    QCOMPARE(patchTextFile(QStringLiteral("E:/a/much/longer/first/root"), path), FileOutcome::changed());
    QVERIFY(!patchTextFile(root, path).isFailure());
    QCOMPARE(Qt4Fixture::readFile(path), expected);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");

    const QString systemWords; // the reason ends with the system's own words
    QTest::newRow("a directory where the backup should be")
        << "backup is a directory" << Reason::backupNotRead(Reason::notRegularFile());
    QTest::newRow("a link to a file outside the installation") << "outside link" << Reason::linkOutsideInstallation();
    // A longer root makes a longer file, which a file-size limit cuts short, for root too.
    QTest::newRow("a longer content cut short by the file-size limit")
        << "size limit, backup" << Reason::fileNotWritten(systemWords);
    // Permission bits do not stop root: these rows run the worker as an unprivileged user.
    QTest::newRow("a read-only file in a writable directory")
        << "user, read-only file beside its backup" << Reason::fileNotWritten(systemWords);
    QTest::newRow("a writable file in a read-only directory")
        << "user, read-only directory" << Reason::backupNotMade(systemWords);
}

void TestTextPatcher::failureLeavesEverythingAsItWas()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    using namespace WorkerChecks;
    const auto has = [&fault](const char *words) { return fault.contains(QLatin1String(words)); };

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("a-rather-long-root-for-the-relocated-qt-installation"));
    const QString path = root + QStringLiteral("/.qmake.cache");
    const QString outside = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY(QDir().mkpath(root));
    QVERIFY2(Qt4Fixture::writeFile(outside, original, &error), qPrintable(error));
    if (has("outside link"))
        QVERIFY(QFile::link(outside, path));
    else
        QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    if (has("backup is a directory"))
        QVERIFY(QDir().mkpath(path + QStringLiteral(".back")));
    else if (has("backup"))
        QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), original, &error), qPrintable(error));
    const QStringList entries = entryNames(root);

    FileOutcome outcome;
    if (has("user")) {
        const QFileDevice::Permissions none = {};
        QString whyNot;
        if (!runAsUser({{dir.path(), readOnlyDirectory},
                        {root, readOnlyDirectory | (has("read-only directory") ? none : writable)},
                        {path, readOnlyFile | (has("read-only file") ? none : writable)}},
                       [&] { return patchTextFile(root, path); }, &outcome, &whyNot))
            QSKIP(qPrintable(whyNot));
    } else if (has("size limit")) {
        Qt4Fixture::FileSizeLimit limit(original.size());
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = patchTextFile(root, path);
    } else {
        outcome = patchTextFile(root, path);
    }
    QVERIFY2(failedWith(outcome, reason), qPrintable(outcome.reason));
    QCOMPARE(entryNames(root), entries);
    QCOMPARE(Qt4Fixture::readFile(outside), original);
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(QFileInfo(path + QStringLiteral(".back")).isDir(), has("backup is a directory"));
}

QTEST_GUILESS_MAIN(TestTextPatcher)
#include "tst_textpatcher.moc"
