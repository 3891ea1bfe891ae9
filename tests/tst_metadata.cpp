#include "patching/plan/commandplan.h"
#include "restoring/commandrun.h"
#include "patching/formats/textrules.h"
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
    void planned_data();
    void planned();
    void nothingHeld();
    void dryRunWithoutRoom();
    void buildFacts_data();
    void buildFacts();
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
    row("a Windows root in another letter case, quoted after -L", "x.prl", "LIBS += -L\"c:\\qt\\4.8.1\\lib\"", "C:/Qt/4.8.1",
        "D:/dev/qt", "LIBS += -L\"D:/dev/qt\\lib\"");
    row("a file made only of paths naming the root: each is rewritten", "x.prl", QByteArray("=/old/qt/").repeated(100000), "/old/qt",
        "/new", QByteArray("=/new/").repeated(100000));
    row("the escaped spelling of a Windows root, doubled backslashes", "x.pri", "INCLUDEPATH = C:\\\\Qt\\\\4.8.7\\\\include",
        "C:/Qt/4.8.7", "D:/qt", "INCLUDEPATH = D:/qt\\\\include");
    const QByteArray siblings = "-L/old/qt2/lib -I/old/qt-4.8.7/include /old/qt.d /old/qtx /Old/Qt/lib";
    row("longer names that begin with the root, or in another case, are other directories", "x.la", siblings, "/old/qt",
        "/new", siblings);
    row("every end of a whole path: separator, quotes, blank, colon, semicolon, comma, parenthesis, line end, end of text",
        "x.la", "/old/qt/lib '/old/qt' \"/old/qt\"\t/old/qt:/old/qt;/old/qt,$$quote(/old/qt)\r\n/old/qt\n/old/qt", "/old/qt/",
        "/new", "/new/lib '/new' \"/new\"\t/new:/new;/new,$$quote(/new)\r\n/new\n/new");
    const QByteArray climbing = "-L/old/qt/../lib -I/old/qt/include/../../include";
    row("a path that climbs out of the root with '..' is another place", "x.la", climbing, "/old/qt", "/new", climbing);
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
    rules.configFile = isConfigName(qt4Generation(), file);
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
    QTest::newRow("a Windows build's qmake.exe records C:/Qt/4.8.1, once for its escaped and slashed spellings")
        << QStringList{"bin/qmake.exe<windows/qmake.exe", ".qmake.cache:QT_BUILD_TREE = C:\\\\Qt\\\\4.8.1\nQT_SOURCE_TREE = c:\\qt\\4.8.1\\"}
        << "C:/Qt/4.8.1 (bin/qmake.exe)";
    QTest::newRow("a .pc of many identical prefix lines records its root once")
        << QStringList{"lib/pkgconfig/QtCore.pc:" + QString(QStringLiteral("prefix=/opt/qt\n")).repeated(20000)} << "/opt/qt (lib/pkgconfig/QtCore.pc)";
    QStringList distinct;
    for (int i = 0; i < 40; ++i)
        distinct << QStringLiteral("prefix=/opt/qt%1").arg(i);
    QTest::newRow("a file recording more prefixes than any Qt is refused, its prefixes unused")
        << QStringList{"lib/pkgconfig/QtFoo.pc:" + distinct.join(QLatin1Char('\n')), "bin/qmake:qt_prfxpath=/opt/qt"}
        << "/opt/qt (bin/qmake)";
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
        // "path<fixture" copies a file of tests/data; "path:content" writes the content, DIR the installation.
        if (file.contains(QLatin1Char('<'))) {
            QVERIFY(writeFile(dir.filePath(file.section(QLatin1Char('<'), 0, 0)), readFile(dataPath(file.section(QLatin1Char('<'), 1)))));
            continue;
        }
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

