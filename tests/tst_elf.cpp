#include "patching/commandrun.h"
#include "patching/elfrunpath.h"
#include "testsupport.h"

Q_DECLARE_METATYPE(Reason)

class TestElf : public QObject
{
    Q_OBJECT

private slots:
    void searchPathRewrite_data();
    void searchPathRewrite();
    void relocatedThenRestored();
};

namespace {
QVector<QByteArray> splitBytes(const QByteArray &text, char separator)
{
    QVector<QByteArray> parts;
    for (const QByteArray &part : text.split(separator)) {
        if (!part.isEmpty())
            parts.append(part);
    }
    return parts;
}
} // namespace

void TestElf::searchPathRewrite_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("keep");          // bytes of the file kept, -1 for all
    QTest::addColumn<QByteArray>("oldRoots");
    QTest::addColumn<QByteArray>("newRoot");
    QTest::addColumn<QByteArray>("directory"); // of the file, below the new root
    QTest::addColumn<QByteArray>("after");     // the search path read afterwards
    QTest::addColumn<int>("changeable");       // bytes from the string's start that may change
    QTest::addColumn<int>("rewritten");
    QTest::addColumn<Reason>("failure");
    // A real 64-bit little-endian library whose symbol "extra" is the tail of its RUNPATH (41 bytes).
    const QString tiny = QStringLiteral("libtiny.so.1");
    const QByteArray kept = ":/usr/lib/extra", old = "/opt/oldqt-4.8.7-build";
    QTest::newRow("a tool in bin/ finds lib/ as $ORIGIN/../lib, the symbol sharing the tail kept")
        << tiny << -1 << old << QByteArray("/new") << QByteArray("bin") << "$ORIGIN/../lib" + kept << 36 << 1 << Reason();
    QTest::newRow("a library in lib/, old root with a trailing '/', is $ORIGIN")
        << tiny << -1 << old + '/' << QByteArray("/new") << QByteArray("lib") << "$ORIGIN" + kept << 36 << 1 << Reason();
    QTest::newRow("a plugin two levels down is $ORIGIN/../../lib")
        << tiny << -1 << old << QByteArray("/new") << QByteArray("plugins/sqldrivers") << "$ORIGIN/../../lib" + kept
        << 36 << 1 << Reason();
    QTest::newRow("the longest old root that names the entry wins")
        << tiny << -1 << "/opt " + old << QByteArray("/new") << QByteArray("lib") << "$ORIGIN" + kept << 36 << 1
        << Reason();
    QTest::newRow("an old root that only begins like the entry names another directory")
        << tiny << -1 << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("lib") << old + "/lib" + kept
        << 0 << 0 << Reason();
    QTest::newRow("an entry already below the new root, itself below the old root, is kept")
        << tiny << -1 << QByteArray("/opt") << old << QByteArray("lib") << old + "/lib" + kept << 0 << 0 << Reason();
    QTest::newRow("without section headers the search path is read but never rewritten")
        << QStringLiteral("libtiny-nosections.so.1") << -1 << old << QByteArray("/new") << QByteArray("lib")
        << old + "/lib" + kept << 0 << 0 << Reason(ReasonCode::ElfWithoutSections);
    QTest::newRow("a file cut short fails, unchanged")
        << tiny << 800 << old << QByteArray("/new") << QByteArray("lib") << QByteArray() << 0 << 0
        << Reason(ReasonCode::ElfMalformed, Cause::ElfSectionsOutside);
    // A real 32-bit big-endian library whose RUNPATH "/opt/oldqt/lib" ends with its version name "lib", given
    // an RPATH sharing that string and its version symbol's name taken away, so that only the version names it.
    const QString big = QStringLiteral("libbig.so.1");
    QTest::newRow("32-bit big-endian, one string for RPATH and RUNPATH, rewritten once before the version name")
        << big << -1 << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("lib") << QByteArray("$ORIGIN")
        << 11 << 1 << Reason();
    QTest::newRow("the absolute new path when $ORIGIN/../lib does not fit")
        << big << -1 << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("bin") << QByteArray("/new/lib")
        << 11 << 1 << Reason();
    QTest::newRow("neither fits: a failure, unchanged")
        << big << -1 << QByteArray("/opt/oldqt") << QByteArray("/opt/qt-new") << QByteArray("plugins/imageformats")
        << QByteArray("/opt/oldqt/lib") << 0 << 0 << Reason(ReasonCode::RunPathTooLong);
    // A real i386 library as the gcc driver links it: segments on 4 KiB pages, the writable one, which holds the
    // dynamic section, loaded a page above its file offset. Its RUNPATH is "/opt/oldqt-4.8.7-build/lib" (26 bytes).
    QTest::newRow("an i386 library laid out on pages, its dynamic section not at its address, is relocated")
        << QStringLiteral("libi386.so.1") << -1 << old << QByteArray("/new") << QByteArray("lib")
        << QByteArray("$ORIGIN") << 26 << 1 << Reason();
}

