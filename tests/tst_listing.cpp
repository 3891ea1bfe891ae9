#include "patching/listing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(Command)

namespace {

const QStringList textFiles{QStringLiteral("mkspecs/default/qmake.conf"), QStringLiteral(".qmake.cache")};

// Makes the entries of an installation below `root`. Each item is a relative path,
// optionally prefixed with its kind: "dir:bin/qmake" makes a directory,
// "link:lib/libQtCore.so=libQtCore.so.4" a symbolic link with that target; anything else is a file.
bool makeEntries(const QString &root, const QStringList &entries, QString *error)
{
    for (const QString &entry : entries) {
        QString relative = entry;
        QString kind;
        const int colon = entry.indexOf(QLatin1Char(':'));
        if (colon > 0) {
            kind = entry.left(colon);
            relative = entry.mid(colon + 1);
        }
        QString target;
        if (kind == QLatin1String("link")) {
            const int eq = relative.indexOf(QLatin1Char('='));
            target = relative.mid(eq + 1);
            relative = relative.left(eq);
        }
        const QString path = root + QLatin1Char('/') + relative;
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            *error = QStringLiteral("cannot make the parent of ") + QDir::toNativeSeparators(path);
            return false;
        }
        bool ok = false;
        if (kind == QLatin1String("dir")) {
            ok = QDir().mkpath(path);
        } else if (kind == QLatin1String("link")) {
            ok = QFile::link(target, path);
        } else {
            QFile file(path);
            ok = file.open(QIODevice::WriteOnly) && file.write("content") == 7;
        }
        if (!ok) {
            *error = QStringLiteral("cannot make ") + QDir::toNativeSeparators(path);
            return false;
        }
    }
    return true;
}

QStringList relativeTo(const QString &root, const QVector<ListedFile> &files)
{
    QStringList relative;
    for (const ListedFile &file : files)
        relative.append(file.path.startsWith(root + QLatin1Char('/')) ? file.path.mid(root.size() + 1)
                                                                      : QStringLiteral("outside: ") + file.path);
    return relative;
}

} // namespace

// Which entries each command hands to its workers, and in which order.
class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void stepsOfEachCommand();
    void commandFilesFollowTheRules_data();
    void commandFilesFollowTheRules();
    void fixedFilesAreVisitedEvenWhenMissing();
    void kindsOfListedFiles();
    void listingIsTakenWhenAsked();
};

void TestListing::stepsOfEachCommand()
{
    const QStringList qmake{QStringLiteral("qmake"), QStringLiteral("qmake.exe")};
    const QStringList libs{QStringLiteral("*QtCore*.a"), QStringLiteral("*QtCore*.la"), QStringLiteral("*QtCore*.dll"),
                           QStringLiteral("*QtCore*.lib"), QStringLiteral("*QtCore*.so")};

    const QVector<CommandStep> patch = commandSteps(Command::Patch);
    const QVector<CommandStep> unpatch = commandSteps(Command::Unpatch);
    QCOMPARE(patch.size(), 5);
    QCOMPARE(unpatch.size(), 5);

    const QStringList where{QStringLiteral("bin"), QStringLiteral("bin"), QStringLiteral("lib"), textFiles.at(0),
                            textFiles.at(1)};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(patch.at(i).relativePath, where.at(i));
        QCOMPARE(unpatch.at(i).relativePath, where.at(i));
        QCOMPARE(patch.at(i).kind, i < 3 ? FileKind::Binary : FileKind::Text);
        QCOMPARE(unpatch.at(i).kind, patch.at(i).kind);
        QCOMPARE(patch.at(i).isListing(), i < 3);
        QCOMPARE(unpatch.at(i).isListing(), i < 3);
    }
    QCOMPARE(patch.at(0).patterns, qmake);
    QCOMPARE(unpatch.at(0).patterns, qmake);
    QCOMPARE(patch.at(2).patterns, libs);
    QCOMPARE(unpatch.at(2).patterns, libs);
    // The one difference: the unpatch command also visits bin names with something before QtCore.
    QCOMPARE(patch.at(1).patterns, (QStringList{QStringLiteral("QtCore*.dll"), QStringLiteral("QtCore*.so")}));
    QCOMPARE(unpatch.at(1).patterns, (QStringList{QStringLiteral("*QtCore*.dll"), QStringLiteral("*QtCore*.so")}));
}