// What a run makes of one file of an installation copied from tests/data/metadata/qt-4.8.7 into AT
// below a temporary directory, set up by a shell script with $0 the installation.
void TestMetadata::planned_data()
{
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("command"); // 0 patch, 1 patch --deep, 2 unpatch, 3 unpatch --deep
    QTest::addColumn<QString>("file"); // the start of its path relative to the installation
    QTest::addColumn<QString>("expected"); // "status code[/cause][ (args)]"; empty: no file of the run
    QTest::addColumn<QString>("check");    // shell, must succeed afterwards
    QTest::newRow("unpatch never writes through a link into a backup")
        << "qt" << "echo original >$0/bin/qmake.back && ln -s ../bin/qmake.back $0/lib/libQtCoreX.so && echo junk >$0/lib/libQtCoreX.so.back"
        << 2 << "lib/libQtCoreX.so" << "left-alone path-holds-back" << "test \"$(cat $0/bin/qmake.back)\" = original";
    QTest::newRow("patch never writes through a link into a directory named like a backup")
        << "qt" << "mkdir $0/saved.backup && cp $0/lib/libQtCore.so.4.8.7 $0/saved.backup/ && ln -s ../saved.backup/libQtCore.so.4.8.7 $0/lib/libQtCoreSaved.so"
        << 0 << "lib/libQtCoreSaved.so" << "failed directory-holds-back" << "test \"$(ls $0/saved.backup)\" = libQtCore.so.4.8.7";
    QTest::newRow("an installation below a directory whose name holds .back is treated")
        << "srv/app.backend/qt" << "" << 0 << "lib/libQtCore.so" << "changed " << "";
    QTest::newRow("a plugin named in Latin-1 is a failure, not a file skipped")
        << "qt" << "mkdir $0/plugins && cp $0/lib/libQtCore.so.4.8.7 \"$0/plugins/libqcn$(printf '\\351')codecs.so\"" << 1
        << "plugins/libqcn" << "failed unreadable-name" << "rm -r $0/plugins"; // QTemporaryDir cannot name it
    QTest::newRow("a file patched for DIR below its build prefix that lost its backup is no original")
        << "qt" << "sed s,/usr/local/Trolltech/Qt-4.8.7,$(dirname $0), $0/lib/libQtCore.so.4.8.7 >$0/lib/libQtCore.so.4.8.7.back "
                   "&& printf 'qt_prfxpath=%s\\0\\0\\0' $0 >$0/bin/QtCore4.so"
        << 0 << "bin/QtCore4.so" << "failed patched-without-backup" << "";
    QTest::newRow("a plain patch says a qmake.conf naming the old root in a line only --deep rewrites so")
        << "qt" << "echo QMAKE_INCDIR_QT = /usr/local/Trolltech/Qt-4.8.7/include >>$0/mkspecs/linux-g++/qmake.conf" << 0
        << "mkspecs/default/qmake.conf" << "left-alone old-root-in-deep-lines" << "";
    QTest::newRow("a plain patch that rewrites a qmake.conf says so too of the line it leaves for --deep")
        << "qt" << "printf 'QMAKESPEC_ORIGINAL = /usr/local/Trolltech/Qt-4.8.7/mkspecs/linux-g++\\nQMAKE_INCDIR_QT = "
                   "/usr/local/Trolltech/Qt-4.8.7/include\\n' >>$0/mkspecs/linux-g++/qmake.conf" << 0
        << "mkspecs/default/qmake.conf" << "changed old-root-in-deep-lines" << "";
    // What tells that a file without a backup was patched: the places the files the tool wrote record.
    const QString patchedHere = QStringLiteral("cp $0/lib/libQtCore.so.4.8.7 $0/lib/libQtCore.so.4.8.7.back && ");
    QTest::newRow("a package's .pc below DIR never makes its own prefix an old root")
        << "qt" << "mkdir -p $0/plugins/foo && printf 'prefix=/usr/local\\nlibdir=${prefix}/lib\\n' >$0/plugins/foo/foo.pc && "
                   "sed -i 's,-lpthread,-L/usr/local/lib -lssl,' $0/lib/libQtCore.la"
        << 1 << "lib/libQtCore.la" << "changed " << "grep -q -- '-L/usr/local/lib -lssl' $0/lib/libQtCore.la";
    QTest::newRow("a file without a backup is no evidence of its own: its prefix is an old root, rewritten")
        << "qt" << patchedHere + "printf 'prefix=/usr/local\\nLibs: -L/usr/local/lib\\n' >$0/lib/pkgconfig/foo.pc"
        << 1 << "lib/pkgconfig/foo.pc" << "changed " << "";
    QTest::newRow("an unpatch cannot put back a file without a backup that names DIR itself")
        << "qt" << patchedHere + "sed -i \"s,/usr/local/Trolltech/Qt-4.8.7,$0,\" $0/lib/libQtCore.la"
        << 3 << "lib/libQtCore.la" << "failed patched-without-backup" << "";
    QTest::newRow("an unpatch that restores every backup treats a file once, whatever names of it the walk finds")
        << "qt" << "mkdir $0/plugins && cp $0/lib/libQtCore.so.4.8.7 $0/plugins/libx.so && cp $0/plugins/libx.so $0/plugins/libx.so.back && "
                   "ln -s libx.so $0/plugins/liby.so && cp $0/plugins/libx.so $0/plugins/liby.so.back"
        << 2 << "plugins/liby.so" << "left-alone same-file-as (plugins/libx.so)" << "";
    QTest::newRow("a search path that climbs out of the old root with .. is left alone")
        << "qt" << "mkdir $0/plugins && sed s,/opt/oldqt-4.8.7-build/lib,/opt/oldqt/../qt/lib//././, $0/../tests-data-elf/libtiny.so.1 "
                   ">$0/plugins/libx.so && sed -i 's,quote.*,quote(/opt/oldqt),' $0/.qmake.cache" << 1 << "plugins/libx.so" << "left-alone names-no-old-root" << "";
    QTest::newRow("a binary of the walk whose backup starts as text is none, even with slot keys in the backup")
        << "qt" << "mkdir $0/doc && cp $0/lib/libQtCore.so.4.8.7 $0/doc/notes && printf 'qt_prfxpath=/usr/local/Trolltech/Qt-4.8.7\\0' >$0/doc/notes.back"
        << 1 << "doc/notes" << "" << "";
    QTest::newRow("a text file over its kind's limit is refused unread, with its size and the limit")
        << "qt" << "truncate -s 268435457 $0/lib/libQtBig.prl" << 1 << "lib/libQtBig.prl"
        << "failed file-too-large (268435457, 268435456)" << "";
}