void TestElf::searchPathRewrite()
{
    QFETCH(QString, file);
    QFETCH(int, keep);
    QFETCH(QByteArray, oldRoots);
    QFETCH(QByteArray, newRoot);
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, after);
    QFETCH(int, changeable);
    QFETCH(int, rewritten);
    QFETCH(Reason, failure);

    const QByteArray original = readFile(dataPath(QStringLiteral("elf/") + file)).left(keep < 0 ? INT_MAX : keep);
    QVERIFY(isElf(original));
    QByteArray elf = original;
    const SearchPathRewrite result = rewriteSearchPaths(elf, readSearchPaths(elf), splitBytes(oldRoots, ' '), newRoot,
                                                        newRoot + '/' + directory);
    QCOMPARE(result.failure, failure);
    QCOMPARE(result.rewritten, rewritten);
    // Every byte outside the string's changeable start is kept; what follows the new string there is zero.
    QByteArray expected = original;
    expected.replace(original.indexOf("/opt/oldqt"), changeable, after.leftJustified(changeable, '\0', true));
    QCOMPARE(elf, expected);
    const ElfSearchPaths read = readSearchPaths(elf);
    QCOMPARE(read.entries(), splitBytes(after, ':'));
    QCOMPARE(read.error, after.isEmpty() ? failure : Reason());
}

void TestElf::relocatedThenRestored()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.path();
    const QByteArray original = readFile(dataPath(QStringLiteral("elf/libtiny.so.1")));
    // The same library as a tool, a library and a plugin; only the ELF files outside backups and temporary
    // files count, and what lies below a directory named like a backup is reported, never changed.
    for (const char *path : {"bin/tool", "bin/tool.zeltmp", "lib/libtiny.so.1", "lib.backup/libold.so",
                             "plugins/sqldrivers/libqsql.so", "plugins/x/libelsewhere.so"})
        QVERIFY(writeFile(root + QLatin1Char('/') + QLatin1String(path), original));
    QVERIFY(writeFile(root + QStringLiteral("/lib/libcut.so"), original.left(800)));
    QVERIFY(writeFile(root + QStringLiteral("/lib/libQtCore.prl"), "QMAKE_PRL_LIBS = -L/opt/oldqt-4.8.7-build/lib"));
    QVERIFY(writeFile(root + QStringLiteral("/bin/qmake"), "qt_prfxpath=/opt/oldqt-4.8.7-build" + QByteArray(200, '\0')));
    QVERIFY(QFile::link(root + QStringLiteral("/lib/libtiny.so.1"), root + QStringLiteral("/lib/libtiny.so")));
    QVERIFY(QFile::link(root + QStringLiteral("/lib"), root + QStringLiteral("/linked")));
    const auto outcomes = [&root](Command command) {
        QStringList found;
        for (const FileReport &report : runPlan(planCommand(command, root, true))) {
            if (report.kind == FileKind::Binary)
                found << report.relativePath + QLatin1Char('=') + outcomeStatusKey(report.outcome.status);
        }
        return found.join(QLatin1Char(' '));
    };
    QCOMPARE(outcomes(Command::Patch), QStringLiteral("bin/qmake=changed bin/tool=changed lib.backup=failed lib/libcut.so=failed "
                                                      "lib/libtiny.so.1=changed plugins/sqldrivers/libqsql.so=changed "
                                                      "plugins/x/libelsewhere.so=changed"));
    QVERIFY(readFile(root + QStringLiteral("/plugins/sqldrivers/libqsql.so")).contains("$ORIGIN/../../lib:/usr/lib/extra"));
    QCOMPARE(outcomes(Command::Patch), QStringLiteral("bin/qmake=left-alone bin/tool=left-alone lib.backup=failed "
                                                      "lib/libcut.so=failed lib/libtiny.so.1=left-alone "
                                                      "plugins/sqldrivers/libqsql.so=left-alone plugins/x/libelsewhere.so=left-alone"));
    outcomes(Command::Unpatch);
    for (const char *path : {"bin/tool", "lib/libtiny.so.1", "plugins/sqldrivers/libqsql.so"})
        QCOMPARE(readFile(root + QLatin1Char('/') + QLatin1String(path)), original);
    // A file that cannot be read gets no backup.
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/lib/libcut.so.back")));
}

QTEST_GUILESS_MAIN(TestElf)
#include "tst_elf.moc"
