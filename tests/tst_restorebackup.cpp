#include "restoring/restorebackup.h"

#include "faultinjection.h"
#include "outcomeasuser.h"
#include "patching/binarypatcher.h"
#include "patching/filestore.h"
#include "patching/textpatcher.h"
#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

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
    void missingConfigurationFileIsRecreated();
    void restoresThroughALinkInsideTheTree();
    void linkThatCannotBeWrittenThrough_data();
    void linkThatCannotBeWrittenThrough();
    void wrongKindOfEntryFails_data();
    void wrongKindOfEntryFails();
    void executableStaysExecutable();
    void dryRunTellsWithoutWriting();
    void tooLargeBackupIsNotLoaded();
    void failedWriteLeavesThePatchedFile();
    void refusedAccessAsAnUnprivilegedUser_data();
    void refusedAccessAsAnUnprivilegedUser();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";

// Whether the patch command's listings pick `relative` (a bin or lib entry).
bool listedForPatch(const QString &relative)
{
    const QString dir = relative.section(QLatin1Char('/'), 0, 0);
    const QString name = relative.section(QLatin1Char('/'), 1);
    const QStringList patterns = dir == QLatin1String("bin")
        ? QStringList{QStringLiteral("qmake"), QStringLiteral("qmake.exe"), QStringLiteral("QtCore*.dll"), QStringLiteral("QtCore*.so")}
        : QStringList{QStringLiteral("*QtCore*.a"), QStringLiteral("*QtCore*.la"), QStringLiteral("*QtCore*.dll"),
                      QStringLiteral("*QtCore*.lib"), QStringLiteral("*QtCore*.so")};
    for (const QString &pattern : patterns) {
        const QRegularExpression wildcard(QRegularExpression::wildcardToRegularExpression(pattern),
                                          QRegularExpression::CaseInsensitiveOption);
        if (wildcard.match(name).hasMatch())
            return true;
    }
    return false;
}

// Patches the files the patch command would hand to the workers, as the command would.
bool patchInstallation(const QString &root, const Qt4Fixture::InstallationOptions &options, QString *error)
{
    const QByteArray rootBytes = root.toLocal8Bit();
    QStringList entries = Qt4Fixture::installationFiles(options);
    entries += Qt4Fixture::installationLinks(options).keys();
    entries.sort();
    for (const QString &relative : entries) {
        const QString path = root + QLatin1Char('/') + relative;
        FileOutcome outcome;
        if ((relative.startsWith(QLatin1String("bin/")) || relative.startsWith(QLatin1String("lib/")))
            && listedForPatch(relative))
            outcome = patchBinaryFile(rootBytes, path);
        else if (relative == QLatin1String(".qmake.cache") || relative == QLatin1String("mkspecs/default/qmake.conf"))
            outcome = patchTextFile(root, path);
        else
            continue;
        if (outcome.isFailure()) {
            *error = relative + QStringLiteral(": ") + outcome.reason;
            return false;
        }
    }
    return true;
}
} // namespace

void TestRestoreBackup::patchThenRestoreGivesBackEveryByte_data()
{
    QTest::addColumn<Qt4Fixture::InstallationOptions>("options");

    Qt4Fixture::InstallationOptions linuxStyle;
    QTest::newRow("a Linux installation with its library links") << linuxStyle;
    Qt4Fixture::InstallationOptions windows;
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
    QFETCH(Qt4Fixture::InstallationOptions, options);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    QString error;
    const QStringList files = Qt4Fixture::makeInstallation(root, options, &error);
    QVERIFY2(!files.isEmpty(), qPrintable(error));
    const QStringList links = Qt4Fixture::installationLinks(options).keys();

    for (int round = 1; round <= 2; ++round) {
        QVERIFY2(patchInstallation(root, options, &error), qPrintable(error));
        bool anyChanged = false;
        for (const QString &relative : files)
            anyChanged = anyChanged || Qt4Fixture::readFile(root + QLatin1Char('/') + relative) != Qt4Fixture::installationFile(relative, options);
        QVERIFY(anyChanged);

        for (const QString &relative : files + links) {
            const QString path = root + QLatin1Char('/') + relative;
            const FileOutcome outcome = restoreBackup(path, root);
            const bool hasBackup = QFileInfo::exists(path + QStringLiteral(".back"));
            QVERIFY2(outcome.status != OutcomeStatus::Failed, qPrintable(relative + QStringLiteral(": ") + outcome.reason));
            if (!hasBackup)
                QCOMPARE(outcome, FileOutcome::leftAlone(Reason::noBackup()));
        }
        for (const QString &relative : files) {
            const QString path = root + QLatin1Char('/') + relative;
            QVERIFY2(Qt4Fixture::readFile(path) == Qt4Fixture::installationFile(relative, options),
                     qPrintable(QStringLiteral("round %1: %2 differs from the original").arg(round).arg(relative)));
            if (QFileInfo::exists(path + QStringLiteral(".back")))
                QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), Qt4Fixture::installationFile(relative, options));
        }
        for (const QString &relative : links)
            QVERIFY(QFileInfo(root + QLatin1Char('/') + relative).isSymLink());

        // A second restore in a row finds nothing left to do.
        for (const QString &relative : files + links) {
            const QString path = root + QLatin1Char('/') + relative;
            if (QFileInfo::exists(path + QStringLiteral(".back")))
                QCOMPARE(restoreBackup(path, root), FileOutcome::leftAlone(Reason::upToDate()));
        }
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

