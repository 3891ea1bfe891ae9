#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"
#include "testsupport.h"

#include <QSemaphore>
#include <QTemporaryDir>

#include <stdexcept>

namespace {
const FileOutcome changed{OutcomeStatus::Changed, QString()};
FileOutcome leftAlone(const char *why) { return {OutcomeStatus::LeftAlone, QString::fromUtf8(why)}; }
FileOutcome failed(const char *why) { return {OutcomeStatus::Failed, QString::fromUtf8(why)}; }
const FileOutcome holdsBack = leftAlone("chemin contenant \".back\"");
} // namespace

// The three workers, each with one table of files from tests/data, and the background job that runs them.
class TestWorkers : public QObject
{
    Q_OBJECT

private slots:
    // Both patch workers, on files from tests/data patched to /opt/qt4 (the result is below tests/data/patched).
    void patchFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("at");           // below a temporary directory
        QTest::addColumn<bool>("present");         // false: only its backup is there
        QTest::addColumn<QByteArray>("firstRoot"); // patched to before, then edited by hand
        QTest::addColumn<bool>("backup");          // a backup of the original afterwards; the file then is patched
        QTest::addColumn<FileOutcome>("outcome");

        const QString qmake = QStringLiteral("qt-4.8.7/bin/qmake");
        QTest::newRow("Linux qmake: every key and suffix, 528-byte stride, a key twice, an old value's tail kept")
            << qmake << "qt/bin/qmake" << true << QByteArray() << true << changed;
        QTest::newRow("Linux QtCore: arrays in reversed order at a 544-byte stride")
            << "qt-4.8.7/lib/libQtCore.so.4.8.7" << "qt/lib/libQtCore.so" << true << QByteArray() << true << changed;
        QTest::newRow("Windows qmake.exe with C:/Qt/4.8.1 values")
            << "windows/qmake.exe" << "qt/bin/qmake.exe" << true << QByteArray() << true << changed;
        QTest::newRow("a short slot and one cut by the end of the file stay as they were and are named")
            << "windows/QtCore4.dll" << "qt/bin/QtCore4.dll" << true << QByteArray() << true
            << failed("emplacement trop petit pour qt_prfxpath=, qt_trnspath=");
        QTest::newRow("a second patch to another root equals one patch: hand edit dropped, backup kept")
            << qmake << "qt/bin/qmake" << true << QByteArray("/a/first/root/longer/than/the/second") << true << changed;
        QTest::newRow("a file without slots keeps its bytes and gets its backup")
            << "qt-4.8.7/lib/libQtCore.la" << "qt/lib/libQtCore.la" << true << QByteArray() << true
            << leftAlone("déjà à jour");
        QTest::newRow("a missing file is not re-created from its backup")
            << qmake << "qt/bin/qmake" << false << QByteArray() << true << leftAlone("fichier absent");
        QTest::newRow("below a directory named qt.backup nothing is patched and no backup is made")
            << qmake << "qt.backup/bin/qmake" << true << QByteArray() << false << holdsBack;
        QTest::newRow("a backup handed in gets no backup of its own")
            << qmake << "qt/bin/qmake.back" << true << QByteArray() << false << holdsBack;
        QTest::newRow("the .back test is case-sensitive: qt.Backup is patched")
            << qmake << "qt.Backup/bin/qmake" << true << QByteArray() << true << changed;
        QTest::newRow("Linux .qmake.cache: three keys rewritten, += and two = left")
            << "qt-4.8.7/.qmake.cache" << "qt/.qmake.cache" << true << QByteArray() << true << changed;
        QTest::newRow("Linux qmake.conf: QMAKESPEC_ORIGINAL rewritten, a second text patch from the backup")
            << "qt-4.8.7/mkspecs/linux-g++/qmake.conf" << "qt/mkspecs/default/qmake.conf" << true << QByteArray("/q")
            << true << changed;
        QTest::newRow("Windows qmake.conf: CR LF in, LF out, no final line ending")
            << "windows/qmake.conf" << "qt/mkspecs/default/qmake.conf" << true << QByteArray() << true << changed;
        QTest::newRow("Windows .qmake.cache: byte order mark, Latin-1 bytes and escaped backslashes kept")
            << "windows/.qmake.cache" << "qt/.qmake.cache" << true << QByteArray() << true << changed;
    }

    void patchFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, at);
        QFETCH(bool, present);
        QFETCH(QByteArray, firstRoot);
        QFETCH(bool, backup);
        QFETCH(FileOutcome, outcome);

        QTemporaryDir dir;
        const QString path = dir.filePath(at);
        const QByteArray original = readFile(dataPath(file));
        const auto patch = [&path](const QByteArray &root) {
            return path.contains(QLatin1String("qmake.c")) ? patchTextFile(QString::fromLatin1(root), path)
                                                           : patchBinaryFile(root, path);
        };
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && !original.isEmpty());
        QVERIFY(writeFile(present ? path : path + QStringLiteral(".back"), original));
        if (!firstRoot.isEmpty()) {
            QCOMPARE(patch(firstRoot), changed);
            QVERIFY(writeFile(path, QByteArray(original).replace(0, 14, "edited by hand")));
        }
        // Every call names its file on the debug output, before anything else.
        QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
        QCOMPARE(patch("/opt/qt4"), outcome);
        QCOMPARE(readFile(path), !present ? QByteArray() : backup ? readFile(dataPath("patched/" + file)) : original);
        QCOMPARE(readFile(path + QStringLiteral(".back")), backup ? original : QByteArray());
    }

    void lineRule_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<QByteArray>("expected");

        const auto row = [](const char *name, const char *line, const char *expected, const char *root = "D:/dev/qt") {
            QTest::newRow(name) << QByteArray(line) << QByteArray(root) << QByteArray(expected);
        };
        row("the blank before = stays, the one after goes", "QMAKESPEC = C:/Qt/4.8.0/mkspecs/win32-msvc2010",
            "QMAKESPEC =D:/dev/qt/mkspecs/win32-msvc2010");
        row("QT_SOURCE_TREE drops a backslashed value", "QT_SOURCE_TREE = C:\\Qt\\4.8.0", "QT_SOURCE_TREE =D:/dev/qt");
        row("a second mkspecs and all after it go", "QMAKESPEC = C:/Qt/mkspecs/a/mkspecs/b", "QMAKESPEC =D:/dev/qt/mkspecs/a/");
        row("a QMAKESPEC without mkspecs stays", "QMAKESPEC = win32-msvc2010", "QMAKESPEC = win32-msvc2010");
        row("mkspecs is looked for case-sensitively", "QMAKESPEC = C:/Qt/MKSPECS/x", "QMAKESPEC = C:/Qt/MKSPECS/x");
        row("+= is not an assignment of the key", "QT_BUILD_TREE += C:/Qt/4.8.0", "QT_BUILD_TREE += C:/Qt/4.8.0");
        row("keys are compared case-sensitively", "qt_build_tree = C:/Qt/4.8.0", "qt_build_tree = C:/Qt/4.8.0");
        row("nothing after mkspecs", "QMAKESPEC=C:/Qt/mkspecs", "QMAKESPEC=D:/dev/qt/mkspecs");
        row("nothing before mkspecs", "QMAKESPEC=mkspecs/x", "QMAKESPEC=D:/dev/qt/mkspecs/x");
        row("an empty tree value gets the root", "QT_BUILD_TREE=", "QT_BUILD_TREE=D:/dev/qt");
        row("a line that is only = stays", "=", "=");
        row("leading blanks of a recognised key stay", "  QT_BUILD_TREE = x", "  QT_BUILD_TREE =D:/dev/qt");
        row("a commented-out line stays", "# QMAKESPEC = C:/Qt/mkspecs/x", "# QMAKESPEC = C:/Qt/mkspecs/x");
        row("the root goes in unaltered", "QMAKESPEC = C:/Qt/mkspecs/win32-g++", "QMAKESPEC =D://mkspecs/win32-g++", "D:/");
    }

    void lineRule()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, root);
        QFETCH(QByteArray, expected);
        QCOMPARE(rewriteConfigLine(line, root), expected);
    }

    void restore_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("withBackup");
        QTest::addColumn<FileOutcome>("outcome");

        QTest::newRow("a patched file gets its backup's bytes") << "qt/bin/qmake" << true << true << changed;
        QTest::newRow("a missing configuration file is re-created") << "qt/.qmake.cache" << false << true << changed;
        QTest::newRow("a file never patched is left as it is") << "qt/bin/qmake" << true << false << leftAlone("aucune sauvegarde");
        QTest::newRow("below a directory named qt.backup nothing is restored") << "qt.backup/bin/qmake" << true << true << holdsBack;
        QTest::newRow("the .back test is case-sensitive: qt.Back is restored") << "qt.Back/bin/qmake" << true << true << changed;
    }

    void restore()
    {
        QFETCH(QString, at);
        QFETCH(bool, present);
        QFETCH(bool, withBackup);
        QFETCH(FileOutcome, outcome);

        QTemporaryDir dir;
        const QString path = dir.filePath(at);
        const QByteArray original = readFile(dataPath(QStringLiteral("qt-4.8.7/bin/qmake")));
        const QByteArray patched = present ? readFile(dataPath(QStringLiteral("patched/qt-4.8.7/bin/qmake"))) : QByteArray();
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(!present || writeFile(path, patched));
        QVERIFY(!withBackup || writeFile(path + QStringLiteral(".back"), original));
        QCOMPARE(restoreBackup(path, dir.path()), outcome);
        QCOMPARE(readFile(path), outcome == changed ? original : patched);
        QCOMPARE(restoreBackup(path, dir.path()), outcome == changed ? leftAlone("déjà à jour") : outcome);
    }

    void backgroundJob()
    {
        // Jobs that may end before the wait begins: each wait still ends.
        for (int i = 0; i < 100; ++i)
            QCOMPARE(runFileJob([] { return changed; }), changed);
        QCOMPARE(runFileJob([]() -> FileOutcome { throw std::runtime_error("plus de place"); }),
                 failed("erreur interne : plus de place"));
        QCOMPARE(runFileJob([]() -> FileOutcome { throw 7; }), failed("erreur interne : exception inconnue"));
        // The caller changes its value while the job runs; the job works on its own copy.
        QString path = QStringLiteral("/opt/qt4/bin/qmake");
        QSemaphore gate;
        QTimer::singleShot(0, this, [&] {
            path = QStringLiteral("/elsewhere");
            gate.release();
        });
        const auto worker = [&gate](const QString &file) {
            gate.acquire();
            return FileOutcome::changed(file);
        };
        QCOMPARE(runFileJob(worker, path), FileOutcome::changed(QStringLiteral("/opt/qt4/bin/qmake")));
    }
};

QTEST_GUILESS_MAIN(TestWorkers)
#include "tst_workers.moc"
