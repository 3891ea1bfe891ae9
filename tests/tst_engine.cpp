#include "app/language.h"
#include "app/qtpathcheck.h"
#include "patching/binarypatcher.h"
#include "patching/store/diskspace.h"
#include "patching/filejob.h"
#include "patching/qt/generation.h"
#include "patching/qt/hostqt.h"
#include "patching/qt/listing.h"
#include "patching/formats/lineindex.h"
#include "patching/formats/pathslots.h"
#include "patching/patchregions.h"
#include "patching/store/runlock.h"
#include "patching/textpatcher.h"
#include "patching/formats/textrules.h"
#include "patching/store/treewalk.h"
#include "restoring/restorebackup.h"
#include "testsupport.h"

#include <QSemaphore>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

Q_DECLARE_METATYPE(Reason)
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {
// A slot as configure lays it out: the key and its value, zeros to the slot's size.
QByteArray slot(const char *key, const char *value, int size = 40)
{
    return (QByteArray(key) + value).leftJustified(size, '\0');
}

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
        // A file that could not take its new paths is no more up to date the second time.
        if (patched.isFailure()) {
            QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
            QCOMPARE(patch("/opt/qt4"), patched);
        }
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
            for (const QString &file : ::commandFiles(qt4Generation(), dir.path(), command))
                listed << file.mid(dir.path().size() + 1);
            QCOMPARE(listed, (command == Command::Patch ? patched : restored) + words("mkspecs/default/qmake.conf .qmake.cache"));
        }
    }

    // The slot rule on one file's bytes: which value each slot gets, and when a slot is too small.
    void slotRule_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QStringList>("tooSmall");
        const QByteArray end = "X"; // what follows the last slot's zeros
        QTest::newRow("a record one byte longer than its slot leaves the slot whole")
            << "qt_prfxpath=/old" + QByteArray(3, '\0') + end << "qt_prfxpath=/old" + QByteArray(3, '\0') + end
            << QStringList{QStringLiteral("qt_prfxpath=")};
        QTest::newRow("a record that fills its slot exactly is written")
            << "qt_prfxpath=/old" + QByteArray(4, '\0') + end << "qt_prfxpath=/new/qt" + QByteArray(1, '\0') + end << QStringList();
        QTest::newRow("a shorter root zeroes the rest of the old value")
            << slot("qt_prfxpath=", "/usr/local/Trolltech/Qt-4.8.7", 48) + end << slot("qt_prfxpath=", "/new/qt", 48) + end
            << QStringList();
        QTest::newRow("a place below the prefix keeps its place relative to it, the prefix read after it")
            << slot("qt_plugpath=", "/usr/lib/qt4/plugins") + slot("qt_prfxpath=", "/usr")
            << slot("qt_plugpath=", "/new/qt/lib/qt4/plugins") + slot("qt_prfxpath=", "/new/qt") << QStringList();
        QTest::newRow("a place outside the prefix takes Qt's default place")
            << slot("qt_prfxpath=", "/usr/lib/qt4") + slot("qt_docspath=", "/usr/share/doc/qt4")
            << slot("qt_prfxpath=", "/new/qt") + slot("qt_docspath=", "/new/qt/doc") << QStringList();
        QTest::newRow("a key inside a slot's value is no slot of its own")
            << slot("qt_prfxpath=", "/a/qt_docspath=/b") + end << slot("qt_prfxpath=", "/new/qt") + end << QStringList();
        QTest::newRow("a Windows place below the prefix in another letter case and separator")
            << slot("qt_prfxpath=", "C:/Qt/4.8.1") + slot("qt_plugpath=", "c:\\qt\\4.8.1\\plugins")
            << slot("qt_prfxpath=", "/new/qt") + slot("qt_plugpath=", "/new/qt/plugins") << QStringList();
    }

    void slotRule()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, tooSmall);
        const QByteArray original = data;
        const SlotRewrite rewrite = rewriteSlots(data, "/new/qt", SlotRule{qt4Generation().slotKeys});
        QCOMPARE(rewrite.tooSmall, tooSmall);
        QCOMPARE(data, expected);
        // An unpatch judges a binary by where a patch may have written: the same rooms, found without writing.
        QCOMPARE(slotRooms(original, SlotRule{qt4Generation().slotKeys}), rewrite.rooms);
    }

    // The slot rule of Qt 5 and later on one file's bytes, the installation's old roots /old, /usr and /opt/qt-5.15,
    // its device prefix /usr/local/qt5pi, for the new root /new/qt.
    void laterSlotRule_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("build"); // "fixed": 5.14 and later, not relocatable; "relocatable"
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QStringList>("lengths"); // a fixed-length prefix refused: needed, fixed
        const QByteArray end = "X";
        QTest::newRow("a value below an old root keeps its rest, a trailing separator included, and /etc/xdg stays")
            << slot("qt_datapath=", "/old/") + slot("qt_libspath=", "/usr/lib/x86_64") + slot("qt_stngpath=", "/etc/xdg") << QString()
            << slot("qt_datapath=", "/new/qt/") + slot("qt_libspath=", "/new/qt/lib/x86_64") + slot("qt_stngpath=", "/etc/xdg")
            << QStringList();
        QTest::newRow("the device prefix stays though it lies below an old root")
            << slot("qt_prfxpath=", "/usr/local/qt5pi") + slot("qt_epfxpath=", "/old") << QString()
            << slot("qt_prfxpath=", "/usr/local/qt5pi") + slot("qt_epfxpath=", "/new/qt") << QStringList();
        QTest::newRow("no slot is written past its record, whatever zeros follow it")
            << slot("qt_epfxpath=", "/old", 264) + QByteArray(64, '\0') + end << QString("long")
            << slot("qt_epfxpath=", "/old", 264) + QByteArray(64, '\0') + end << QStringList();
        QTest::newRow("a prefix read with a fixed length is padded with / to that length")
            << slot("qt_prfxpath=", "/opt/qt-5.15") + end << QString("fixed")
            << slot("qt_prfxpath=", "/new/qt/////") + end << QStringList();
        QTest::newRow("a prefix read with a fixed length too short for the new root leaves every slot as it was")
            << slot("qt_docspath=", "/usr/doc") + slot("qt_prfxpath=", "/usr") + end << QString("fixed")
            << slot("qt_docspath=", "/usr/doc") + slot("qt_prfxpath=", "/usr") + end << QStringList{QStringLiteral("7"), QStringLiteral("4")};
        QTest::newRow("a prefix padded by an earlier patch, without its backup, is padded again from its path")
            << slot("qt_prfxpath=", "/old////") + end << QString("fixed") << slot("qt_prfxpath=", "/new/qt/") + end << QStringList();
        QTest::newRow("a Windows file's record of 524 bytes takes a value longer than 268")
            << "MZ" + slot("qt_epfxpath=", "/old", 520) + end << QString("long") << "MZ" + slot("qt_epfxpath=", "/new/" + QByteArray(260, 'q'), 520) + end
            << QStringList();
        QTest::newRow("a relocatable QtCore's slot is never written")
            << slot("qt_prfxpath=", "/usr") + end << QString("relocatable") << slot("qt_prfxpath=", "/usr") + end << QStringList();
    }

    void laterSlotRule()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, build);
        QFETCH(QByteArray, expected);
        QFETCH(QStringList, lengths);
        SlotRule rule(qt5Generation().slotKeys, SlotPlacement::BelowOldRoot);
        rule.oldRoots = {"/old", "/usr", "/opt/qt-5.15"};
        rule.keptPrefixes = {"/usr/local/qt5pi/"};
        rule.record = 268;
        rule.windowsRecord = 524;
        rule.fixedPrefixLength = build == QLatin1String("fixed");
        rule.unread = build == QLatin1String("relocatable");
        const QByteArray root = build == QLatin1String("long") ? "/new/" + QByteArray(260, 'q') : QByteArray("/new/qt");
        const SlotRewrite rewrite = rewriteSlots(data, root, rule);
        QCOMPARE(data, expected);
        QCOMPARE(rewrite.tooSmall.isEmpty(), build != QLatin1String("long") || data.startsWith("MZ"));
        const QStringList said = rewrite.fixedLength < 0 ? QStringList()
            : QStringList{QString::number(rewrite.neededLength), QString::number(rewrite.fixedLength)};
        QCOMPARE(said, lengths);
    }

    // The text rules on a file that holds `current` and whose backup holds `backup`, patched for /here.
    void textPatch_data()
    {
        QTest::addColumn<QByteArray>("backup");
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<bool>("deep");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("editsKept");
        const QByteArray cache = "QT_BUILD_TREE = /old\nQMAKE_RPATHDIR += \"/old/lib\"\n";
        QTest::newRow("a line appended after a patch is kept, the rest computed again from the backup")
            << cache << QByteArray("QT_BUILD_TREE =/there\nQMAKE_RPATHDIR += \"/old/lib\"\nQMAKE_CXXFLAGS += -DMY_FLAG\n") << false
            << QByteArray("QT_BUILD_TREE =/here\nQMAKE_RPATHDIR += \"/old/lib\"\nQMAKE_CXXFLAGS += -DMY_FLAG\n") << true;
        QTest::newRow("an assignment edited after a patch keeps its edit, its root rewritten")
            << QByteArray("QMAKESPEC = /old/mkspecs/linux-g++\n") << QByteArray("QMAKESPEC =/there/mkspecs/linux-g++-64\n") << false
            << QByteArray("QMAKESPEC =/here/mkspecs/linux-g++-64\n") << true;
        QTest::newRow("a line --deep wrote stays relocated under a plain patch, for the new root")
            << cache << QByteArray("QT_BUILD_TREE =/there\nQMAKE_RPATHDIR += \"/there/lib\"\n") << false
            << QByteArray("QT_BUILD_TREE =/here\nQMAKE_RPATHDIR += \"/here/lib\"\n") << false;
        QTest::newRow("a root holding \"mkspecs\" is recognised as the tool's own line")
            << QByteArray("QMAKESPEC = /old/mkspecs/linux-g++\n") << QByteArray("QMAKESPEC =/x/mkspecs-dir/mkspecs/linux-g++\n")
            << false << QByteArray("QMAKESPEC =/here/mkspecs/linux-g++\n") << false;
        QTest::newRow("a file that ended with a line ending keeps one, CR LF becoming LF")
            << QByteArray("QT_BUILD_TREE = /old\r\nX = 1\r\n") << QByteArray("QT_BUILD_TREE = /old\r\nX = 1\r\n") << true
            << QByteArray("QT_BUILD_TREE =/here\nX = 1\n") << false;
        QTest::newRow("a line that already names the root stays as written; a quoted one is rewritten unquoted, whole")
            << QByteArray("QT_BUILD_TREE = $$quote(/here)\nQMAKESPEC = \"/old/mkspecs/linux-g++\"\n")
            << QByteArray("QT_BUILD_TREE = $$quote(/here)\nQMAKESPEC = \"/old/mkspecs/linux-g++\"\n") << true
            << QByteArray("QT_BUILD_TREE = $$quote(/here)\nQMAKESPEC =/here/mkspecs/linux-g++\n") << false;
        QTest::newRow("a line the tool wrote that reads as another line of the backup is computed again from its own")
            << QByteArray("QMAKE_RPATHDIR += /there/lib\nQMAKE_RPATHDIR += /old/lib\n")
            << QByteArray("QMAKE_RPATHDIR += /there/lib\nQMAKE_RPATHDIR += /there/lib\n") << true
            << QByteArray("QMAKE_RPATHDIR += /there/lib\nQMAKE_RPATHDIR += /here/lib\n") << false;
        QTest::newRow("a quoted path ending in a CR is written without it, so that it reads back as written")
            << QByteArray("QMAKESPEC = '/old/mkspecs/linux-g++\r'\n") << QByteArray("QMAKESPEC = '/old/mkspecs/linux-g++\r'\n") << false
            << QByteArray("QMAKESPEC =/here/mkspecs/linux-g++\n") << false;
        QTest::newRow("a quoted path that already names the root stays, its CR within the quotes")
            << QByteArray("QMAKESPEC = '/here/mkspecs/linux-g++\r'\n") << QByteArray("QMAKESPEC = '/here/mkspecs/linux-g++\r'\n") << false
            << QByteArray("QMAKESPEC = '/here/mkspecs/linux-g++\r'\n") << false;
        QTest::newRow("the same line as an earlier version wrote it, with its CR, is known as the tool's own")
            << QByteArray("QMAKESPEC = '/old/mkspecs/linux-g++\r'\n") << QByteArray("QMAKESPEC =/there/mkspecs/linux-g++\r\n") << false
            << QByteArray("QMAKESPEC =/here/mkspecs/linux-g++\n") << false;
        QTest::newRow("a line ending an earlier version took away comes back")
            << QByteArray("QT_BUILD_TREE = /old\n") << QByteArray("QT_BUILD_TREE =/there") << false
            << QByteArray("QT_BUILD_TREE =/here\n") << false;
    }

    void textPatch()
    {
        QFETCH(QByteArray, backup);
        QFETCH(QByteArray, current);
        QFETCH(bool, deep);
        QFETCH(QByteArray, expected);
        QFETCH(bool, editsKept);
        TextRules rules;
        rules.configFile = true;
        rules.deep = deep;
        rules.relocation = {{"/old"}, "/here", [](const QByteArray &) { return true; }};
        const TextPatch patched = patchText(backup, current, rules, {"/there"});
        QCOMPARE(patched.content, expected);
        QCOMPARE(patched.editsKept, editsKept);
        // What an unpatch may put back without losing anything: the tool's own output, never an edit.
        QCOMPARE(writtenByTool(backup, current, rules, {"/there"}), !editsKept);
    }

    // The host Qt's place a kit's CMake file records, taken only where the tool may write it into a line.
    void recordedHostPlaces_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QVector<QByteArray>>("expected");
        QTest::newRow("a place in quotes") << QByteArray("set(__qt_platform_initial_qt_host_path \"/home/qt/install\")")
                                           << QVector<QByteArray>{"/home/qt/install"};
        QTest::newRow("a place holding a line break is none")
            << QByteArray("set(__qt_platform_initial_qt_host_path \"/home/qt\r\n/install\")") << QVector<QByteArray>();
    }

    void recordedHostPlaces()
    {
        QFETCH(QByteArray, line);
        QFETCH(QVector<QByteArray>, expected);
        QCOMPARE(recordedHostPrefixes(qt6Generation(), QStringLiteral("lib/cmake/Qt6/Qt6Dependencies.cmake"), line), expected);
    }

    // Lines crafted to share one hash cost a bounded number of comparisons each, not one per line before
    // them; the first ones are still found, the others are taken for lines the tool did not write.
    void lineIndexBoundsCollisions()
    {
        QVector<QByteArray> lines;
        for (int i = 0; i < 5000; ++i)
            lines << QByteArray::number(i);
        qint64 remade = 0;
        LineIndex index([&](quint64 id) { ++remade; return lines.at(int(id)); }, [](const QByteArray &) { return 7u; });
        for (int i = 0; i < lines.size(); ++i)
            index.insert(lines.at(i), quint64(i));
        quint64 id = 0;
        QVERIFY(index.find("0", &id) && id == 0);
        QVERIFY(!index.find("4999", &id) && !index.find("none", &id));
        QVERIFY2(remade <= 64 * qint64(lines.size() + 3), qPrintable(QString::number(remade)));
    }

    // What a restore refuses before it writes, each with its reason; its dry run foresees the same.
    void restoreRefusals_data()
    {
        QTest::addColumn<QString>("setup"); // shell in the installation, whose lib/libQtCore.so.back exists
        QTest::addColumn<QString>("file");
        QTest::addColumn<FileOutcome>("expected");
        const QString lib = QStringLiteral("lib/libQtCore.so");
        QTest::newRow("a broken link") << "ln -s gone lib/libQtCore.so" << lib << failed(ReasonCode::FileNotWritten, Cause::BrokenLink);
        QTest::newRow("a target that is not a regular file, never opened") << "mkfifo lib/pipe && ln -s pipe lib/libQtCore.so"
                                                                            << lib << failed(ReasonCode::FileNotRead, Cause::NotRegularFile);
        QTest::newRow("a backup that is not a regular file") << "echo x >lib/libQtCore.so && rm lib/libQtCore.so.back && mkdir lib/libQtCore.so.back"
                                                             << lib << failed(ReasonCode::BackupNotRead, Cause::NotRegularFile);
        QTest::newRow("a binary of another length holding slots of its own is another build")
            << "printf 'qt_prfxpath=/other/build' >lib/libQtCore.so" << lib << failed(ReasonCode::OtherBuild);
        QTest::newRow("a configuration file with a line written since the last patch")
            << "printf 'QT_BUILD_TREE = /old\\n' >.qmake.cache.back && printf 'QT_BUILD_TREE =/new\\nMY_FLAG = 1\\n' >.qmake.cache"
            << ".qmake.cache" << failed(ReasonCode::EditedSincePatch);
    }

    void restoreRefusals()
    {
        QFETCH(QString, setup);
        QFETCH(QString, file);
        QFETCH(FileOutcome, expected);
#ifdef Q_OS_WIN
    QSKIP("laid out with a POSIX shell, links and FIFOs: scripts/windows.sh tries the CLI on a Windows installation");
#endif
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("lib/libQtCore.so.back")), "qt_prfxpath=/old"));
        QVERIFY(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cd \"$0\" && ") + setup, dir.path()}) == 0);
        QCOMPARE(restoreBackup(dir.filePath(file), dir.path(), WriteMode::DryRun), expected);
        QCOMPARE(restoreBackup(dir.filePath(file), dir.path()), expected);
    }

    // Scripts tell outcomes apart by these names alone: each code and each cause has its own.
    void stableNamesAreDistinct()
    {
        QStringList reasons, causes;
        for (int code = int(ReasonCode::None) + 1; code <= int(ReasonCode::QmakeQueryFailed); ++code)
            reasons << reasonCodeKey(ReasonCode(code));
        for (int cause = int(Cause::None) + 1; cause <= int(Cause::ElfTablesOverlap); ++cause)
            causes << causeKey(Cause(cause));
        for (const QStringList &keys : {reasons, causes}) {
            for (int i = 0; i < keys.size(); ++i) {
                const QString &key = keys.at(i);
                QVERIFY2(!key.isEmpty() && keys.count(key) == 1, qPrintable(QStringLiteral("#%1: \"%2\"").arg(i + 1).arg(key)));
            }
        }
    }

    // A sentence shows every value its reason carries, however many: each key too small, qmake's exit
    // code and what it said.
    void sentenceShowsEveryArgument_data()
    {
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("slots too small for two keys name both")
            << Reason(ReasonCode::SlotsTooSmall, {QStringLiteral("qt_prfxpath="), QStringLiteral("qt_docspath=")})
            << QStringList{QStringLiteral("qt_prfxpath="), QStringLiteral("qt_docspath=")};
        Reason exited = Failure{Cause::ExitCode, QStringLiteral("3"), false}.as(ReasonCode::QmakeQueryFailed);
        exited.args = QStringList{QStringLiteral("bin/qmake"), QStringLiteral("Could not find qmake.conf")};
        QTest::newRow("a qmake that exits with an error is named with its code and what it said")
            << exited << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("3"), QStringLiteral("Could not find qmake.conf")};
        QTest::newRow("an old root a RUNPATH still names is named")
            << Reason(ReasonCode::SearchPathNamesOldRoot, {QStringLiteral("/old/qt")}) << QStringList{QStringLiteral("/old/qt")};
    }

    void sentenceShowsEveryArgument()
    {
        QFETCH(Reason, reason);
        QFETCH(QStringList, shown);
        const QString text = reasonText(reason);
        for (const QString &value : qAsConst(shown))
            QVERIFY2(text.contains(value), qPrintable(text));
    }

    // A dry run's files weighed in turn against the room a file system says it has: each "name:backup:new"
    // is a file of the directory "a" or "b" needing so many units of 8 KiB, whose old file holds one unit;
    // "+" after the name gives that old file a second name.
    void spaceForecast_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<qint64>("room");      // of each file system, in units
        QTest::addColumn<qint64>("blockSize"); // in bytes
        QTest::addColumn<QStringList>("expected"); // "changed" or the failure's code/cause, in turn
        const QString full = QStringLiteral("file-not-written/no-space");
        QTest::newRow("files that fit are as the dry run found them")
            << words("a/x:1:1 a/y:0:1") << qint64(3) << qint64(1) << words("changed changed");
        QTest::newRow("a backup that does not fit fails as the real run's backup would")
            << words("a/x:2:1") << qint64(1) << qint64(1) << QStringList{QStringLiteral("backup-not-made/no-space")};
        QTest::newRow("the backup fits and the new file does not: the backup's room stays taken")
            << words("a/x:2:2 a/y:0:2") << qint64(3) << qint64(1) << QStringList{full, full};
        QTest::newRow("the old file's room comes back once the new one is renamed over it")
            << words("a/x:0:1 a/y:0:1") << qint64(1) << qint64(1) << words("changed changed");
        QTest::newRow("an old file with another name keeps its room")
            << words("a/x+:0:1 a/y:0:1") << qint64(1) << qint64(1) << QStringList{QStringLiteral("changed"), full};
        QTest::newRow("each size takes whole blocks")
            << words("a/x:0:1") << qint64(2) << qint64(3 * 8192) << QStringList{full};
        QTest::newRow("each file system has its own room")
            << words("a/x+:0:1 b/y:0:1") << qint64(1) << qint64(1) << words("changed changed");
    }

    void spaceForecast()
    {
        QFETCH(QStringList, files);
        QFETCH(qint64, room);
        QFETCH(qint64, blockSize);
        QFETCH(QStringList, expected);

        const qint64 unit = 8192;
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        SpaceForecast forecast([&](const QString &directory) {
            return FileSystemSpace{QFileInfo(directory).fileName(), room * unit, blockSize};
        });
        QStringList found;
        for (const QString &file : files) {
            const QStringList parts = file.split(QLatin1Char(':'));
            QString name = parts.at(0);
            const bool otherName = name.endsWith(QLatin1Char('+'));
            name.remove(QLatin1Char('+'));
            const QString path = dir.filePath(name);
            QVERIFY(writeFile(path, QByteArray(int(unit), 'x')));
            if (otherName) {
#ifdef Q_OS_WIN
                QSKIP("a second name is made with link(), which Windows lacks");
#else
                QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(path + QStringLiteral("2")).constData()), 0);
#endif
            }
            FileOutcome outcome = changed;
            outcome.need = {parts.at(1).toLongLong() * unit, parts.at(2).toLongLong() * unit};
            const FileOutcome weighed = forecast.weigh(path, outcome);
            found << (weighed.isFailure() ? reasonFacts(weighed.reason) : outcomeStatusKey(weighed.status));
        }
        QCOMPARE(found, expected);
    }

    // The walk tells a file whose backup lies beside it from its directory's listing, and passes over
    // the backups themselves; asked to, it looks at each file's first bytes as it finds it, and passes
    // over one they refuse that has no backup and whose name is not kept.
    void walkTellsBackupsBeside()
    {
        QTemporaryDir dir;
        QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
        for (const char *name : {"lib/a.so", "lib/a.so.back", "lib/b.so", "plugins/c.so", "plugins/c.so.back", "lib/d.h", "lib/e.prl"})
            QVERIFY(writeFile(dir.filePath(QLatin1String(name)), "x"));
        QVERIFY(writeFile(dir.filePath(QStringLiteral("lib/b.so")), "\x7f" "ELF"));
        QStringList found;
        WalkLook look;
        look.wanted = [](const QByteArray &head) { return head.startsWith("\x7f" "ELF"); };
        look.keptByName = [](const QString &name) { return name.endsWith(QLatin1String(".prl")); };
        for (const WalkEntry &entry : walkInstallation(dir.path(), look))
            found << QDir(dir.path()).relativeFilePath(entry.path) + (entry.backupBeside ? QStringLiteral("+back") : QString())
                    + (entry.head == HeadLook::Wanted ? QStringLiteral("+elf") : entry.head == HeadLook::Unwanted ? QString() : QStringLiteral("?"));
        found.sort();
        QCOMPARE(found, (QStringList{QStringLiteral("lib/a.so+back"), QStringLiteral("lib/b.so+elf"), QStringLiteral("lib/e.prl?"),
                             QStringLiteral("plugins/c.so+back")}));
        // Handed over still open, the files the walk looked at and keeps leave its list.
        QStringList handed, listed;
        const auto handOver = [&](const WalkEntry &entry, ReadableFile &opened) {
            QByteArray head;
            handed << QDir(dir.path()).relativeFilePath(entry.path) + QLatin1Char(' ')
                    + (opened.readHead(2, &head) ? QString::fromLatin1(head.toHex()) : QStringLiteral("?"));
        };
        for (const WalkEntry &entry : walkInstallation(dir.path(), look, handOver))
            listed << QDir(dir.path()).relativeFilePath(entry.path);
        handed.sort();
        listed.sort();
#ifdef Q_OS_UNIX
        QCOMPARE(handed, (QStringList{QStringLiteral("lib/a.so 78"), QStringLiteral("lib/b.so 7f45"), QStringLiteral("plugins/c.so 78")}));
        QCOMPARE(listed, QStringList{QStringLiteral("lib/e.prl")});
#else
        QVERIFY(handed.isEmpty());
        QCOMPARE(listed, (QStringList{QStringLiteral("lib/a.so"), QStringLiteral("lib/b.so"), QStringLiteral("lib/e.prl"), QStringLiteral("plugins/c.so")}));
#endif
    }

    void resolvedDirectory()
    {
#ifdef Q_OS_WIN
        QSKIP("QFile::link makes a shortcut on Windows, which the system does not follow");
#endif
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("other/dir/sub"))));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("other/dir/sub")), dir.filePath(QStringLiteral("link"))));
        // As the system resolves it: up from where the link leads, not from the link's own place.
        QCOMPARE(resolvedQtPath(dir.filePath(QStringLiteral("link/../qt"))), QFileInfo(dir.filePath(QStringLiteral("other/dir"))).canonicalFilePath() + QStringLiteral("/qt"));
        QCOMPARE(resolvedQtPath(dir.filePath(QStringLiteral("a//b/./")) ), dir.filePath(QStringLiteral("a/b")));
    }

    // One run at a time per installation: what a second run meets, one that writes and one that only reads.
    void runLock_data()
    {
        QTest::addColumn<QString>("holder"); // the spelling of DIR through which another run holds the lock; empty: none
        QTest::addColumn<bool>("holderReads"); // that other run only reads
        QTest::addColumn<bool>("blocked");   // a directory lies where the lock file goes
        QTest::addColumn<Reason>("writing");
        QTest::addColumn<Reason>("reading");
        const Reason inProgress(ReasonCode::RunInProgress);
        QTest::newRow("while a run writes, a second run is refused, even one that only reads") << "qt" << false << false << inProgress << inProgress;
        QTest::newRow("the same tree reached through a link meets the same lock") << "link" << false << false << inProgress << inProgress;
        QTest::newRow("while a run reads, one that writes is refused and one that reads goes on") << "qt" << true << false << inProgress << Reason();
#ifdef Q_OS_WIN
        const Cause directory = Cause::AccessDenied; // what CreateFileW says of a directory
#else
        const Cause directory = Cause::IsDirectory;
#endif
        QTest::newRow("where no lock can be made, a run that writes is refused and one that reads goes on without it")
            << QString() << false << true << Reason(ReasonCode::RunLockNotMade, directory) << Reason();
        QTest::newRow("with no other run, the run takes the lock and leaves no file behind") << QString() << false << false << Reason() << Reason();
    }

    void runLock()
    {
        QFETCH(QString, holder);
        QFETCH(bool, holderReads);
        QFETCH(bool, blocked);
        QFETCH(Reason, writing);
        QFETCH(Reason, reading);
#ifdef Q_OS_WIN
        if (holder == QLatin1String("link"))
            QSKIP("QFile::link makes a shortcut on Windows, which the system does not follow");
#endif
        QTemporaryDir dir;
        const QString qt = dir.filePath(QStringLiteral("qt"));
        QVERIFY(QDir().mkpath(qt) && (holder != QLatin1String("link") || QFile::link(qt, dir.filePath(holder))));
        QVERIFY(!blocked || QDir().mkpath(qt + QStringLiteral("/.zel-qt-patcher.lock")));
        std::unique_ptr<RunLock> other;
        if (!holder.isEmpty()) {
            other = std::make_unique<RunLock>(dir.filePath(holder), holderReads ? RunAccess::ReadsOnly : RunAccess::Writes);
            QVERIFY(other->isHeld());
        }
        // The lock file is the tool's own: a walk passes over it (on Windows it could not even be read).
        QVERIFY(walkInstallation(qt).isEmpty());
        for (const RunAccess access : {RunAccess::Writes, RunAccess::ReadsOnly}) {
            const RunLock lock(qt, access);
            QCOMPARE(lock.refusal(), access == RunAccess::Writes ? writing : reading);
            QCOMPARE(lock.isHeld(), lock.refusal().isNone() && !blocked);
        }
        other.reset();
        QCOMPARE(QDir(qt).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), blocked ? 1 : 0);
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
        QTest::newRow("C, set by scripts that want the texts they always got") << "C" << "fr";
        QTest::newRow("no locale set at all") << "" << "fr";
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