void TestListing::commandFilesFollowTheRules_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<Command>("command");
    QTest::addColumn<QStringList>("expected"); // without the two fixed text files, which always follow

    const QStringList both{QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/qmake")};
    QTest::newRow("qmake and qmake.exe are both patched, qmake first")
        << both << Command::Patch << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe")};
    QTest::newRow("qmake and qmake.exe are both restored, qmake first")
        << both << Command::Unpatch << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe")};
    QTest::newRow("qmake.exe alone is listed")
        << QStringList{QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/moc.exe")} << Command::Patch
        << QStringList{QStringLiteral("bin/qmake.exe")};
    QTest::newRow("a qmake with another suffix is not listed")
        << QStringList{QStringLiteral("bin/qmake.bat"), QStringLiteral("bin/qmake-qt4"), QStringLiteral("bin/myqmake")}
        << Command::Patch << QStringList{};

    const QStringList binDlls{QStringLiteral("bin/QtCored4.dll"), QStringLiteral("bin/QtCore4.dll"),
                              QStringLiteral("bin/QtGui4.dll")};
    QTest::newRow("QtCore4.dll comes before QtCored4.dll")
        << binDlls << Command::Patch << QStringList{QStringLiteral("bin/QtCore4.dll"), QStringLiteral("bin/QtCored4.dll")};
    QTest::newRow("an upper-case QTCORE4.DLL in bin is patched")
        << QStringList{QStringLiteral("bin/QTCORE4.DLL")} << Command::Patch << QStringList{QStringLiteral("bin/QTCORE4.DLL")};
    QTest::newRow("an upper-case QTCORE4.DLL in bin is restored")
        << QStringList{QStringLiteral("bin/QTCORE4.DLL")} << Command::Unpatch
        << QStringList{QStringLiteral("bin/QTCORE4.DLL")};
    QTest::newRow("mixed-case qmake names are listed")
        << QStringList{QStringLiteral("bin/QMake.EXE")} << Command::Patch << QStringList{QStringLiteral("bin/QMake.EXE")};

    const QStringList prefixed{QStringLiteral("bin/libQtCore4.dll"), QStringLiteral("bin/QtCore4.dll")};
    QTest::newRow("libQtCore4.dll in bin is not patched")
        << prefixed << Command::Patch << QStringList{QStringLiteral("bin/QtCore4.dll")};
    QTest::newRow("libQtCore4.dll in bin is visited by unpatch")
        << prefixed << Command::Unpatch
        << QStringList{QStringLiteral("bin/libQtCore4.dll"), QStringLiteral("bin/QtCore4.dll")};
    QTest::newRow("libQtCore4.dll in lib is patched")
        << QStringList{QStringLiteral("lib/libQtCore4.dll")} << Command::Patch
        << QStringList{QStringLiteral("lib/libQtCore4.dll")};
    QTest::newRow("a shared object in bin is patched when its name begins with QtCore")
        << QStringList{QStringLiteral("bin/QtCore.so"), QStringLiteral("bin/libQtCore.so")} << Command::Patch
        << QStringList{QStringLiteral("bin/QtCore.so")};

    const QStringList versioned{QStringLiteral("lib/libQtCore.so.4"), QStringLiteral("lib/libQtCore.so.4.8.7"),
                                QStringLiteral("lib/libQtCore.so"), QStringLiteral("bin/QtCore.so.4"),
                                QStringLiteral("lib/libQtCore.so.4.8.7.debug")};
    QTest::newRow("versioned shared objects are never patched")
        << versioned << Command::Patch << QStringList{QStringLiteral("lib/libQtCore.so")};
    QTest::newRow("versioned shared objects are never restored")
        << versioned << Command::Unpatch << QStringList{QStringLiteral("lib/libQtCore.so")};

    const QStringList allKinds{QStringLiteral("lib/libQtCore.a"), QStringLiteral("lib/libQtCore.la"),
                               QStringLiteral("lib/QtCore4.lib"), QStringLiteral("lib/QtCored4.lib"),
                               QStringLiteral("lib/QtCore4.dll"), QStringLiteral("lib/libQtCore.prl"),
                               QStringLiteral("lib/libQtGui.so"), QStringLiteral("lib/QtCore4.pdb")};
    QTest::newRow("archives, libtool files, import libraries and DLLs in lib are listed")
        << allKinds << Command::Patch
        << QStringList{QStringLiteral("lib/libQtCore.a"), QStringLiteral("lib/libQtCore.la"),
                       QStringLiteral("lib/QtCore4.dll"), QStringLiteral("lib/QtCore4.lib"),
                       QStringLiteral("lib/QtCored4.lib")};

    QTest::newRow("a listing is sorted by name ignoring case, not by pattern order")
        << QStringList{QStringLiteral("lib/QTCORE4.DLL"), QStringLiteral("lib/QtCore4.a"),
                       QStringLiteral("lib/libQtCore.so")}
        << Command::Patch
        << QStringList{QStringLiteral("lib/libQtCore.so"), QStringLiteral("lib/QtCore4.a"),
                       QStringLiteral("lib/QTCORE4.DLL")};

    const QStringList backups{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.back"),
                              QStringLiteral("bin/QtCore4.dll.back"), QStringLiteral("lib/libQtCore.so.back"),
                              QStringLiteral("lib/libQtCore.a.back")};
    QTest::newRow("backups are never patched")
        << backups << Command::Patch << QStringList{QStringLiteral("bin/qmake")};
    QTest::newRow("backups are never restored")
        << backups << Command::Unpatch << QStringList{QStringLiteral("bin/qmake")};

    QTest::newRow("a directory named like a pattern is listed like a file")
        << QStringList{QStringLiteral("dir:bin/qmake"), QStringLiteral("dir:lib/QtCore4.dll")} << Command::Patch
        << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("lib/QtCore4.dll")};
    QTest::newRow("directories are not put first")
        << QStringList{QStringLiteral("lib/aQtCore.so"), QStringLiteral("dir:lib/zQtCore.dll")} << Command::Patch
        << QStringList{QStringLiteral("lib/aQtCore.so"), QStringLiteral("lib/zQtCore.dll")};

    QTest::newRow("links are listed, dangling links are not")
        << QStringList{QStringLiteral("lib/libQtCore.so.4.8.7"), QStringLiteral("link:lib/libQtCore.so=libQtCore.so.4.8.7"),
                       QStringLiteral("link:lib/libQtCored.so=missing.so.4"), QStringLiteral("link:bin/qmake=../lib")}
        << Command::Patch << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so")};

    QTest::newRow("hidden entries are not listed by patch")
        << QStringList{QStringLiteral("lib/.libQtCore.so"), QStringLiteral("lib/.QtCore4.dll"),
                       QStringLiteral("bin/.QtCore4.dll")}
        << Command::Patch << QStringList{};
    QTest::newRow("hidden entries are not listed by unpatch")
        << QStringList{QStringLiteral("lib/.libQtCore.so"), QStringLiteral("bin/.QtCore4.dll"),
                       QStringLiteral("bin/.libQtCore4.so")}
        << Command::Unpatch << QStringList{};

    QTest::newRow("missing bin and lib give empty listings")
        << QStringList{QStringLiteral("mkspecs/default/qmake.conf")} << Command::Patch << QStringList{};
    QTest::newRow("a file where bin should be gives an empty listing")
        << QStringList{QStringLiteral("bin"), QStringLiteral("lib/libQtCore.so")} << Command::Unpatch
        << QStringList{QStringLiteral("lib/libQtCore.so")};

    QTest::newRow("a whole Windows installation in order")
        << QStringList{QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll"),
                       QStringLiteral("bin/QtCored4.dll"), QStringLiteral("bin/QtGui4.dll"),
                       QStringLiteral("lib/QtCore4.lib"), QStringLiteral("lib/QtCored4.lib"),
                       QStringLiteral("lib/qtmain.lib"), QStringLiteral("lib/QtCore4.prl")}
        << Command::Patch
        << QStringList{QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll"),
                       QStringLiteral("bin/QtCored4.dll"), QStringLiteral("lib/QtCore4.lib"),
                       QStringLiteral("lib/QtCored4.lib")};
}

