#include "patching/textpatcher.h"

#include "faultinjection.h"
#include "outcomeasuser.h"
#include "patching/filestore.h"
#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using Qt4Fixture::ConfigOptions;
using Qt4Fixture::LineEnding;

Q_DECLARE_METATYPE(Qt4Fixture::ConfigOptions)

// The text worker: the per-line rule as a table, then whole configuration files on disk.
class TestTextPatcher : public QObject
{
    Q_OBJECT

private slots:
    void rewritesOneLine_data();
    void rewritesOneLine();
    void listsTheAssignmentsItWouldRewrite();
    void patchesRealConfigurationFiles_data();
    void patchesRealConfigurationFiles();
    void lineEndingsAndBytes_data();
    void lineEndingsAndBytes();
    void rootTakesTheLocalEightBitEncoding();
    void guardsComeFirst_data();
    void guardsComeFirst();
    void missingFileIsNotRecreatedFromItsBackup();
    void patchingTwiceGivesTheSameBytes();
    void patchToOneRootThenAnotherEqualsPatchToTheSecond();
    void existingBackupIsNeverRewritten();
    void backupOfTheWrongKindFails();
    void linkOutsideTheTreeFails();
    void linkInsideTheTreeIsPatchedThrough();
    void dryRunTellsWithoutWriting();
    void tooLargeFileIsNotTouched();
    void directoryInPlaceOfTheFileFails();
    void failedWriteLeavesTheFileAsItWas();
    void refusedAccessAsAnUnprivilegedUser_data();
    void refusedAccessAsAnUnprivilegedUser();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";
const QByteArray windowsRoot = "C:/Qt/4.8.1/msvc2010";

bool writeAt(const QString &path, const QByteArray &data, QString *error)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && Qt4Fixture::writeFile(path, data, error);
}
} // namespace

void TestTextPatcher::rewritesOneLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("root");
    QTest::addColumn<QByteArray>("expected");

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
    QTest::newRow("nothing after mkspecs")
        << QByteArray("QMAKESPEC=C:/Qt/mkspecs") << root << QByteArray("QMAKESPEC=D:/dev/qt/mkspecs");
    QTest::newRow("nothing before mkspecs")
        << QByteArray("QMAKESPEC=mkspecs/x") << root << QByteArray("QMAKESPEC=D:/dev/qt/mkspecs/x");
    QTest::newRow("an empty tree value gets the root")
        << QByteArray("QT_BUILD_TREE=") << root << QByteArray("QT_BUILD_TREE=D:/dev/qt");
    QTest::newRow("a line that is only = is not changed") << QByteArray("=") << root << QByteArray("=");
    QTest::newRow("leading blanks of a recognised key stay")
        << QByteArray("  QT_BUILD_TREE = x") << root << QByteArray("  QT_BUILD_TREE =D:/dev/qt");
    QTest::newRow("a tab before the key and before = stays")
        << QByteArray("\tQMAKESPEC\t= /x/mkspecs/linux-g++") << root << QByteArray("\tQMAKESPEC\t=D:/dev/qt/mkspecs/linux-g++");
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
    QTest::newRow("a quoted tree value is replaced, quotes and all")
        << QByteArray("QT_SOURCE_TREE = \\$\\$quote(/home/builder/qt)") << root << QByteArray("QT_SOURCE_TREE =D:/dev/qt");
    QTest::newRow("a trailing blank in the value is kept after the mkspec")
        << QByteArray("QMAKESPEC=/q/mkspecs/x ") << root << QByteArray("QMAKESPEC=D:/dev/qt/mkspecs/x ");
    QTest::newRow("another key that merely contains a recognised one is not changed")
        << QByteArray("MY_QT_BUILD_TREE = /x") << root << QByteArray("MY_QT_BUILD_TREE = /x");
    QTest::newRow("a key with a blank inside is not changed")
        << QByteArray("QT BUILD_TREE = /x") << root << QByteArray("QT BUILD_TREE = /x");
    QTest::newRow("Latin-1 bytes in the key part of a recognised line stay")
        << QByteArray(" QT_BUILD_TREE =\xe9") << root << QByteArray(" QT_BUILD_TREE =D:/dev/qt");
    QTest::newRow("an empty line stays empty") << QByteArray() << root << QByteArray();
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
    ConfigOptions options;
    options.windowsStyle = true;
    options.lineEnding = LineEnding::CrLf;
    options.utf8Bom = true;
    const QByteArray cache = Qt4Fixture::qmakeCache(windowsRoot, options);

    const QVector<ConfigAssignment> found = findConfigAssignments(cache);
    QCOMPARE(found.size(), 3);
    const QList<QByteArray> lines = cache.split('\n');
    const QList<QByteArray> keys = {"QMAKESPEC", "QT_BUILD_TREE", "QT_SOURCE_TREE"};
    for (int i = 0; i < found.size(); ++i) {
        QCOMPARE(found.at(i).key, keys.at(i));
        QByteArray line = lines.at(found.at(i).lineNumber - 1);
        line.chop(1); // its CR
        QVERIFY2(line.startsWith(found.at(i).key), line.constData());
        QVERIFY(line.endsWith(found.at(i).value));
        QCOMPARE(found.at(i).value.left(1), QByteArray(" "));
    }

    // The BOM does not hide the first line's key.
    ConfigOptions bom;
    bom.utf8Bom = true;
    const QVector<ConfigAssignment> conf = findConfigAssignments(Qt4Fixture::qmakeConf(oldRoot, bom));
    QCOMPARE(conf.size(), 1);
    QCOMPARE(conf.first().lineNumber, 1);
    QCOMPARE(conf.first().key, QByteArray("QMAKESPEC_ORIGINAL"));
    QCOMPARE(conf.first().value, oldRoot + "/mkspecs/linux-g++");

    QVERIFY(findConfigAssignments(QByteArray()).isEmpty());
    QVERIFY(findConfigAssignments("QMAKESPEC = win32-msvc2010\nQT_BUILD_TREE += /x\n").isEmpty());
}

