#include "patching/commandplan.h"
#include "patching/textrules.h"
#include "testsupport.h"

#include <QTemporaryDir>

#include <algorithm>

class TestMetadata : public QObject
{
    Q_OBJECT

private slots:
    void wholePathRule_data();
    void wholePathRule();
    void oldRoots_data();
    void oldRoots();
};

void TestMetadata::wholePathRule_data()
{
    QTest::addColumn<QString>("file"); // its name tells whether the line rule applies first
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("oldRoots");
    QTest::addColumn<QByteArray>("newRoot");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, const char *file, const QByteArray &text, const char *oldRoots,
                        const char *newRoot, const QByteArray &expected) {
        QTest::newRow(name) << QString::fromLatin1(file) << text << QByteArray(oldRoots).split(' ') << QByteArray(newRoot)
                            << expected;
    };
    const auto dataFile = [](const QString &name) { return readFile(dataPath(QStringLiteral("metadata/") + name)); };
    for (const char *file : {"mkspecs/qconfig.pri", "lib/libQtCore.prl", "lib/libQtCore.la", "lib/pkgconfig/QtCore.pc"}) {
        row(file, file, dataFile(QStringLiteral("qt-4.8.7/") + QLatin1String(file)), "/usr/local/Trolltech/Qt-4.8.7", "/opt/qt",
            dataFile(QStringLiteral("expected/") + QFileInfo(QLatin1String(file)).fileName()));
    }
    row("a Windows root in another case with backslashes; CR LF, the path's own separators and a build directory that "
        "is not below the new root kept", "x.prl", dataFile(QStringLiteral("windows/QtCore4.prl")), "C:/Qt/4.8.1",
        "D:/dev/qt", dataFile(QStringLiteral("expected/QtCore4.prl")));
    row("a Windows root with slashes before ';', its longer sibling left alone", "x.pri", dataFile(QStringLiteral("windows/qconfig.pri")),
        "C:\\Qt\\4.8.1", "D:/dev/qt", dataFile(QStringLiteral("expected/qconfig-windows.pri")));
    row("the escaped spelling of a Windows root, doubled backslashes", "x.pri", "INCLUDEPATH = C:\\\\Qt\\\\4.8.7\\\\include",
        "C:/Qt/4.8.7", "D:/qt", "INCLUDEPATH = D:/qt\\\\include");
    const QByteArray siblings = "-L/old/qt2/lib -I/old/qt-4.8.7/include /old/qt.d /old/qtx /Old/Qt/lib";
    row("longer names that begin with the root, or in another case, are other directories", "x.la", siblings, "/old/qt",
        "/new", siblings);
    row("every end of a whole path: separator, quotes, blank, colon, semicolon, comma, parenthesis, line end, end of text",
        "x.la", "/old/qt/lib '/old/qt' \"/old/qt\"\t/old/qt:/old/qt;/old/qt,$$quote(/old/qt)\r\n/old/qt\n/old/qt", "/old/qt/",
        "/new", "/new/lib '/new' \"/new\"\t/new:/new;/new,$$quote(/new)\r\n/new\n/new");
    const QByteArray inside = "-L/srv/opt/qt/lib -I/usr/include/q x/opt/qt";
    row("a path starts only at a start: a longer path that merely holds the root is another", "x.prl", inside, "/opt/qt /q",
        "/new", inside);
    row("each old root, after each option and separator that starts a path", "x.prl",
        "-L/opt/qt/lib -I/q -R/opt/qt -F/q -Wl,-rpath,/opt/qt/lib /LIBPATH:/q/lib (/q) =/opt/qt", "/opt/qt /q", "/new",
        "-L/new/lib -I/new -R/new -F/new -Wl,-rpath,/new/lib /LIBPATH:/new/lib (/new) =/new");
    row("a broad root takes only paths that exist below the new root", "x.la",
        "-L/usr/X11R6/lib -L/usr/lib /usr/lib/x86_64-linux-gnu/libglib-2.0.la -I/usr/include", "/usr", "/new",
        "-L/usr/X11R6/lib -L/new/lib /usr/lib/x86_64-linux-gnu/libglib-2.0.la -I/new/include");
    row("the root directory as old root", "x.la", "-L/lib libdir='/lib' -I/include /lib/x86_64-linux-gnu /home/b/build/", "/",
        "/new", "-L/new/lib libdir='/new/lib' -I/new/include /lib/x86_64-linux-gnu /home/b/build/");
    row("a new root below the old one: paths already below it are kept", "x.la", "libdir='/opt/qt/lib' -L/opt/qt/4.8/lib",
        "/opt/qt", "/opt/qt/4.8", "libdir='/opt/qt/4.8/lib' -L/opt/qt/4.8/lib");
    row("a new root below the old one: the line rule's output is not rewritten again", ".qmake.cache",
        "QT_BUILD_TREE = /opt/Qt\nQMAKE_RPATHDIR += \"/opt/Qt/lib\"\n", "/opt/Qt", "/opt/Qt/4.8.7",
        "QT_BUILD_TREE =/opt/Qt/4.8.7\nQMAKE_RPATHDIR += \"/opt/Qt/4.8.7/lib\"\n");
    row("a new root that is the parent of the old one", "qconfig.pri", "QMAKE_RPATHDIR += \"/x/qt-4.8.7/lib\"",
        "/x/qt-4.8.7", "/x", "QMAKE_RPATHDIR += \"/x/lib\"");
}