void TestMetadata::planned()
{
    QFETCH(QString, at);
    QFETCH(QString, setup);
    QFETCH(int, command);
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QFETCH(QString, check);
#ifdef Q_OS_WIN
    QSKIP("laid out with a POSIX shell, links and FIFOs: scripts/windows.sh tries the CLI on a Windows installation");
#endif

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qt = dir.filePath(at);
    const auto shell = [&qt](const QString &script) {
        return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script, qt}) == 0;
    };
    QVERIFY(QDir().mkpath(QFileInfo(qt).path()) && shell(QStringLiteral("cp -a '" ZEL_TEST_DATA "/metadata/qt-4.8.7' $0")));
    QVERIFY(QFile::link(dataPath(QStringLiteral("elf")), dir.filePath(QStringLiteral("tests-data-elf"))));
    QVERIFY2(setup.isEmpty() || shell(setup), qPrintable(setup));
    QStringList found;
    for (const FileReport &report : runPlan(planCommand(command >= 2 ? Command::Unpatch : Command::Patch, qt, command % 2 == 1))) {
        if (report.relativePath.startsWith(file))
            found << outcomeStatusKey(report.outcome.status) + QLatin1Char(' ') + reasonFacts(report.outcome.reason);
    }
    QCOMPARE(found, expected.isEmpty() ? QStringList() : QStringList{expected});
    QVERIFY2(check.isEmpty() || shell(check), qPrintable(check));
}

// A plan that may keep no bytes for its workers makes them read every file again: the same outcomes,
// down to the last byte put back.
void TestMetadata::nothingHeld()
{
#ifdef Q_OS_WIN
    QSKIP("laid out with a POSIX shell and links");
#endif
    QTemporaryDir dir;
    const auto outcomes = [](Command command, const QString &qt, qint64 budget, bool deep = true) {
        QStringList found;
        for (const FileReport &report : runPlan(planCommand(command, qt, deep, PlanPurpose::Run, budget)))
            found << report.relativePath + QLatin1Char('=') + outcomeStatusKey(report.outcome.status) + QLatin1Char(' ') + reasonFacts(report.outcome.reason);
        return found;
    };
    const QString held = dir.filePath(QStringLiteral("held")), read = dir.filePath(QStringLiteral("read"));
    for (const QString &qt : {held, read})
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), dataPath(QStringLiteral("metadata/qt-4.8.7")), qt}), 0);
    for (const Command command : {Command::Patch, Command::Patch, Command::Unpatch})
        QCOMPARE(outcomes(command, read, 0), outcomes(command, held, Limits::heldBytesBudget));
    QCOMPARE(QProcess::execute(QStringLiteral("diff"), {QStringLiteral("-r"), QStringLiteral("--no-dereference"), QStringLiteral("-x"),
                                                        QStringLiteral("*.back"), dataPath(QStringLiteral("metadata/qt-4.8.7")), read}), 0);
    // Without the link the window lists, a plain patch judges the library it no longer reaches.
    const QString plainHeld = dir.filePath(QStringLiteral("plain-held")), plainRead = dir.filePath(QStringLiteral("plain-read"));
    for (const QString &qt : {plainHeld, plainRead}) {
        QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), dataPath(QStringLiteral("metadata/qt-4.8.7")), qt}), 0);
        QVERIFY(QFile::remove(qt + QLatin1String("/lib/libQtCore.so")));
    }
    const QStringList plain = outcomes(Command::Patch, plainHeld, Limits::heldBytesBudget, false);
    QVERIFY2(plain.contains(QLatin1String("lib/libQtCore.so.4.8.7=failed unlisted-slots")), qPrintable(plain.join(QLatin1Char(' '))));
    QCOMPARE(outcomes(Command::Patch, plainRead, 0, false), plain);
}