void TestTextPatcher::patchesRealConfigurationFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("buildRoot");
    QTest::addColumn<ConfigOptions>("options");

    const QString conf = QStringLiteral("mkspecs/default/qmake.conf");
    const QString cache = QStringLiteral(".qmake.cache");
    ConfigOptions linuxStyle;
    ConfigOptions windows;
    windows.windowsStyle = true;
    windows.lineEnding = LineEnding::CrLf;
    windows.finalLineEnding = false;
    ConfigOptions withBom = linuxStyle;
    withBom.utf8Bom = true;
    withBom.latin1Comment = true;
    ConfigOptions windowsVc2008 = windows;
    windowsVc2008.spec = "win32-msvc2008";
    windowsVc2008.finalLineEnding = true;

    QTest::newRow("Linux qmake.conf") << conf << oldRoot << linuxStyle;
    QTest::newRow("Linux .qmake.cache") << cache << oldRoot << linuxStyle;
    QTest::newRow("Windows qmake.conf, CR LF, no final line ending") << conf << windowsRoot << windows;
    QTest::newRow("Windows .qmake.cache with escaped backslashes, CR LF")
        << cache << QByteArray("C:/Qt/4.8.0") << windowsVc2008;
    QTest::newRow("qmake.conf with a byte order mark and a Latin-1 comment") << conf << oldRoot << withBom;
    QTest::newRow(".qmake.cache with a byte order mark and a Latin-1 comment") << cache << oldRoot << withBom;
}

