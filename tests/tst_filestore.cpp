#include "patching/filestore.h"

#include "patching/fileoutcome.h"
#include "qt4fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// The file operations under the workers that the worker tests cannot reach
// directly: whole reads, and where a write through a link lands.
class TestFileStore : public QObject
{
    Q_OBJECT

private slots:
    void loadsWholeFilesOnly_data();
    void loadsWholeFilesOnly();
    void readOfChangingLengthIsRefused();
    void resolvesWritesInsideTheRoot_data();
    void resolvesWritesInsideTheRoot();
};

void TestFileStore::loadsWholeFilesOnly_data()
{
    QTest::addColumn<qint64>("size"); // -1: no such file
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("tooLarge");

    QTest::newRow("an empty file") << qint64(0) << qint64(10) << true << false;
    QTest::newRow("a file of exactly the limit") << qint64(4096) << qint64(4096) << true << false;
    QTest::newRow("a file one byte over the limit") << qint64(4097) << qint64(4096) << false << true;
    QTest::newRow("a file that does not exist") << qint64(-1) << qint64(4096) << false << false;
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
    const QByteArray data = Qt4Fixture::filler(qMax(size, qint64(0)), 5);
    QString error;
    if (size >= 0)
        QVERIFY2(Qt4Fixture::writeFile(path, data, &error), qPrintable(error));

    const LoadedFile loaded = loadWholeFile(path, limit);
    QCOMPARE(loaded.ok, ok);
    QCOMPARE(loaded.tooLarge, tooLarge);
    QCOMPARE(loaded.data, ok ? data : QByteArray());
    QCOMPARE(loaded.error.isEmpty(), ok);
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

void TestFileStore::resolvesWritesInsideTheRoot_data()
{
    QTest::addColumn<QString>("linkTarget");     // empty: a plain file, no link
    QTest::addColumn<QString>("root");           // relative to the temporary directory
    QTest::addColumn<QString>("expectedTarget"); // empty: refused

    QTest::newRow("a plain file is its own target, whatever the root")
        << "" << "elsewhere" << "qt/lib/libQtCore.so";
    QTest::newRow("a link to another directory of the tree")
        << "../bin/libQtCore.so.4.8.7" << "qt" << "qt/bin/libQtCore.so.4.8.7";
    QTest::newRow("a chain of links inside the tree") << "libQtCore.so.4" << "qt" << "qt/lib/libQtCore.so.4.8.7";
    QTest::newRow("a link to a sibling whose name begins like the root")
        << "../../qt-old/lib/libQtCore.so.4.8.7" << "qt" << "";
    QTest::newRow("a link leading nowhere") << "libQtCore.so.9" << "qt" << "";
    QTest::newRow("a root that does not exist") << "libQtCore.so.4.8.7" << "no-such-root" << "";
}

void TestFileStore::resolvesWritesInsideTheRoot()
{
    QFETCH(QString, linkTarget);
    QFETCH(QString, root);
    QFETCH(QString, expectedTarget);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    QString error;
    for (const QString &file : {QStringLiteral("qt/lib/libQtCore.so.4.8.7"),
                                QStringLiteral("qt/bin/libQtCore.so.4.8.7"),
                                QStringLiteral("qt-old/lib/libQtCore.so.4.8.7")}) {
        QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(file)).absolutePath()));
        QVERIFY2(Qt4Fixture::writeFile(dir.filePath(file), "library", &error), qPrintable(error));
    }
    QVERIFY(QFile::link(QStringLiteral("libQtCore.so.4.8.7"), dir.filePath(QStringLiteral("qt/lib/libQtCore.so.4"))));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    const QString path = dir.filePath(QStringLiteral("qt/lib/libQtCore.so"));
    if (linkTarget.isEmpty())
        QVERIFY2(Qt4Fixture::writeFile(path, "library", &error), qPrintable(error));
    else
        QVERIFY(QFile::link(linkTarget, path));

    QString target;
    QCOMPARE(resolveInsideRoot(path, dir.filePath(root), &target), !expectedTarget.isEmpty());
    if (linkTarget.isEmpty())
        QCOMPARE(target, path);
    else if (!expectedTarget.isEmpty())
        QCOMPARE(target, QFileInfo(dir.filePath(expectedTarget)).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_filestore.moc"