// A dry run on a file system without room names each file the run would write as failing where the
// real run would: its backup first, or its new file once the backup is there (a tree patched, then moved).
void TestMetadata::dryRunWithoutRoom()
{
#ifdef Q_OS_WIN
    QSKIP("copied with a POSIX cp and its links: tst_engine's spaceForecast weighs the same rule under wine");
#endif
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qt = dir.filePath(QStringLiteral("qt")), moved = dir.filePath(QStringLiteral("moved"));
    QCOMPARE(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), dataPath(QStringLiteral("metadata/qt-4.8.7")), qt}), 0);
    const auto outcomes = [](const QString &at, qint64 room) {
        QStringList found;
        const auto space = [room](const QString &) { return FileSystemSpace{QStringLiteral("one"), room, 4096}; };
        for (const FileReport &report : runPlan(planCommand(Command::Patch, at, true), WriteMode::DryRun, {}, space))
            found << report.relativePath + QLatin1Char('=') + outcomeStatusKey(report.outcome.status) + QLatin1Char(' ') + reasonFacts(report.outcome.reason);
        return found;
    };
    const auto withoutRoom = [&outcomes](const QString &at, const QString &failure) {
        QStringList expected = outcomes(at, Q_INT64_C(1) << 40);
        QVERIFY(expected.contains(QStringLiteral("lib/libQtCore.so=changed ")));
        expected.replaceInStrings(QStringLiteral("=changed "), failure);
        QCOMPARE(outcomes(at, 0), expected);
    };
    withoutRoom(qt, QStringLiteral("=failed backup-not-made/no-space"));
    QVERIFY(!anyFailed(runPlan(planCommand(Command::Patch, qt, true))));
    QVERIFY(QDir().rename(qt, moved));
    withoutRoom(moved, QStringLiteral("=failed file-not-written/no-space"));
}

QTEST_GUILESS_MAIN(TestMetadata)
// What a Qt 5 tree says of its build, from files laid out as `files` ("path:content", ";" between).
void TestMetadata::buildFacts_data()
{
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("expected"); // major minor.patch relocatable(y/n/?)
    const QString core = QStringLiteral("lib/libQt5Core.so.5.15.8:x;");
    QTest::newRow("qconfig.pri says the version, qmodule.pri the feature disabled")
        << core + "mkspecs/qconfig.pri:QT_MINOR_VERSION = 15\nQT_PATCH_VERSION = 2\n;mkspecs/qmodule.pri:"
                  "QT.global_private.disabled_features = private_tests relocatable stack-protector-strong\n" << "5 15.2 n";
    QTest::newRow("a distribution's mkspecs in lib/<multiarch>/qt5, the feature added with +=")
        << "lib/x86_64-linux-gnu/libQt5Core.so.5.12.8:x;lib/x86_64-linux-gnu/qt5/mkspecs/qconfig.pri:QT_MINOR_VERSION = 12\n;"
           "lib/x86_64-linux-gnu/qt5/mkspecs/qmodule.pri:QT.global_private.enabled_features += relocatable\n" << "5 12.-1 y";
    QTest::newRow("without qconfig.pri, the library's name says the version") << core + "mkspecs/qmodule.pri:CONFIG += x\n" << "5 15.8 ?";
    QTest::newRow("a word that only begins like the feature is not it")
        << core + "mkspecs/qmodule.pri:QT.global_private.enabled_features = relocatable-ish\n" << "5 15.8 ?";
    QTest::newRow("without qconfig.pri nor a full name, the newest version tag QtCore holds says it")
        << "lib/libQt5Core.so.5:x qt_version_tag_5_9 qt_version_tag_5_12 qt_version_tag;" << "5 12.-1 ?";
    QTest::newRow("a Qt 4 tree says so in qconfig.pri, whatever Qt 5 library lies in a folder of lib")
        << "lib/qt5/libQt5Core.so.5.15.8:x;mkspecs/qconfig.pri:QT_MAJOR_VERSION = 4\nQT_MINOR_VERSION = 8\n" << "4 8.-1 ?";
}

void TestMetadata::buildFacts()
{
    QFETCH(QString, files);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    for (const QString &file : files.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        QVERIFY(writeFile(dir.filePath(file.section(QLatin1Char(':'), 0, 0)), file.section(QLatin1Char(':'), 1).toUtf8()));
    const QtGeneration &generation = generationOf(dir.path());
    const BuildFacts facts = readBuildFacts(generation, dir.path());
    const char relocatable = facts.relocatable == BuildFacts::Relocatable::Yes ? 'y' : facts.relocatable == BuildFacts::Relocatable::No ? 'n' : '?';
    QCOMPARE(QStringLiteral("%1 %2.%3 %4").arg(generation.major).arg(facts.minor).arg(facts.patch).arg(QLatin1Char(relocatable)), expected);
}

#include "tst_metadata.moc"