void TestTextPatcher::patchesRealConfigurationFiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, buildRoot);
    QFETCH(ConfigOptions, options);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString path = root + QLatin1Char('/') + file;
    const bool isConf = file.endsWith(QLatin1String("qmake.conf"));
    const QByteArray original = isConf ? Qt4Fixture::qmakeConf(buildRoot, options) : Qt4Fixture::qmakeCache(buildRoot, options);
    QString error;
    QVERIFY2(writeAt(path, original, &error), qPrintable(error));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchTextFile(root, path), FileOutcome::changed());

    const QByteArray newRoot = root.toLocal8Bit();
    const QByteArray expected = isConf ? Qt4Fixture::patchedQmakeConf(newRoot, buildRoot, options)
                                       : Qt4Fixture::patchedQmakeCache(newRoot, buildRoot, options);
    QCOMPARE(Qt4Fixture::readFile(path), expected);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::lineEndingsAndBytes_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<FileOutcome>("outcome");

    const FileOutcome changed = FileOutcome::changed();
    const FileOutcome upToDate = FileOutcome::leftAlone(Reason::upToDate());
    QTest::newRow("CR LF in, LF out, no final line ending, although nothing was recognised")
        << QByteArray("CONFIG += release\r\nQT_ARCH = x86_64\r\n") << QByteArray("CONFIG += release\nQT_ARCH = x86_64")
        << changed;
    QTest::newRow("a final LF is dropped") << QByteArray("a\nb\n") << QByteArray("a\nb") << changed;
    QTest::newRow("a file already in that form is up to date") << QByteArray("a\nb") << QByteArray("a\nb") << upToDate;
    QTest::newRow("an empty backup gives an empty file") << QByteArray() << QByteArray() << upToDate;
    QTest::newRow("a lone line ending gives an empty file") << QByteArray("\r\n") << QByteArray() << changed;
    QTest::newRow("blank lines in the middle stay") << QByteArray("a\n\n\nb\n") << QByteArray("a\n\n\nb") << changed;
    QTest::newRow("a CR inside a line stays") << QByteArray("a\rb\nc") << QByteArray("a\rb\nc") << upToDate;
    QTest::newRow("mixed line endings all become LF") << QByteArray("a\r\nb\nc\r\n") << QByteArray("a\nb\nc") << changed;
    QTest::newRow("Latin-1 and invalid UTF-8 bytes come out as they went in")
        << QByteArray("# compil\xe9 \xff\xfe\r\nQT_BUILD_TREE = /old\r\n")
        << QByteArray("# compil\xe9 \xff\xfe\nQT_BUILD_TREE =/new/qt") << changed;
    QTest::newRow("a byte order mark stays and does not hide the first key")
        << QByteArray("\xef\xbb\xbfQT_BUILD_TREE = /old\n") << QByteArray("\xef\xbb\xbfQT_BUILD_TREE =/new/qt") << changed;
    QTest::newRow("a zero byte in a line stays") << QByteArray("a\0b\nQMAKESPEC=/o/mkspecs/x", 26)
        << QByteArray("a\0b\nQMAKESPEC=/new/qt/mkspecs/x", 31) << changed;
}

void TestTextPatcher::lineEndingsAndBytes()
{
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, expected);
    QFETCH(FileOutcome, outcome);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("/new/qt"), path), outcome);
    QCOMPARE(Qt4Fixture::readFile(path), expected);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::rootTakesTheLocalEightBitEncoding()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake.conf"));
    ConfigOptions options;
    options.latin1Comment = true;
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, Qt4Fixture::qmakeConf(oldRoot, options), &error), qPrintable(error));

    const QString root = QString::fromUtf8("/opt/d\xc3\xa9v/qt");
    QCOMPARE(patchTextFile(root, path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), Qt4Fixture::patchedQmakeConf(root.toLocal8Bit(), oldRoot, options));
}

void TestTextPatcher::guardsComeFirst_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("create");
    QTest::addColumn<FileOutcome>("expected");

    const FileOutcome changed = FileOutcome::changed();
    const FileOutcome missing = FileOutcome::leftAlone(Reason::noSuchFile());
    const FileOutcome holdsBack = FileOutcome::leftAlone(Reason::pathHoldsBack());

    QTest::newRow("a missing file is left alone and gets no backup") << "qt/.qmake.cache" << false << missing;
    QTest::newRow("a root below D:/qt.backup/4.8 keeps the file untouched")
        << "qt.backup/4.8/mkspecs/default/qmake.conf" << true << holdsBack;
    QTest::newRow("a backup handed in is never patched") << "qt/.qmake.cache.back" << true << holdsBack;
    QTest::newRow(".BACK in the path is patched") << "qt.BACK/.qmake.cache" << true << changed;
    QTest::newRow(".Back in the path is patched") << "qt.Back/mkspecs/default/qmake.conf" << true << changed;
}

void TestTextPatcher::guardsComeFirst()
{
    QFETCH(QString, file);
    QFETCH(bool, create);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(file);
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    if (create)
        QVERIFY2(writeAt(path, original, &error), qPrintable(error));

    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), expected);

    const bool patched = expected.status == OutcomeStatus::Changed;
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back")), patched);
    if (create)
        QCOMPARE(Qt4Fixture::readFile(path), patched ? Qt4Fixture::patchedQmakeCache("/opt/qt4", oldRoot) : original);
    else
        QVERIFY(!QFileInfo::exists(path));
}