void TestListing::commandFilesFollowTheRules()
{
    QFETCH(QStringList, entries);
    QFETCH(Command, command);
    QFETCH(QStringList, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString error;
    QVERIFY2(makeEntries(dir.path(), entries, &error), qPrintable(error));

    const QVector<ListedFile> files = commandFiles(dir.path(), command);
    QCOMPARE(relativeTo(dir.path(), files), expected + textFiles);
}

void TestListing::fixedFilesAreVisitedEvenWhenMissing()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    for (Command command : {Command::Patch, Command::Unpatch}) {
        const QVector<ListedFile> files = commandFiles(dir.path(), command);
        QCOMPARE(files.size(), 2);
        QCOMPARE(files.at(0).path, dir.path() + QStringLiteral("/mkspecs/default/qmake.conf"));
        QCOMPARE(files.at(1).path, dir.path() + QStringLiteral("/.qmake.cache"));
        QVERIFY(!QFileInfo::exists(files.at(0).path));
    }
}

void TestListing::kindsOfListedFiles()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString error;
    QVERIFY2(makeEntries(dir.path(),
                         {QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so"),
                          QStringLiteral("mkspecs/default/qmake.conf"), QStringLiteral(".qmake.cache")},
                         &error),
             qPrintable(error));
    const QVector<ListedFile> files = commandFiles(dir.path(), Command::Patch);
    QCOMPARE(files.size(), 4);
    QCOMPARE(files.at(0).kind, FileKind::Binary);
    QCOMPARE(files.at(1).kind, FileKind::Binary);
    QCOMPARE(files.at(2).kind, FileKind::Text);
    QCOMPARE(files.at(3).kind, FileKind::Text);
    // Listed entries are handed over as absolute paths: the directory, a slash and the name.
    QCOMPARE(files.at(0).path, dir.path() + QStringLiteral("/bin/qmake"));
}

void TestListing::listingIsTakenWhenAsked()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const CommandStep libStep = commandSteps(Command::Patch).at(2);
    QVERIFY(takeListing(dir.path(), libStep).isEmpty());

    // A file that appears between two listings is seen by the later one.
    QString error;
    QVERIFY2(makeEntries(dir.path(), {QStringLiteral("lib/libQtCore.so")}, &error), qPrintable(error));
    const QFileInfoList listed = takeListing(dir.path(), libStep);
    QCOMPARE(listed.size(), 1);
    QCOMPARE(listed.at(0).fileName(), QStringLiteral("libQtCore.so"));

    const CommandStep cacheStep = commandSteps(Command::Patch).at(4);
    const QFileInfoList fixed = takeListing(dir.path(), cacheStep);
    QCOMPARE(fixed.size(), 1);
    QCOMPARE(fixed.at(0).absoluteFilePath(), dir.path() + QStringLiteral("/.qmake.cache"));
}

QTEST_GUILESS_MAIN(TestListing)
#include "tst_listing.moc"
