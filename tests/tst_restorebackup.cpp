#include "restoring/restorebackup.h"

#include "patching/binarypatcher.h"
#include "patching/filestore.h"
#include "patching/listing.h"
#include "patching/textpatcher.h"
#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using Qt4Fixture::InstallationOptions;

Q_DECLARE_METATYPE(Qt4Fixture::InstallationOptions)

// The restore worker: every original byte back from the backups. Its failures are tested
// beside the binary worker's; here too the one read only a direct call reaches.
class TestRestoreBackup : public QObject
{
    Q_OBJECT

private slots:
    void patchThenRestoreGivesBackEveryByte_data();
    void patchThenRestoreGivesBackEveryByte();
    void guards_data();
    void guards();
    void dryRunTellsWhatARealRunDoes();
    void readOfChangingLengthIsRefused();
};

void TestRestoreBackup::patchThenRestoreGivesBackEveryByte_data()
{
    QTest::addColumn<InstallationOptions>("options");

    QTest::newRow("a Linux installation with its library links") << InstallationOptions();
    InstallationOptions windows;
    windows.windowsStyle = true;
    windows.staticBuild = true;
    windows.layout.trailingSeparator = true;
    windows.config.lineEnding = Qt4Fixture::LineEnding::CrLf;
    windows.config.utf8Bom = true;
    windows.config.latin1Comment = true;
    QTest::newRow("a static Windows build with CR LF configuration files") << windows;
}

void TestRestoreBackup::patchThenRestoreGivesBackEveryByte()
{
    QFETCH(InstallationOptions, options);

    WorkerChecks::Installation qt(options);
    QVERIFY2(qt.valid, qPrintable(qt.error));
    const QStringList files = Qt4Fixture::installationFiles(options);
    const QStringList links = Qt4Fixture::installationLinks(options).keys();
    QMap<QString, QFileDevice::Permissions> permissions;
    for (const QString &relative : files)
        permissions.insert(relative, QFileInfo(qt.path(relative)).permissions());

    for (int round = 1; round <= 2; ++round) {
        // The files the two commands hand to the workers.
        for (const ListedFile &file : commandFiles(qt.root, Command::Patch)) {
            const FileOutcome outcome = file.kind == FileKind::Binary
                                            ? patchBinaryFile(qt.root.toLocal8Bit(), file.path)
                                            : patchTextFile(qt.root, file.path);
            QVERIFY2(!outcome.isFailure(), qPrintable(file.path + QStringLiteral(": ") + outcome.reason));
        }
        QVERIFY(Qt4Fixture::readFile(qt.path(files.first())) != Qt4Fixture::installationFile(files.first(), options));
        // The library was patched through its link; the backup is a regular file beside the link.
        for (const QString &link : links) {
            const QFileInfo backup(qt.path(link + QStringLiteral(".back")));
            QVERIFY(!backup.exists() || (backup.isFile() && !backup.isSymLink()));
            QVERIFY(QFileInfo(qt.path(link)).isSymLink());
        }
        if (!links.isEmpty())
            QVERIFY(Qt4Fixture::readFile(qt.path(links.first())) != Qt4Fixture::installationFile(links.first(), options));
        for (const ListedFile &file : commandFiles(qt.root, Command::Unpatch)) {
            const FileOutcome outcome = restoreBackup(file.path, qt.root);
            QVERIFY2(!outcome.isFailure(), qPrintable(file.path + QStringLiteral(": ") + outcome.reason));
        }
        for (const QString &relative : files) {
            QVERIFY2(Qt4Fixture::readFile(qt.path(relative)) == Qt4Fixture::installationFile(relative, options),
                     qPrintable(QStringLiteral("round %1: %2 differs from the original").arg(round).arg(relative)));
            QCOMPARE(QFileInfo(qt.path(relative)).permissions(), permissions.value(relative));
        }
        // A link inside the tree was written through, and stays a link.
        for (const QString &link : links)
            QVERIFY(QFileInfo(qt.path(link)).isSymLink());
        QVERIFY(!QFileInfo::exists(qt.path(QStringLiteral("lib/libQtCore.so.4.8.7.back"))));
        // A second restore in a row finds nothing left to do.
        for (const ListedFile &file : commandFiles(qt.root, Command::Unpatch))
            QCOMPARE(restoreBackup(file.path, qt.root), FileOutcome::leftAlone(Reason::upToDate()));
    }
}

void TestRestoreBackup::guards_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("withBackup");
    QTest::addColumn<FileOutcome>("expected");

    QTest::newRow("no backup beside the file") << "qt/bin/qmake" << false << FileOutcome::leftAlone(Reason::noBackup());
    QTest::newRow("no backup is reported before a .back in the path")
        << "qt.backup/bin/qmake" << false << FileOutcome::leftAlone(Reason::noBackup());
    QTest::newRow(".Back is another name: restored") << "qt.Back/bin/qmake" << true << FileOutcome::changed();
}

void TestRestoreBackup::guards()
{
    QFETCH(QString, file);
    QFETCH(bool, withBackup);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(file);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const QByteArray current = "patched content";
    const QByteArray backup = Qt4Fixture::binaryWithSlots("/home/builder/qt-4.8.7");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, current, &error), qPrintable(error));
    if (withBackup)
        QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), backup, &error), qPrintable(error));

    QCOMPARE(restoreBackup(path, dir.path()), expected);
    QCOMPARE(Qt4Fixture::readFile(path), expected.status == OutcomeStatus::Changed ? backup : current);
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back")), withBackup);
}

void TestRestoreBackup::dryRunTellsWhatARealRunDoes()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QString backupPath = path + QStringLiteral(".back");
    const QByteArray original = Qt4Fixture::qmakeCache("/home/builder/qt-4.8.7");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, "patched", &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(backupPath, original, &error), qPrintable(error));
    QVERIFY(QFile::setPermissions(backupPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), QByteArray("patched"));
    QCOMPARE(restoreBackup(path, dir.path()), FileOutcome::changed());
    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::leftAlone(Reason::upToDate()));
    // A missing configuration file comes back, with its backup's permissions.
    QVERIFY(QFile::remove(path));
    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::changed());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(restoreBackup(path, dir.path()), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(QFileInfo(path).permissions(), QFileInfo(backupPath).permissions());
    QCOMPARE(Qt4Fixture::readFile(backupPath), original);
}

void TestRestoreBackup::readOfChangingLengthIsRefused()
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

QTEST_GUILESS_MAIN(TestRestoreBackup)
#include "tst_restorebackup.moc"