void TestTextPatcher::missingFileIsNotRecreatedFromItsBackup()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), Qt4Fixture::qmakeCache(oldRoot), &error),
             qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), FileOutcome::leftAlone(Reason::noSuchFile()));
    QVERIFY(!QFileInfo::exists(path));
}

void TestTextPatcher::patchingTwiceGivesTheSameBytes()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    ConfigOptions options;
    options.lineEnding = LineEnding::CrLf;
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot, options);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), FileOutcome::changed());
    const QByteArray first = Qt4Fixture::readFile(path);
    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), FileOutcome::leftAlone(Reason::upToDate()));
    QCOMPARE(Qt4Fixture::readFile(path), first);
    QCOMPARE(first, Qt4Fixture::patchedQmakeCache("/opt/qt4", oldRoot, options));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::patchToOneRootThenAnotherEqualsPatchToTheSecond()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString twice = dir.filePath(QStringLiteral("a/qmake.conf"));
    const QString once = dir.filePath(QStringLiteral("b/qmake.conf"));
    ConfigOptions options;
    options.windowsStyle = true;
    const QByteArray original = Qt4Fixture::qmakeConf(windowsRoot, options);
    QString error;
    QVERIFY2(writeAt(twice, original, &error), qPrintable(error));
    QVERIFY2(writeAt(once, original, &error), qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("E:/a/much/longer/first/root"), twice), FileOutcome::changed());
    QVERIFY2(Qt4Fixture::writeFile(twice, "QMAKESPEC_ORIGINAL=hand edit\n", &error), qPrintable(error));
    QCOMPARE(patchTextFile(QStringLiteral("D:/qt"), twice), FileOutcome::changed());
    QCOMPARE(patchTextFile(QStringLiteral("D:/qt"), once), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(twice), Qt4Fixture::readFile(once));
    QCOMPARE(Qt4Fixture::readFile(twice), Qt4Fixture::patchedQmakeConf("D:/qt", windowsRoot, options));
}

void TestTextPatcher::existingBackupIsNeverRewritten()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray backup = Qt4Fixture::qmakeCache("/usr/local/Trolltech/Qt-4.8.6");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, Qt4Fixture::qmakeCache(oldRoot), &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), backup, &error), qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), Qt4Fixture::patchedQmakeCache("/opt/qt4", "/usr/local/Trolltech/Qt-4.8.6"));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), backup);
}

void TestTextPatcher::backupOfTheWrongKindFails()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    QVERIFY(QDir().mkpath(path + QStringLiteral(".back")));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path),
             FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile())));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QVERIFY(QFileInfo(path + QStringLiteral(".back")).isDir());
}

void TestTextPatcher::linkOutsideTheTreeFails()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString outside = dir.filePath(QStringLiteral("shared/qmake.conf"));
    const QByteArray original = Qt4Fixture::qmakeConf(oldRoot);
    QString error;
    QVERIFY2(writeAt(outside, original, &error), qPrintable(error));
    const QString path = root + QStringLiteral("/mkspecs/default/qmake.conf");
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(QFile::link(outside, path));

    QCOMPARE(patchTextFile(root, path), FileOutcome::failed(Reason::linkOutsideInstallation()));
    QCOMPARE(Qt4Fixture::readFile(outside), original);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".back")));
}

