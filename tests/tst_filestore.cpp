#include "patching/filestore.h"

#include "faultinjection.h"
#include "patching/fileoutcome.h"
#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// The file operations under the workers: whole reads, one-step replacement,
// backups that are never replaced, and where a write through a link lands.
class TestFileStore : public QObject
{
    Q_OBJECT

private slots:
    void loadsWholeFilesOnly_data();
    void loadsWholeFilesOnly();
    void readOfChangingLengthIsRefused();
    void defaultLimitHoldsAnyQtLibrary();
    void replacementKeepsPermissions();
    void replacementCreatesAMissingFile();
    void failedReplacementLeavesTheFile();
    void resolvesWritesInsideTheRoot_data();
    void resolvesWritesInsideTheRoot();
    void backupIsWrittenOnlyWhereNothingIs_data();
    void backupIsWrittenOnlyWhereNothingIs();
    void backupIsCompleteOrAbsent();
    void makesBackupFromTheSource();
};

void TestFileStore::loadsWholeFilesOnly_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("tooLarge");

    QTest::newRow("an empty file") << qint64(0) << qint64(10) << true << false;
    QTest::newRow("a file of exactly the limit") << qint64(4096) << qint64(4096) << true << false;
    QTest::newRow("a file one byte over the limit") << qint64(4097) << qint64(4096) << false << true;
    QTest::newRow("a binary of a few hundred KiB") << qint64(300 * 1024) << maxLoadableFileSize() << true << false;
}

void TestFileStore::loadsWholeFilesOnly()
{
    QFETCH(qint64, size);
    QFETCH(qint64, limit);
    QFETCH(bool, ok);
    QFETCH(bool, tooLarge);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("file"));
    const QByteArray data = Qt4Fixture::filler(size, 5);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, data, &error), qPrintable(error));

    const LoadedFile loaded = loadWholeFile(path, limit);
    QCOMPARE(loaded.ok, ok);
    QCOMPARE(loaded.tooLarge, tooLarge);
    QCOMPARE(loaded.data, ok ? data : QByteArray());
    QCOMPARE(loaded.error.isEmpty(), ok);

    const LoadedFile missing = loadWholeFile(dir.filePath(QStringLiteral("missing")), limit);
    QVERIFY(!missing.ok);
    QVERIFY(!missing.tooLarge);
    QVERIFY(!missing.error.isEmpty());
}

void TestFileStore::readOfChangingLengthIsRefused()
{
    // The kernel's status files report a length of zero and then give more:
    // the same thing a file that grows while it is read looks like.
    const QString path = QStringLiteral("/proc/self/status");
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() != 0)
        QSKIP("no /proc status file of length zero on this system");
    const LoadedFile loaded = loadWholeFile(path);
    QVERIFY(!loaded.ok);
    QVERIFY(loaded.data.isEmpty());
    QCOMPARE(loaded.error, Reason::partialRead());
}

void TestFileStore::defaultLimitHoldsAnyQtLibrary()
{
    QVERIFY(maxLoadableFileSize() >= qint64(512) * 1024 * 1024);
    const qint64 previous = overrideMaxLoadableFileSize(100);
    QCOMPARE(maxLoadableFileSize(), qint64(100));
    QCOMPARE(overrideMaxLoadableFileSize(previous), qint64(100));
    QVERIFY(maxLoadableFileSize() >= qint64(512) * 1024 * 1024);
}

void TestFileStore::replacementKeepsPermissions()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, "old", &error), qPrintable(error));
    const QFileDevice::Permissions executable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadGroup | QFileDevice::ExeGroup;
    QVERIFY(QFile::setPermissions(path, executable));
    const QFileDevice::Permissions before = QFileInfo(path).permissions();

    const QByteArray data = Qt4Fixture::binaryWithSlots("/opt/qt4");
    QVERIFY2(replaceFileContent(path, data, &error), qPrintable(error));
    QCOMPARE(Qt4Fixture::readFile(path), data);
    QCOMPARE(QFileInfo(path).permissions(), before);
    QCOMPARE(WorkerChecks::entryNames(dir.path()), QStringList{QStringLiteral("qmake")});
}

void TestFileStore::replacementCreatesAMissingFile()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QString error;
    QVERIFY2(replaceFileContent(path, "QT_BUILD_TREE = /x", permissions, &error), qPrintable(error));
    QCOMPARE(Qt4Fixture::readFile(path), QByteArray("QT_BUILD_TREE = /x"));
    QCOMPARE(QFileInfo(path).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             permissions);
}