void TestRestoreBackup::missingConfigurationFileIsRecreated()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("mkspecs/default/qmake.conf"));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    const QByteArray backup = Qt4Fixture::qmakeConf(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), backup, &error), qPrintable(error));
    const QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QVERIFY(QFile::setPermissions(path + QStringLiteral(".back"), permissions));

    QCOMPARE(restoreBackup(path, dir.path()), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), backup);
    QCOMPARE(QFileInfo(path).permissions(), QFileInfo(path + QStringLiteral(".back")).permissions());
    QVERIFY(!(QFileInfo(path).permissions() & QFileDevice::ReadOther));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), backup);
}

void TestRestoreBackup::restoresThroughALinkInsideTheTree()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(root, Qt4Fixture::InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QString link = root + QStringLiteral("/lib/libQtCore.so");
    const QString target = root + QStringLiteral("/lib/libQtCore.so.4.8.7");
    const QByteArray original = Qt4Fixture::readFile(target);

    QCOMPARE(patchBinaryFile(root.toLocal8Bit(), link), FileOutcome::changed());
    QVERIFY(Qt4Fixture::readFile(target) != original);
    QCOMPARE(restoreBackup(link, root), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(target), original);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFile::symLinkTarget(link), QFileInfo(target).absoluteFilePath());
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".back")));
}

void TestRestoreBackup::linkThatCannotBeWrittenThrough_data()
{
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<FileOutcome>("expected");

    QTest::newRow("a link leading outside the installation")
        << "../../elsewhere/libQtCore.so.4.8.7" << FileOutcome::failed(Reason::linkOutsideInstallation());
    QTest::newRow("a link leading nowhere") << "libQtCore.so.4.8.9"
                                            << FileOutcome::failed(Reason::fileNotWritten(Reason::brokenLink()));
}

void TestRestoreBackup::linkThatCannotBeWrittenThrough()
{
    QFETCH(QString, linkTarget);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString outside = dir.filePath(QStringLiteral("elsewhere/libQtCore.so.4.8.7"));
    const QString link = root + QStringLiteral("/lib/libQtCore.so");
    QVERIFY(QDir().mkpath(QFileInfo(outside).absolutePath()));
    QVERIFY(QDir().mkpath(QFileInfo(link).absolutePath()));
    const QByteArray outsideContent = "somebody else's library";
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(outside, outsideContent, &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(link + QStringLiteral(".back"), Qt4Fixture::binaryWithSlots(oldRoot), &error),
             qPrintable(error));
    QVERIFY(QFile::link(linkTarget, link));

    QCOMPARE(restoreBackup(link, root), expected);
    QCOMPARE(Qt4Fixture::readFile(outside), outsideContent);
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(WorkerChecks::entryNames(QFileInfo(link).absolutePath()),
             QStringList({QStringLiteral("libQtCore.so"), QStringLiteral("libQtCore.so.back")}));
}

void TestRestoreBackup::wrongKindOfEntryFails_data()
{
    QTest::addColumn<QString>("directoryAt"); // "backup" or "file"
    QTest::addColumn<FileOutcome>("expected");

    QTest::newRow("a directory where the backup should be")
        << "backup" << FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile()));
    QTest::newRow("a directory where the file should be")
        << "file" << FileOutcome::failed(Reason::fileNotWritten(Reason::notRegularFile()));
}

void TestRestoreBackup::wrongKindOfEntryFails()
{
    QFETCH(QString, directoryAt);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    const QString backupPath = path + QStringLiteral(".back");
    QString error;
    if (directoryAt == QLatin1String("backup")) {
        QVERIFY(QDir().mkpath(backupPath));
        QVERIFY2(Qt4Fixture::writeFile(path, "patched", &error), qPrintable(error));
    } else {
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        QVERIFY2(Qt4Fixture::writeFile(backupPath, "original", &error), qPrintable(error));
    }

    QCOMPARE(restoreBackup(path, dir.path()), expected);
    if (directoryAt == QLatin1String("backup")) {
        QCOMPARE(Qt4Fixture::readFile(path), QByteArray("patched"));
        QVERIFY(QFileInfo(backupPath).isDir());
    } else {
        QVERIFY(QFileInfo(path + QStringLiteral("/inside")).isDir());
        QCOMPARE(Qt4Fixture::readFile(backupPath), QByteArray("original"));
    }
}

void TestRestoreBackup::executableStaysExecutable()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(root, Qt4Fixture::InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QString qmake = root + QStringLiteral("/bin/qmake");
    const QFileDevice::Permissions before = QFileInfo(qmake).permissions();
    QVERIFY(before & QFileDevice::ExeOwner);

    QCOMPARE(patchBinaryFile(root.toLocal8Bit(), qmake), FileOutcome::changed());
    QCOMPARE(restoreBackup(qmake, root), FileOutcome::changed());
    QCOMPARE(QFileInfo(qmake).permissions(), before);
}

