#include "restoring/commandrun.h"
#include "patching/formats/elfrunpath.h"
#include "testsupport.h"

Q_DECLARE_METATYPE(Reason)

class TestElf : public QObject
{
    Q_OBJECT

private slots:
    void searchPathRewrite_data();
    void searchPathRewrite();
    void deepPatchFindsQtsElfFiles();
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
// A little-endian 64-bit field of `elf`.
quint64 field(const QByteArray &elf, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(elf.at(at + i));
    return value;
}

void setField(QByteArray &elf, qsizetype at, int size, quint64 value)
{
    for (int i = 0; i < size; ++i, value >>= 8)
        elf[int(at + i)] = char(value & 0xff);
}

// The place of the dynamic entry tagged `tag` in libtiny (64-bit, little-endian), or -1.
qsizetype dynamicEntry(const QByteArray &elf, quint64 tag)
{
    const qsizetype sections = qsizetype(field(elf, 0x28, 8));
    for (quint64 i = 0; i < field(elf, 0x3c, 2); ++i) {
        const qsizetype section = sections + qsizetype(i * 64);
        if (field(elf, section + 4, 4) != 6) // SHT_DYNAMIC
            continue;
        for (qsizetype at = qsizetype(field(elf, section + 24, 8)); at < qsizetype(field(elf, section + 24, 8) + field(elf, section + 32, 8)); at += 16) {
            if (field(elf, at, 8) == tag)
                return at;
        }
    }
    return -1;
}

// libtiny as a crafted file would have it. "cut": its first 800 bytes; "climbing": its RUNPATH's first
// entry climbing out of /opt/oldqt with ".."; "shared": its RUNPATH starting four bytes later, inside its
// SONAME, which then ends where the RUNPATH does; "overlapping": every section but the dynamic ones a
// symbol table spanning the whole file.
QByteArray crafted(QByteArray elf, const QString &edit)
{
    if (edit == QLatin1String("cut"))
        return elf.left(800);
    if (edit == QLatin1String("climbing"))
        return elf.replace("/opt/oldqt-4.8.7-build/lib", "/opt/oldqt/../other-qt/lib");
    if (edit == QLatin1String("shared")) {
        const qsizetype runPath = dynamicEntry(elf, 29), soName = dynamicEntry(elf, 14);
        const quint64 start = field(elf, runPath + 8, 8);
        setField(elf, soName + 8, 8, start);
        setField(elf, runPath + 8, 8, start + 4);
    } else if (edit == QLatin1String("overlapping")) {
        const qsizetype sections = qsizetype(field(elf, 0x28, 8));
        quint64 strings = 0;
        for (quint64 i = 1; i < field(elf, 0x3c, 2); ++i) {
            if (field(elf, sections + qsizetype(i * 64) + 4, 4) == 6) // SHT_DYNAMIC, linked to its strings
                strings = field(elf, sections + qsizetype(i * 64) + 40, 4);
        }
        for (quint64 i = 1; i < field(elf, 0x3c, 2); ++i) {
            const qsizetype section = sections + qsizetype(i * 64);
            if (field(elf, section + 4, 4) == 6 || i == strings)
                continue;
            setField(elf, section + 4, 4, 11); // SHT_DYNSYM
            setField(elf, section + 40, 4, strings);
            setField(elf, section + 24, 8, 0);
            setField(elf, section + 32, 8, quint64(elf.size()));
        }
    }
    return elf;
}
} // namespace

