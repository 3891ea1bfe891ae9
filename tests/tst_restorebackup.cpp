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
using WorkerChecks::Installation;

Q_DECLARE_METATYPE(Qt4Fixture::InstallationOptions)

// The restore worker: every original byte back from the backups, written in one step.
class TestRestoreBackup : public QObject
{
    Q_OBJECT

private slots:
    void patchThenRestoreGivesBackEveryByte_data();
    void patchThenRestoreGivesBackEveryByte();
    void guards_data();
    void guards();
    void dryRunTellsWhatARealRunDoes();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";
}

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

    Installation qt(options);
    QVERIFY2(qt.valid, qPrintable(qt.error));
    const QStringList files = Qt4Fixture::installationFiles(options);
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
        for (const QString &link : Qt4Fixture::installationLinks(options).keys())
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
    QTest::newRow("below a directory named qt.backup nothing is restored")
        << "qt.backup/bin/qmake" << true << FileOutcome::leftAlone(Reason::pathHoldsBack());
    QTest::newRow("a backup handed in is not restored from its own backup")
        << "qt/bin/qmake.back" << true << FileOutcome::leftAlone(Reason::pathHoldsBack());
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
    const QByteArray backup = Qt4Fixture::binaryWithSlots(oldRoot);
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
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
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

void TestRestoreBackup::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");

    const QString systemWords; // the reason ends with the system's own words
    QTest::newRow("a link leading outside the installation")
        << "link to ../elsewhere/libQtCore.so.4.8.7" << Reason::linkOutsideInstallation();
    QTest::newRow("a link leading nowhere")
        << "link to libQtCore.so.4.8.9" << Reason::fileNotWritten(Reason::brokenLink());
    QTest::newRow("a directory where the backup should be")
        << "backup is a directory" << Reason::backupNotRead(Reason::notRegularFile());
    QTest::newRow("a directory where the file should be")
        << "file is a directory" << Reason::fileNotWritten(Reason::notRegularFile());
    QTest::newRow("a backup larger than what may be loaded") << "backup too large" << Reason::fileTooLarge();
    // Deleting first and copying after would leave no file at all here.
    QTest::newRow("a write cut short by the file-size limit") << "size limit" << Reason::fileNotWritten(systemWords);
    // Permission bits do not stop root: these rows run the worker as an unprivileged user.
    QTest::newRow("a read-only file in a writable directory")
        << "user, read-only file" << Reason::fileNotWritten(systemWords);
    QTest::newRow("a writable file in a read-only directory")
        << "user, read-only directory" << Reason::fileNotWritten(systemWords);
    QTest::newRow("a backup the user may not read") << "user, unreadable backup" << Reason::backupNotRead(systemWords);
}

void TestRestoreBackup::failureLeavesEverythingAsItWas()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    using namespace WorkerChecks;
    const auto has = [&fault](const char *words) { return fault.contains(QLatin1String(words)); };

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString path = root + QStringLiteral("/libQtCore.so");
    const QString outside = dir.filePath(QStringLiteral("elsewhere/libQtCore.so.4.8.7"));
    const QByteArray current = Qt4Fixture::binaryWithSlots("/opt/qt4");
    QString error;
    QVERIFY(QDir().mkpath(root) && QDir().mkpath(QFileInfo(outside).path()));
    QVERIFY2(Qt4Fixture::writeFile(outside, current, &error), qPrintable(error));
    if (has("link to"))
        QVERIFY(QFile::link(fault.section(QLatin1Char(' '), 2), path));
    else if (has("file is a directory"))
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
    else
        QVERIFY2(Qt4Fixture::writeFile(path, current, &error), qPrintable(error));
    if (has("backup is a directory"))
        QVERIFY(QDir().mkpath(path + QStringLiteral(".back")));
    else
        QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), Qt4Fixture::binaryWithSlots(oldRoot), &error),
                 qPrintable(error));
    const QStringList entries = entryNames(root);
    const QFileInfo before(path);

    FileOutcome outcome;
    if (has("user")) {
        const QFileDevice::Permissions none = {};
        QString whyNot;
        if (!runAsUser({{dir.path(), readOnlyDirectory},
                        {root, readOnlyDirectory | (has("read-only directory") ? none : writable)},
                        {path, readOnlyFile | (has("read-only file") ? none : writable)},
                        {path + QStringLiteral(".back"), has("unreadable backup") ? none : readOnlyFile}},
                       [&] { return restoreBackup(path, root); }, &outcome, &whyNot))
            QSKIP(qPrintable(whyNot));
    } else if (has("size limit")) {
        Qt4Fixture::FileSizeLimit limit(current.size() / 3);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = restoreBackup(path, root);
    } else {
        const qint64 previous = overrideMaxLoadableFileSize(has("backup too large") ? 4096 : 0);
        outcome = restoreBackup(path, root);
        overrideMaxLoadableFileSize(previous);
    }
    QVERIFY2(failedWith(outcome, reason), qPrintable(outcome.reason));
    QCOMPARE(entryNames(root), entries);
    QCOMPARE(Qt4Fixture::readFile(outside), current);
    const QFileInfo after(path);
    QCOMPARE(after.isSymLink(), before.isSymLink());
    QCOMPARE(after.isDir(), before.isDir());
    if (after.isFile())
        QCOMPARE(Qt4Fixture::readFile(path), current);
}

QTEST_GUILESS_MAIN(TestRestoreBackup)
#include "tst_restorebackup.moc"