void TestFileStore::failedReplacementLeavesTheFile()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("QtCore4.dll"));
    const QByteArray old = Qt4Fixture::binaryWithSlots("C:/Qt/4.8.1");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, old, &error), qPrintable(error));

    bool replaced = true;
    {
        // Both a write cut short and a write refused outright must reach the caller.
        Qt4Fixture::FileSizeLimit limit(old.size() - 10);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        replaced = replaceFileContent(path, old + "more", &error);
    }
    QVERIFY(!replaced);
    QVERIFY(!error.isEmpty());
    QCOMPARE(Qt4Fixture::readFile(path), old);
    QCOMPARE(WorkerChecks::entryNames(dir.path()), QStringList{QStringLiteral("QtCore4.dll")});

    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("adir"))));
    error.clear();
    QVERIFY(!replaceFileContent(dir.filePath(QStringLiteral("adir")), "x", &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("adir"))).isDir());
}

void TestFileStore::resolvesWritesInsideTheRoot_data()
{
    QTest::addColumn<QString>("linkTarget"); // empty: a plain file, no link
    QTest::addColumn<QString>("root");       // relative to the temporary directory
    QTest::addColumn<bool>("inside");
    QTest::addColumn<QString>("expectedTarget"); // relative to the temporary directory

    QTest::newRow("a plain file is its own target") << "" << "qt" << true << "qt/lib/libQtCore.so";
    QTest::newRow("a plain file is not judged against the root") << "" << "elsewhere" << true << "qt/lib/libQtCore.so";
    QTest::newRow("a link to a file in the same directory")
        << "libQtCore.so.4.8.7" << "qt" << true << "qt/lib/libQtCore.so.4.8.7";
    QTest::newRow("a link to another directory of the tree")
        << "../bin/libQtCore.so.4.8.7" << "qt" << true << "qt/bin/libQtCore.so.4.8.7";
    QTest::newRow("a chain of links inside the tree")
        << "libQtCore.so.4" << "qt" << true << "qt/lib/libQtCore.so.4.8.7";
    QTest::newRow("a link leading out of the tree") << "../../outside/libQtCore.so.4.8.7" << "qt" << false << "";
    QTest::newRow("a link to a sibling whose name begins like the root")
        << "../../qt-old/lib/libQtCore.so.4.8.7" << "qt" << false << "";
    QTest::newRow("a link through a linked root") << "libQtCore.so.4.8.7" << "linked-qt" << true << "qt/lib/libQtCore.so.4.8.7";
    QTest::newRow("a link leading nowhere") << "libQtCore.so.9" << "qt" << false << "";
    QTest::newRow("a root that does not exist") << "libQtCore.so.4.8.7" << "no-such-root" << false << "";
}

