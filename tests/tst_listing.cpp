#include "patching/listing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList textFiles{QStringLiteral("mkspecs/default/qmake.conf"), QStringLiteral(".qmake.cache")};

// Makes each entry below `root`: "dir:bin/qmake" a directory, "link:lib/a.so=b.so" a symbolic
// link to b.so, anything else a small file.
bool makeEntries(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString kind = entry.section(QLatin1Char(':'), 0, 0);
        const QString relative = entry.section(QLatin1Char(':'), -1).section(QLatin1Char('='), 0, 0);
        const QString path = root + QLatin1Char('/') + relative;
        QFile file(path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        if (kind == QLatin1String("dir") ? !QDir().mkpath(path)
            : kind == QLatin1String("link") ? !QFile::link(entry.section(QLatin1Char('='), 1), path)
                                            : !file.open(QIODevice::WriteOnly) || file.write("content") != 7)
            return false;
    }
    return true;
}

} // namespace

// Which entries each command hands to its workers, and in which order.
class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void commandFilesFollowTheRules_data();
    void commandFilesFollowTheRules();
};

void TestListing::commandFilesFollowTheRules_data()
{
    QTest::addColumn<QStringList>("entries");
    // What each command lists, without the two text files that always follow.
    QTest::addColumn<QStringList>("patched");
    QTest::addColumn<QStringList>("restored");

    QTest::newRow("a qmake with another suffix is not listed")
        << QStringList{QStringLiteral("bin/qmake.bat"), QStringLiteral("bin/qmake-qt4"), QStringLiteral("bin/myqmake")}
        << QStringList() << QStringList();
    const QStringList both{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll")};
    QTest::newRow("qmake and qmake.exe are both listed, qmake first, before the bin libraries")
        << QStringList{QStringLiteral("bin/QtCore4.dll"), QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/qmake")} << both
        << both;
    const QStringList directories{QStringLiteral("bin/qmake"), QStringLiteral("lib/QtCore4.dll")};
    QTest::newRow("directories named like a pattern are listed, for the workers to leave alone")
        << QStringList{QStringLiteral("dir:bin/qmake"), QStringLiteral("dir:lib/QtCore4.dll")} << directories << directories;
    const QStringList upper{QStringLiteral("bin/QMake.EXE"), QStringLiteral("bin/QTCORE4.DLL")};
    QTest::newRow("names are matched ignoring case") << upper << upper << upper;
    QTest::newRow("a bin library with something before QtCore is visited by unpatch only")
        << QStringList{QStringLiteral("bin/libQtCore4.dll"), QStringLiteral("bin/QtCore.so"), QStringLiteral("bin/libQtCore.so")}
        << QStringList{QStringLiteral("bin/QtCore.so")}
        << QStringList{QStringLiteral("bin/libQtCore.so"), QStringLiteral("bin/libQtCore4.dll"), QStringLiteral("bin/QtCore.so")};
    const QStringList libs{QStringLiteral("lib/libQtCore.a"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so"),
                           QStringLiteral("lib/QTCORE4.DLL"), QStringLiteral("lib/QtCore4.lib")};
    QTest::newRow("archives, libtool files, shared objects, DLLs and import libraries in lib, sorted ignoring case")
        << libs + QStringList{QStringLiteral("lib/libQtCore.prl"), QStringLiteral("lib/libQtGui.so"), QStringLiteral("lib/QtCore4.pdb")}
        << libs << libs;
    const QStringList unversioned{QStringLiteral("lib/libQtCore.so")};
    QTest::newRow("versioned shared objects are never listed")
        << QStringList{QStringLiteral("lib/libQtCore.so.4"), QStringLiteral("lib/libQtCore.so.4.8.7"), QStringLiteral("lib/libQtCore.so"),
                       QStringLiteral("bin/QtCore.so.4"), QStringLiteral("lib/libQtCore.so.4.8.7.debug")}
        << unversioned << unversioned;
    const QStringList qmake{QStringLiteral("bin/qmake")};
    QTest::newRow("backups are never listed")
        << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.back"), QStringLiteral("bin/QtCore4.dll.back"),
                       QStringLiteral("lib/libQtCore.so.back"), QStringLiteral("lib/libQtCore.a.back")}
        << qmake << qmake;
    const QStringList links{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so")};
    QTest::newRow("links are listed, dangling links are not")
        << QStringList{QStringLiteral("lib/libQtCore.so.4.8.7"), QStringLiteral("link:lib/libQtCore.so=libQtCore.so.4.8.7"),
                       QStringLiteral("link:lib/libQtCored.so=missing.so.4"), QStringLiteral("link:bin/qmake=../lib")}
        << links << links;
    QTest::newRow("hidden entries are not listed")
        << QStringList{QStringLiteral("lib/.libQtCore.so"), QStringLiteral("bin/.QtCore4.dll"), QStringLiteral("bin/.libQtCore4.so")}
        << QStringList() << QStringList();
    QTest::newRow("no bin nor lib, nor the text files: only the text files, missing as they are")
        << QStringList() << QStringList() << QStringList();
    QTest::newRow("a file where bin should be lists nothing there")
        << QStringList{QStringLiteral("bin"), QStringLiteral("lib/libQtCore.so")} << unversioned << unversioned;
}

void TestListing::commandFilesFollowTheRules()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, patched);
    QFETCH(QStringList, restored);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QVERIFY(makeEntries(dir.path(), entries));
    for (Command command : {Command::Patch, Command::Unpatch}) {
        QStringList listed;
        const QVector<ListedFile> files = commandFiles(dir.path(), command);
        for (int i = 0; i < files.size(); ++i) {
            // Absolute paths; the binaries, then the two text files.
            QVERIFY2(files.at(i).path.startsWith(dir.path() + QLatin1Char('/')), qPrintable(files.at(i).path));
            QCOMPARE(files.at(i).kind, i < files.size() - 2 ? FileKind::Binary : FileKind::Text);
            listed << files.at(i).path.mid(dir.path().size() + 1);
        }
        QCOMPARE(listed, (command == Command::Patch ? patched : restored) + textFiles);
    }
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
