#include "app/language.h"
#include "patching/binarypatcher.h"
#include "patching/filejob.h"
#include "patching/listing.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"
#include "testsupport.h"

#include <QSemaphore>
#include <QTemporaryDir>

#include <stdexcept>

namespace {
const FileOutcome holdsBack = leftAlone(ReasonCode::PathHoldsBack);
const FileOutcome belowBack = failed(ReasonCode::DirectoryHoldsBack);
} // namespace

// The engine: the three workers on files from tests/data, the listings that feed them, the background job
// and the language of the texts.
class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    // Each file from tests/data is patched to /opt/qt4 (giving the file below tests/data/patched), then restored.
    void patchThenRestore_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("at");           // below a temporary directory
        QTest::addColumn<QByteArray>("firstRoot"); // patched to before
        QTest::addColumn<bool>("present");         // false: only its backup is there
        QTest::addColumn<FileOutcome>("patched");
        QTest::addColumn<FileOutcome>("restored");

        const auto row = [](const char *name, const char *file, const char *at, const FileOutcome &patched,
                            const FileOutcome &restored, const QByteArray &firstRoot = QByteArray(), bool present = true) {
            QTest::newRow(name) << QString::fromLatin1(file) << QString::fromLatin1(at) << firstRoot << present << patched << restored;
        };
        const char *qmake = "qt-4.8.7/bin/qmake";
        row("Linux qmake: every key and suffix, 528-byte stride, a key twice, an old value's tail kept", qmake,
            "qt/bin/qmake", changed, changed);
        row("Linux QtCore: arrays in reversed order at a 544-byte stride", "qt-4.8.7/lib/libQtCore.so.4.8.7",
            "qt/lib/libQtCore.so", changed, changed);
        row("Windows qmake.exe with C:/Qt/4.8.1 values", "windows/qmake.exe", "qt/bin/qmake.exe", changed, changed);
        row("a slot the record fills exactly is written; a short one, and one cut by the end of the file, stay and are named",
            "windows/QtCore4.dll",
            "qt/bin/QtCore4.dll", FileOutcome::failed(Reason(ReasonCode::SlotsTooSmall, {QStringLiteral("qt_prfxpath=")})), changed);
        row("a second patch to another root equals one patch, the backup kept", qmake, "qt/bin/qmake",
            changed, changed, "/a/first/root/longer/than/the/second");
        row("a file without slots keeps its bytes, gets no backup, and is not said to be up to date", "qt-4.8.7/lib/libQtCore.la",
            "qt/lib/libQtCore.so", leftAlone(ReasonCode::NoPathSlot), leftAlone(ReasonCode::NoBackup));
        row("a missing file is not patched but is re-created from its backup", qmake, "qt/.qmake.cache",
            leftAlone(ReasonCode::NoSuchFile), changed, QByteArray(), false);
        row("below a directory named qt.backup nothing is patched", qmake, "qt.backup/bin/qmake", belowBack, belowBack);
        row("below a directory named qt.backup nothing is restored", qmake, "qt.backup/bin/qmake", belowBack, belowBack,
            QByteArray(), false);
        row("a backup handed in gets no backup of its own", qmake, "qt/bin/qmake.back", holdsBack, holdsBack);
        row("the .back test is case-sensitive: qt.Backup is treated", qmake, "qt.Backup/bin/qmake", changed, changed);
        row("Linux .qmake.cache: three keys rewritten, += and two = left", "qt-4.8.7/.qmake.cache", "qt/.qmake.cache",
            changed, changed);
        row("Linux qmake.conf patched a second time, from its backup", "qt-4.8.7/mkspecs/linux-g++/qmake.conf",
            "qt/mkspecs/default/qmake.conf", changed, changed, "/q");
        row("Windows qmake.conf: CR LF in, LF out, the final line ending kept", "windows/qmake.conf",
            "qt/mkspecs/default/qmake.conf", changed, changed);
        row("Windows .qmake.cache: byte order mark, Latin-1 bytes and escaped backslashes kept", "windows/.qmake.cache",
            "qt/.qmake.cache", changed, changed);
        row("the line rule's edge cases, each told by the comment above it", "edge-cases/.qmake.cache", "qt/.qmake.cache",
            changed, changed);
    }

    void patchThenRestore()
    {
        QFETCH(QString, file);
        QFETCH(QString, at);
        QFETCH(QByteArray, firstRoot);
        QFETCH(bool, present);
        QFETCH(FileOutcome, patched);
        QFETCH(FileOutcome, restored);

        QTemporaryDir dir;
        const QString path = dir.filePath(at);
        const QByteArray original = readFile(dataPath(file));
        const auto patch = [&path](const QByteArray &root) {
            return path.contains(QLatin1String("qmake.c")) ? patchTextFile(QString::fromLatin1(root), path)
                                                           : patchBinaryFile(root, path);
        };
        QVERIFY(!original.isEmpty() && writeFile(present ? path : path + QStringLiteral(".back"), original));
        if (!firstRoot.isEmpty())
            QCOMPARE(patch(firstRoot), changed);
        // Every call names its file on the debug output, before anything else.
        QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
        QCOMPARE(patch("/opt/qt4"), patched);
        const bool backup = !present || patched.status == OutcomeStatus::Changed || patched.reason.code == ReasonCode::SlotsTooSmall;
        QCOMPARE(readFile(path), !present ? QByteArray() : backup ? readFile(dataPath("patched/" + file)) : original);
        QCOMPARE(restoreBackup(path, dir.path()), restored);
        QCOMPARE(readFile(path), present || restored == changed ? original : QByteArray());
        QCOMPARE(readFile(path + QStringLiteral(".back")), backup ? original : QByteArray());
    }

    void commandFiles_data()
    {
        QTest::addColumn<QStringList>("entries"); // "dir:" a directory, "link:" a link to libQtCore.so.4.8.7, else a file
        QTest::addColumn<QStringList>("patched"); // listed before the two configuration files that always follow
        QTest::addColumn<QStringList>("restored");

        QTest::newRow("qmake before qmake.exe, before the bin libraries, whatever the order of creation")
            << words("bin/QtCore4.dll bin/qmake.exe bin/qmake bin/qmake.bat bin/qmake-qt4")
            << words("bin/qmake bin/qmake.exe bin/QtCore4.dll") << words("bin/qmake bin/qmake.exe bin/QtCore4.dll");
        const QStringList sorted = words("bin/QMake.EXE lib/libQtCore.a lib/libQtCore.la lib/libQtCore.so lib/QTCORE4.DLL lib/QtCore4.lib");
        QTest::newRow("every suffix of lib, names matched and sorted ignoring case")
            << words("lib/QtCore4.lib lib/libQtCore.so lib/QTCORE4.DLL lib/libQtCore.a lib/libQtCore.la bin/QMake.EXE")
            << sorted << sorted;
        QTest::newRow("a bin library with something before QtCore is visited by unpatch only")
            << words("bin/libQtCore4.dll bin/QtCore.so bin/libQtCore.so") << words("bin/QtCore.so")
            << words("bin/libQtCore.so bin/libQtCore4.dll bin/QtCore.so");
        QTest::newRow("other libraries, other suffixes, versioned shared objects, backups and hidden names are not listed")
            << words("lib/libQtGui.so lib/libQtCore.prl lib/libQtCore.so.4.8.7 bin/QtCore.so.4 bin/qmake.back "
                     "bin/QtCore4.dll.back lib/libQtCore.so.back lib/.libQtCore.so bin/.QtCore4.dll")
            << QStringList() << QStringList();
        const QStringList kinds = words("bin/qmake lib/libQtCore.so lib/QtCore4.dll");
        QTest::newRow("a directory named like a pattern and a link are listed")
            << words("dir:bin/qmake dir:lib/QtCore4.dll lib/libQtCore.so.4.8.7 link:lib/libQtCore.so") << kinds << kinds;
    }

    void commandFiles()
    {
        QFETCH(QStringList, entries);
        QFETCH(QStringList, patched);
        QFETCH(QStringList, restored);

        QTemporaryDir dir;
        for (const QString &entry : entries) {
            const QString path = dir.filePath(entry.section(QLatin1Char(':'), -1));
            if (entry.startsWith(QLatin1String("dir:")))
                QVERIFY(QDir().mkpath(path));
            else if (entry.startsWith(QLatin1String("link:")))
                QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(QStringLiteral("libQtCore.so.4.8.7"), path));
            else
                QVERIFY(writeFile(path, "content"));
        }
        for (Command command : {Command::Patch, Command::Unpatch}) {
            QStringList listed;
            for (const QString &file : ::commandFiles(dir.path(), command))
                listed << file.mid(dir.path().size() + 1);
            QCOMPARE(listed, (command == Command::Patch ? patched : restored) + words("mkspecs/default/qmake.conf .qmake.cache"));
        }
    }

    void backgroundJob()
    {
        // Jobs that may end before the wait begins: each wait still ends.
        for (int i = 0; i < 100; ++i)
            QCOMPARE(runFileJob([] { return changed; }), changed);
        QCOMPARE(runFileJob([]() -> FileOutcome { throw std::runtime_error("no room"); }),
                 FileOutcome::failed(Reason(ReasonCode::WorkerException, {QStringLiteral("no room")})));
        QCOMPARE(runFileJob([]() -> FileOutcome { throw 7; }), failed(ReasonCode::UnknownException));
        // The caller changes its value while the job runs; the job works on its own copy.
        QString path = QStringLiteral("/opt/qt4/bin/qmake");
        QSemaphore gate;
        QTimer::singleShot(0, this, [&] { path = QStringLiteral("/elsewhere"); gate.release(); });
        const auto worker = [&gate](const QString &file) { gate.acquire(); return FileOutcome::leftAlone(Reason(ReasonCode::SameFileAs, {file})); };
        QCOMPARE(runFileJob(worker, path), FileOutcome::leftAlone(Reason(ReasonCode::SameFileAs, {QStringLiteral("/opt/qt4/bin/qmake")})));
    }

    void languageOfLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("a French locale with its encoding") << "fr_FR.UTF-8" << "fr";
        QTest::newRow("French of another country, named as Qt names it") << "fr-CA" << "fr";
        QTest::newRow("C, set by scripts that want the texts they always got") << "C" << "fr";
        QTest::newRow("C with an encoding") << "C.UTF-8" << "fr";
        QTest::newRow("POSIX") << "POSIX" << "fr";
        QTest::newRow("no locale set at all") << "" << "fr";
        QTest::newRow("an English locale") << "en_US.UTF-8" << "en";
        QTest::newRow("any other language, with a variant, gets English") << "de_DE@euro" << "en";
        QTest::newRow("a language whose code begins with fr (North Frisian) gets English") << "frr_DE" << "en";
    }

    void languageOfLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(interfaceLanguage(locale), language);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