void TestFileStore::resolvesWritesInsideTheRoot()
{
    QFETCH(QString, linkTarget);
    QFETCH(QString, root);
    QFETCH(bool, inside);
    QFETCH(QString, expectedTarget);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString error;
    for (const QString &file : {QStringLiteral("qt/lib/libQtCore.so.4.8.7"), QStringLiteral("qt/bin/libQtCore.so.4.8.7"),
                                QStringLiteral("outside/libQtCore.so.4.8.7"), QStringLiteral("qt-old/lib/libQtCore.so.4.8.7")}) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(file)).absolutePath()));
        QVERIFY2(Qt4Fixture::writeFile(dir.filePath(file), "library", &error), qPrintable(error));
    }
    QVERIFY(QFile::link(QStringLiteral("libQtCore.so.4.8.7"), dir.filePath(QStringLiteral("qt/lib/libQtCore.so.4"))));
    QVERIFY(QFile::link(QStringLiteral("qt"), dir.filePath(QStringLiteral("linked-qt"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    const QString relativePath = root == QLatin1String("linked-qt") ? QStringLiteral("linked-qt/lib/libQtCore.so")
                                                                    : QStringLiteral("qt/lib/libQtCore.so");
    const QString path = dir.filePath(relativePath);
    if (linkTarget.isEmpty())
        QVERIFY2(Qt4Fixture::writeFile(path, "library", &error), qPrintable(error));
    else
        QVERIFY(QFile::link(linkTarget, dir.filePath(QStringLiteral("qt/lib/libQtCore.so"))));

    QString target;
    QCOMPARE(resolveInsideRoot(path, dir.filePath(root), &target), inside);
    if (!inside)
        return;
    const QString expected = linkTarget.isEmpty() ? path : QFileInfo(dir.filePath(expectedTarget)).canonicalFilePath();
    QCOMPARE(target, expected);
}

void TestFileStore::backupIsWrittenOnlyWhereNothingIs_data()
{
    QTest::addColumn<QString>("existing"); // what already stands at the backup's name
    QTest::addColumn<int>("expected");

    QTest::newRow("nothing: the backup is made") << "" << int(BackupResult::Made);
    QTest::newRow("a file: kept as it is") << "file" << int(BackupResult::AlreadyThere);
    QTest::newRow("a directory: kept as it is") << "directory" << int(BackupResult::AlreadyThere);
    QTest::newRow("a dangling link: kept as it is") << "dangling link" << int(BackupResult::AlreadyThere);
}

void TestFileStore::backupIsWrittenOnlyWhereNothingIs()
{
    QFETCH(QString, existing);
    QFETCH(int, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString backup = dir.filePath(QStringLiteral("qmake.back"));
    QString error;
    if (existing == QLatin1String("file"))
        QVERIFY2(Qt4Fixture::writeFile(backup, "the true original", &error), qPrintable(error));
    else if (existing == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(backup));
    else if (existing == QLatin1String("dangling link"))
        QVERIFY(QFile::link(QStringLiteral("nowhere"), backup));
    QCOMPARE(entryExists(backup), !existing.isEmpty());

    const QByteArray data = Qt4Fixture::binaryWithSlots("/home/builder/qt-4.8.7");
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    QCOMPARE(int(writeBackupIfMissing(backup, data, permissions, &error)), expected);

    if (existing.isEmpty()) {
        QCOMPARE(Qt4Fixture::readFile(backup), data);
        QVERIFY(QFileInfo(backup).permissions() & QFileDevice::ExeOwner);
    } else if (existing == QLatin1String("file")) {
        QCOMPARE(Qt4Fixture::readFile(backup), QByteArray("the true original"));
    } else if (existing == QLatin1String("directory")) {
        QVERIFY(QFileInfo(backup).isDir());
    } else {
        QVERIFY(QFileInfo(backup).isSymLink());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nowhere"))));
    }
    QCOMPARE(WorkerChecks::entryNames(dir.path()), QStringList{QStringLiteral("qmake.back")});
}

void TestFileStore::backupIsCompleteOrAbsent()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString backup = dir.filePath(QStringLiteral("qmake.back"));
    const QByteArray data = Qt4Fixture::binaryWithSlots("/home/builder/qt-4.8.7");

    QString error;
    BackupResult result = BackupResult::Made;
    {
        Qt4Fixture::FileSizeLimit limit(data.size() / 2);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        result = writeBackupIfMissing(backup, data, QFileDevice::ReadOwner | QFileDevice::WriteOwner, &error);
    }
    QCOMPARE(int(result), int(BackupResult::Failed));
    QVERIFY(!error.isEmpty());
    QVERIFY(!entryExists(backup));
    QVERIFY(WorkerChecks::entryNames(dir.path()).isEmpty());
}

void TestFileStore::makesBackupFromTheSource()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString source = dir.filePath(QStringLiteral("QtCore4.dll"));
    const QByteArray data = Qt4Fixture::binaryWithSlots("C:/Qt/4.8.1");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(source, data, &error), qPrintable(error));

    QVERIFY2(makeBackupIfMissing(source, source + QStringLiteral(".back"), &error), qPrintable(error));
    QCOMPARE(Qt4Fixture::readFile(source + QStringLiteral(".back")), data);
    QVERIFY2(Qt4Fixture::writeFile(source, "changed since", &error), qPrintable(error));
    QVERIFY2(makeBackupIfMissing(source, source + QStringLiteral(".back"), &error), qPrintable(error));
    QCOMPARE(Qt4Fixture::readFile(source + QStringLiteral(".back")), data);

    error.clear();
    QVERIFY(!makeBackupIfMissing(dir.filePath(QStringLiteral("missing")), dir.filePath(QStringLiteral("missing.back")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!entryExists(dir.filePath(QStringLiteral("missing.back"))));
}

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_filestore.moc"