void TestMetadata::wholePathRule()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, oldRoots);
    QFETCH(QByteArray, newRoot);
    QFETCH(QByteArray, expected);

    QVERIFY(!text.isEmpty() && !expected.isEmpty()); // a fixture that cannot be read proves nothing
    const Relocation relocation{{oldRoots.cbegin(), oldRoots.cend()}, newRoot, [](const QByteArray &relative) {
                                    return words("lib include lib/libQtCore.so").contains(QString::fromLatin1(relative));
                                }};
    TextRules rules;
    rules.configFile = isConfigName(file);
    rules.deep = true;
    rules.relocation = relocation;
    QCOMPARE(applyTextRules(text, rules), expected);
    // What verify looks for, by the same rule: the old root where the patch changes something, and nowhere after it.
    QCOMPARE(oldRootNamed(text, relocation).isEmpty(), text == expected);
    QVERIFY(oldRootNamed(expected, relocation).isEmpty());
}

void TestMetadata::oldRoots_data()
{
    QTest::addColumn<QStringList>("files"); // "relative:content", DIR standing for the installation
    QTest::addColumn<QString>("expected");  // "root (file)" each; "own" when a prefix names DIR

    QTest::newRow("qmake's backup lost: the root comes from QtCore's backup, never from qmake's patched slot")
        << QStringList{"bin/qmake:qt_prfxpath=DIR", "lib/libQtCore.so:qt_prfxpath=DIR", "lib/libQtCore.so.back:qt_prfxpath=/opt/qt"}
        << "/opt/qt (lib/libQtCore.so.back)";
    QTest::newRow("a Qt used where it was built: its install prefix, and its build tree in .qmake.cache, $$quote taken off")
        << QStringList{"bin/qmake:qt_prfxpath=/usr/local/Trolltech/Qt-4.8.7", "lib/pkgconfig/QtCore.pc:prefix=/usr/local/Trolltech/Qt-4.8.7",
                       ".qmake.cache:QT_SOURCE_TREE = \\$\\$quote(/home/b/src)\nQT_BUILD_TREE = \\$\\$quote(/home/b/src/)"}
        << "/usr/local/Trolltech/Qt-4.8.7 (bin/qmake) /home/b/src (.qmake.cache)";
    QTest::newRow("patched in the window, then copied without backups: the first copy, and the build prefix of the .pc")
        << QStringList{"bin/qmake:qt_prfxpath=/first/copy", ".qmake.cache:QT_BUILD_TREE =/first/copy",
                       "lib/pkgconfig/QtCore.pc.back:prefix=/usr/local/qt\n", "lib/pkgconfig/QtCore.pc:prefix=DIR"}
        << "/first/copy (bin/qmake) /usr/local/qt (lib/pkgconfig/QtCore.pc.back)";
    QTest::newRow("every prefix names the directory: nothing to rewrite")
        << QStringList{"bin/qmake:qt_prfxpath=DIR", ".qmake.cache:QT_BUILD_TREE = DIR/\nQT_SOURCE_TREE = .."} << "own";
}

void TestMetadata::oldRoots()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    for (const QString &file : files) {
        const QString content = file.section(QLatin1Char(':'), 1).replace(QStringLiteral("DIR"), dir.path());
        QVERIFY(writeFile(dir.filePath(file.section(QLatin1Char(':'), 0, 0)), content.toLocal8Bit()));
    }
    QVERIFY(writeFile(dir.filePath(QStringLiteral("mkspecs/qconfig.pri")), "QMAKE_RPATHDIR += /opt/qt/lib"));
    const CommandPlan plan = planCommand(Command::Patch, dir.path(), true);
    QStringList found{plan.oldRoots.recordsOwnRoot ? QStringLiteral("own") : QString()};
    for (const RecordedRoot &root : plan.oldRoots.roots)
        found << root.value + QStringLiteral(" (") + root.relativePath + QLatin1Char(')');
    QCOMPARE(found.join(QLatin1Char(' ')).trimmed(), expected);
    // Never a file recomputed from its backup with nothing to replace.
    const bool metadata = std::any_of(plan.files.cbegin(), plan.files.cend(),
                                      [](const PlannedFile &file) { return file.treatment == Treatment::Metadata; });
    QCOMPARE(metadata, !plan.oldRoots.roots.isEmpty());
}

QTEST_GUILESS_MAIN(TestMetadata)
#include "tst_metadata.moc"
