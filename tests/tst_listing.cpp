#include "patching/listing.h"

#include "testsupport.h"

#include <QTemporaryDir>

// Which entries each command hands to its workers, and in which order.
class TestListing : public QObject
{
    Q_OBJECT

private slots:
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
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (entry.startsWith(QLatin1String("dir:")))
                QVERIFY(QDir().mkpath(path));
            else if (entry.startsWith(QLatin1String("link:")))
                QVERIFY(QFile::link(QStringLiteral("libQtCore.so.4.8.7"), path));
            else
                QVERIFY(writeFile(path, "content"));
        }
        for (Command command : {Command::Patch, Command::Unpatch}) {
            QStringList listed;
            for (const ListedFile &file : ::commandFiles(dir.path(), command))
                listed << file.path.mid(dir.path().size() + 1) + (file.kind == FileKind::Text ? QStringLiteral(" (text)") : QString());
            const QStringList configFiles{QStringLiteral("mkspecs/default/qmake.conf (text)"), QStringLiteral(".qmake.cache (text)")};
            QCOMPARE(listed, (command == Command::Patch ? patched : restored) + configFiles);
        }
    }
};

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