void TestTextPatcher::linkInsideTheTreeIsPatchedThrough()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    // Some installations link the default spec's file to the spec in use.
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString spec = root + QStringLiteral("/mkspecs/linux-g++");
    const QByteArray original = Qt4Fixture::qmakeConf(oldRoot);
    QString error;
    QVERIFY2(writeAt(spec + QStringLiteral("/qmake.conf"), original, &error), qPrintable(error));
    const QString path = root + QStringLiteral("/mkspecs/default/qmake.conf");
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(QFile::link(QStringLiteral("../linux-g++/qmake.conf"), path));

    QCOMPARE(patchTextFile(root, path), FileOutcome::changed());
    QVERIFY(QFileInfo(path).isSymLink());
    QCOMPARE(Qt4Fixture::readFile(spec + QStringLiteral("/qmake.conf")),
             Qt4Fixture::patchedQmakeConf(root.toLocal8Bit(), oldRoot));
    QVERIFY(QFileInfo(path + QStringLiteral(".back")).isFile());
    QVERIFY(!QFileInfo(path + QStringLiteral(".back")).isSymLink());
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::dryRunTellsWithoutWriting()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path, WriteMode::DryRun), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".back")));

    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path), FileOutcome::changed());
    const QByteArray patched = Qt4Fixture::readFile(path);
    QCOMPARE(patchTextFile(QStringLiteral("/opt/qt4"), path, WriteMode::DryRun),
             FileOutcome::leftAlone(Reason::upToDate()));
    QCOMPARE(patchTextFile(QStringLiteral("/srv/qt"), path, WriteMode::DryRun), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), patched);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestTextPatcher::tooLargeFileIsNotTouched()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    const qint64 previous = overrideMaxLoadableFileSize(original.size() - 1);
    const FileOutcome outcome = patchTextFile(QStringLiteral("/opt/qt4"), path);
    overrideMaxLoadableFileSize(previous);

    QCOMPARE(outcome, FileOutcome::failed(Reason::fileTooLarge()));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".back")));
}

void TestTextPatcher::directoryInPlaceOfTheFileFails()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("mkspecs/default/qmake.conf"));
    QVERIFY(QDir().mkpath(path));

    QCOMPARE(patchTextFile(dir.path(), path), FileOutcome::failed(Reason::fileNotRead(Reason::notRegularFile())));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".back")));
}

void TestTextPatcher::failedWriteLeavesTheFileAsItWas()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), original, &error), qPrintable(error));

    FileOutcome outcome;
    {
        // The new content is longer than the old: a longer root in three lines.
        Qt4Fixture::FileSizeLimit limit(original.size());
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = patchTextFile(QStringLiteral("/a/rather/long/new/root/for/the/relocated/qt/installation"), path);
    }
    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(Reason::fileNotWritten(QString())), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(WorkerChecks::entryNames(dir.path()),
             QStringList({QStringLiteral(".qmake.cache"), QStringLiteral(".qmake.cache.back")}));
}

void TestTextPatcher::refusedAccessAsAnUnprivilegedUser_data()
{
    QTest::addColumn<bool>("readOnlyDirectory");
    QTest::addColumn<QString>("reasonStart");
    QTest::addColumn<bool>("backupAfter");

    QTest::newRow("a read-only file in a writable directory") << false << Reason::fileNotWritten(QString()) << true;
    QTest::newRow("a writable file in a read-only directory") << true << Reason::backupNotMade(QString()) << false;
}

void TestTextPatcher::refusedAccessAsAnUnprivilegedUser()
{
    QFETCH(bool, readOnlyDirectory);
    QFETCH(QString, reasonStart);
    QFETCH(bool, backupAfter);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qt = dir.filePath(QStringLiteral("qt"));
    const QString path = qt + QStringLiteral("/.qmake.cache");
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(writeAt(path, original, &error), qPrintable(error));

    WorkerChecks::PermissionsRestorer restorer;
    restorer.remember(dir.path());
    restorer.remember(qt);
    restorer.remember(path);
    QVERIFY(QFile::setPermissions(dir.path(), OutcomeAsUser::readOnlyDirectory()));
    QVERIFY(QFile::setPermissions(qt, readOnlyDirectory ? OutcomeAsUser::readOnlyDirectory() : OutcomeAsUser::openDirectory()));
    QVERIFY(QFile::setPermissions(path, readOnlyDirectory ? OutcomeAsUser::openFile() : OutcomeAsUser::readOnlyFile()));

    FileOutcome outcome;
    QString whyNot;
    if (!OutcomeAsUser::run([&] { return patchTextFile(qt, path); }, &outcome, &whyNot))
        QSKIP(qPrintable(QStringLiteral("cannot run as an unprivileged user: ") + whyNot));

    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(reasonStart), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back")), backupAfter);
}

QTEST_GUILESS_MAIN(TestTextPatcher)
#include "tst_textpatcher.moc"