void TestElf::searchPathRewrite_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("edit");      // crafted(): how the file is changed first
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
        << tiny << QString() << old << QByteArray("/new") << QByteArray("bin") << "$ORIGIN/../lib" + kept << 36 << 1 << Reason();
    QTest::newRow("a library in lib/, old root with a trailing '/', is $ORIGIN")
        << tiny << QString() << old + '/' << QByteArray("/new") << QByteArray("lib") << "$ORIGIN" + kept << 36 << 1 << Reason();
    QTest::newRow("a plugin two levels down is $ORIGIN/../../lib")
        << tiny << QString() << old << QByteArray("/new") << QByteArray("plugins/sqldrivers") << "$ORIGIN/../../lib" + kept
        << 36 << 1 << Reason();
    QTest::newRow("the longest old root that names the entry wins")
        << tiny << QString() << "/opt " + old << QByteArray("/new") << QByteArray("lib") << "$ORIGIN" + kept << 36 << 1
        << Reason();
    QTest::newRow("an old root that only begins like the entry names another directory")
        << tiny << QString() << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("lib") << old + "/lib" + kept
        << 0 << 0 << Reason();
    QTest::newRow("an entry already below the new root, itself below the old root, is kept")
        << tiny << QString() << QByteArray("/opt") << old << QByteArray("lib") << old + "/lib" + kept << 0 << 0 << Reason();
    QTest::newRow("without section headers the search path is read but never rewritten")
        << QStringLiteral("libtiny-nosections.so.1") << QString() << old << QByteArray("/new") << QByteArray("lib")
        << old + "/lib" + kept << 0 << 0 << Reason(ReasonCode::ElfWithoutSections);
    QTest::newRow("a file cut short fails, unchanged")
        << tiny << QStringLiteral("cut") << old << QByteArray("/new") << QByteArray("lib") << QByteArray() << 0 << 0
        << Reason(ReasonCode::ElfMalformed, Cause::ElfSectionsOutside);
    QTest::newRow("an entry that climbs out of the old root with '..' is another place, kept")
        << tiny << QStringLiteral("climbing") << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("lib")
        << "/opt/oldqt/../other-qt/lib" + kept << 0 << 0 << Reason();
    // A real 32-bit big-endian library whose RUNPATH "/opt/oldqt/lib" ends with its version name "lib", given
    // an RPATH sharing that string and its version symbol's name taken away, so that only the version names it.
    const QString big = QStringLiteral("libbig.so.1");
    QTest::newRow("a search path that another name ends inside is refused, unchanged")
        << tiny << QStringLiteral("shared") << QByteArray("/oldqt-4.8.7-build") << QByteArray("/new") << QByteArray("lib")
        << "/oldqt-4.8.7-build/lib" + kept << 0 << 0 << Reason(ReasonCode::RunPathShared);
    QTest::newRow("symbol tables larger together than the file are refused, read in one pass")
        << tiny << QStringLiteral("overlapping") << old << QByteArray("/new") << QByteArray("lib") << QByteArray() << 0 << 0
        << Reason(ReasonCode::ElfMalformed, Cause::ElfTablesOverlap);
    QTest::newRow("32-bit big-endian, one string for RPATH and RUNPATH, rewritten once before the version name")
        << big << QString() << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("lib") << QByteArray("$ORIGIN")
        << 11 << 1 << Reason();
    QTest::newRow("the absolute new path when $ORIGIN/../lib does not fit")
        << big << QString() << QByteArray("/opt/oldqt") << QByteArray("/new") << QByteArray("bin") << QByteArray("/new/lib")
        << 11 << 1 << Reason();
    QTest::newRow("neither fits: a failure, unchanged")
        << big << QString() << QByteArray("/opt/oldqt") << QByteArray("/opt/qt-new") << QByteArray("plugins/imageformats")
        << QByteArray("/opt/oldqt/lib") << 0 << 0 << Reason(ReasonCode::RunPathTooLong, {QStringLiteral("15"), QStringLiteral("10")});
    // A real i386 library as the gcc driver links it: segments on 4 KiB pages, the writable one, which holds the
    // dynamic section, loaded a page above its file offset. Its RUNPATH is "/opt/oldqt-4.8.7-build/lib" (26 bytes).
    QTest::newRow("an i386 library laid out on pages, its dynamic section not at its address, is relocated")
        << QStringLiteral("libi386.so.1") << QString() << old << QByteArray("/new") << QByteArray("lib")
        << QByteArray("$ORIGIN") << 26 << 1 << Reason();
}

void TestElf::searchPathRewrite()
{
    QFETCH(QString, file);
    QFETCH(QString, edit);
    QFETCH(QByteArray, oldRoots);
    QFETCH(QByteArray, newRoot);
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, after);
    QFETCH(int, changeable);
    QFETCH(int, rewritten);
    QFETCH(Reason, failure);

    const QByteArray original = crafted(readFile(dataPath(QStringLiteral("elf/") + file)), edit);
    QVERIFY(isElf(original));
    QByteArray elf = original;
    const SearchPathRewrite result = rewriteSearchPaths(elf, readSearchPaths(elf), splitBytes(oldRoots, ' '), newRoot,
                                                        newRoot + '/' + directory);
    QCOMPARE(result.failure, failure);
    QCOMPARE(result.rewritten, rewritten);
    // Every byte outside the string's changeable start is kept; what follows the new string there is zero.
    QByteArray expected = original;
    expected.replace(original.indexOf("oldqt") - 5, changeable, after.leftJustified(changeable, '\0', true));
    QCOMPARE(elf, expected);
    const ElfSearchPaths read = readSearchPaths(elf);
    QCOMPARE(read.entries(), splitBytes(after, ':'));
    QCOMPARE(read.error, after.isEmpty() ? failure : Reason());
}

void TestElf::deepPatchFindsQtsElfFiles()
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
    QCOMPARE(outcomes(Command::Patch), QStringLiteral("bin/qmake=changed bin/tool=changed lib.backup=left-alone lib/libcut.so=failed "
                                                      "lib/libtiny.so.1=changed plugins/sqldrivers/libqsql.so=changed "
                                                      "plugins/x/libelsewhere.so=changed"));
    QVERIFY(readFile(root + QStringLiteral("/plugins/sqldrivers/libqsql.so")).contains("$ORIGIN/../../lib:/usr/lib/extra"));
    // A file that cannot be read gets no backup.
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/lib/libcut.so.back")));
}

QTEST_GUILESS_MAIN(TestElf)
#include "tst_elf.moc"