void TestRestoreBackup::dryRunTellsWithoutWriting()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral(".qmake.cache"));
    const QByteArray original = Qt4Fixture::qmakeCache(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    QCOMPARE(patchTextFile(dir.path(), path), FileOutcome::changed());
    const QByteArray patched = Qt4Fixture::readFile(path);

    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), patched);
    QCOMPARE(restoreBackup(path, dir.path()), FileOutcome::changed());
    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::leftAlone(Reason::upToDate()));
    QCOMPARE(Qt4Fixture::readFile(path), original);

    QVERIFY(QFile::remove(path));
    QCOMPARE(restoreBackup(path, dir.path(), WriteMode::DryRun), FileOutcome::changed());
    QVERIFY(!QFileInfo::exists(path));
}

void TestRestoreBackup::tooLargeBackupIsNotLoaded()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, "patched", &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), Qt4Fixture::binaryWithSlots(oldRoot), &error),
             qPrintable(error));

    const qint64 previous = overrideMaxLoadableFileSize(4096);
    const FileOutcome outcome = restoreBackup(path, dir.path());
    overrideMaxLoadableFileSize(previous);

    QCOMPARE(outcome, FileOutcome::failed(Reason::fileTooLarge()));
    QCOMPARE(Qt4Fixture::readFile(path), QByteArray("patched"));
}

void TestRestoreBackup::failedWriteLeavesThePatchedFile()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    QString error;
    QVERIFY2(!Qt4Fixture::makeInstallation(root, Qt4Fixture::InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QString qmake = root + QStringLiteral("/bin/qmake");
    QCOMPARE(patchBinaryFile(root.toLocal8Bit(), qmake), FileOutcome::changed());
    const QByteArray patched = Qt4Fixture::readFile(qmake);
    const QStringList entries = WorkerChecks::entryNames(root + QStringLiteral("/bin"));

    FileOutcome outcome;
    {
        // Deleting first and copying after would leave no qmake at all here.
        Qt4Fixture::FileSizeLimit limit(patched.size() / 3);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = restoreBackup(qmake, root);
    }
    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(Reason::fileNotWritten(QString())), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(qmake), patched);
    QCOMPARE(WorkerChecks::entryNames(root + QStringLiteral("/bin")), entries);
}

void TestRestoreBackup::refusedAccessAsAnUnprivilegedUser_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("reasonStart");

    QTest::newRow("a read-only file in a writable directory") << "read-only file" << Reason::fileNotWritten(QString());
    QTest::newRow("a writable file in a read-only directory")
        << "read-only directory" << Reason::fileNotWritten(QString());
    QTest::newRow("a backup the user may not read") << "unreadable backup" << Reason::backupNotRead(QString());
}

void TestRestoreBackup::refusedAccessAsAnUnprivilegedUser()
{
    QFETCH(QString, situation);
    QFETCH(QString, reasonStart);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString lib = dir.filePath(QStringLiteral("qt/lib"));
    QVERIFY(QDir().mkpath(lib));
    const QString path = lib + QStringLiteral("/QtCore4.dll");
    const QString backupPath = path + QStringLiteral(".back");
    const QByteArray patched = Qt4Fixture::binaryWithSlots("/opt/qt4");
    const QByteArray backup = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, patched, &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(backupPath, backup, &error), qPrintable(error));

    WorkerChecks::PermissionsRestorer restorer;
    for (const QString &p : {dir.path(), dir.filePath(QStringLiteral("qt")), lib, path, backupPath})
        restorer.remember(p);
    QVERIFY(QFile::setPermissions(dir.path(), OutcomeAsUser::readOnlyDirectory()));
    QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("qt")), OutcomeAsUser::readOnlyDirectory()));
    QVERIFY(QFile::setPermissions(lib, situation == QLatin1String("read-only directory") ? OutcomeAsUser::readOnlyDirectory()
                                                                                         : OutcomeAsUser::openDirectory()));
    QVERIFY(QFile::setPermissions(path, situation == QLatin1String("read-only file") ? OutcomeAsUser::readOnlyFile()
                                                                                     : OutcomeAsUser::openFile()));
    if (situation == QLatin1String("unreadable backup"))
        QVERIFY(QFile::setPermissions(backupPath, QFileDevice::Permissions()));

    FileOutcome outcome;
    QString whyNot;
    const QString root = dir.filePath(QStringLiteral("qt"));
    if (!OutcomeAsUser::run([&] { return restoreBackup(path, root); }, &outcome, &whyNot))
        QSKIP(qPrintable(QStringLiteral("cannot run as an unprivileged user: ") + whyNot));

    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(reasonStart), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(path), patched);
    QCOMPARE(WorkerChecks::entryNames(lib), QStringList({QStringLiteral("QtCore4.dll"), QStringLiteral("QtCore4.dll.back")}));
}

QTEST_GUILESS_MAIN(TestRestoreBackup)
#include "tst_restorebackup.moc"
