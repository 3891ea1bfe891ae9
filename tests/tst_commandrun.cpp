#include "patching/commandrun.h"

#include "fixtures/faultinjection.h"
#include "fixtures/qt4fixture.h"
#include "patching/binarypatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt4Fixture;

// Whole runs of the two commands through the engine, for what only a whole run shows:
// several listed names leading to one file, and who owns the files afterwards.
class TestCommandRun : public QObject
{
    Q_OBJECT

private slots:
    void fileReachedByTwoNamesIsTreatedOnce_data();
    void fileReachedByTwoNamesIsTreatedOnce();
    void replacedFilesKeepTheirOwnerAndMode();
    void linkedDirectoryLeadingOutsideIsNotWrittenThrough();
    void binaryBackupOfAnotherLengthIsNotTrusted_data();
    void binaryBackupOfAnotherLengthIsNotTrusted();
    void systemFailuresAreToldInFrench();
    void directoryNamedLikeALibraryIsLeftAlone();

private:
    static FileOutcome outcomeOf(const QVector<FileReport> &reports, const QString &relativePath);
};

FileOutcome TestCommandRun::outcomeOf(const QVector<FileReport> &reports, const QString &relativePath)
{
    for (const FileReport &report : reports) {
        if (report.relativePath == relativePath)
            return report.outcome;
    }
    return FileOutcome::failed(QStringLiteral("not visited"));
}

void TestCommandRun::fileReachedByTwoNamesIsTreatedOnce_data()
{
    QTest::addColumn<QString>("extraLink");   // a second name for lib/libQtCore.so.4.8.7
    QTest::addColumn<QString>("linkTarget");  // relative to the link's directory
    QTest::addColumn<QString>("treatedBy");   // the name whose backup holds the original
    QTest::addColumn<bool>("linkedLater");    // the second name appears after a first patch

    QTest::newRow("a second link in lib, listed after the first")
        << "lib/QtCore.so" << "libQtCore.so.4.8.7" << "lib/libQtCore.so" << false;
    QTest::newRow("a link in bin, listed before the one in lib")
        << "bin/QtCore.so" << "../lib/libQtCore.so.4.8.7" << "bin/QtCore.so" << false;
    // Only the unpatch command lists this name; with no backup beside it, it must not
    // keep the library from being restored through its usual name.
    QTest::newRow("a name only the unpatch command lists")
        << "bin/libQtCore.so" << "../lib/libQtCore.so.4.8.7" << "lib/libQtCore.so" << false;
    // The name listed first has no backup yet; the one with the original's must speak.
    QTest::newRow("a link in bin added after a first patch")
        << "bin/QtCore.so" << "../lib/libQtCore.so.4.8.7" << "lib/libQtCore.so" << true;
    // Listed first, but every worker passes over a name holding ".back".
    QTest::newRow("a name holding .back listed before the usual one")
        << "lib/libQtCore.backup.so" << "libQtCore.so.4.8.7" << "lib/libQtCore.so" << false;
}

void TestCommandRun::fileReachedByTwoNamesIsTreatedOnce()
{
    QFETCH(QString, extraLink);
    QFETCH(QString, linkTarget);
    QFETCH(QString, treatedBy);
    QFETCH(bool, linkedLater);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    if (!linkedLater)
        QVERIFY(QFile::link(linkTarget, qtPath + QLatin1Char('/') + extraLink));

    const QString library = qtPath + QStringLiteral("/lib/libQtCore.so.4.8.7");
    const QByteArray original = readFile(library);
    QVERIFY(!original.isEmpty());

    // Twice: the second run must not find a backup of patched bytes either.
    QCOMPARE(outcomeOf(runCommand(Command::Patch, qtPath), treatedBy), FileOutcome::changed());
    if (linkedLater)
        QVERIFY(QFile::link(linkTarget, qtPath + QLatin1Char('/') + extraLink));
    const QVector<FileReport> patched = runCommand(Command::Patch, qtPath);
    QCOMPARE(outcomeOf(patched, treatedBy), FileOutcome::leftAlone(Reason::upToDate()));
    const QString other = treatedBy == extraLink ? QStringLiteral("lib/libQtCore.so") : extraLink;
    if (extraLink.startsWith(QLatin1String("bin/lib")))
        QCOMPARE(outcomeOf(patched, other), FileOutcome::failed(QStringLiteral("not visited")));
    else
        QCOMPARE(outcomeOf(patched, other), FileOutcome::leftAlone(Reason::sameFileAs(treatedBy)));
    QVERIFY(!QFileInfo::exists(qtPath + QLatin1Char('/') + other + QStringLiteral(".back")));
    QCOMPARE(readFile(qtPath + QLatin1Char('/') + treatedBy + QStringLiteral(".back")), original);
    QCOMPARE(slotValues(readFile(library)).value("qt_prfxpath="), qtPath.toLocal8Bit());

    const QVector<FileReport> restored = runCommand(Command::Unpatch, qtPath);
    QVERIFY(!anyFailed(restored));
    QCOMPARE(outcomeOf(restored, treatedBy), FileOutcome::changed());
    QCOMPARE(readFile(library), original);
    QVERIFY(QFileInfo(qtPath + QLatin1Char('/') + extraLink).isSymLink());
}

void TestCommandRun::replacedFilesKeepTheirOwnerAndMode()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("only root can hand a file to another owner");
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    // Read-only files too: root may write them, but must not leave them writable.
    const QMap<QString, mode_t> modes = {{QStringLiteral("bin/qmake"), 0555},
                                         {QStringLiteral("lib/libQtCore.so.4.8.7"), 0444},
                                         {QStringLiteral(".qmake.cache"), 0640}};
    const uid_t user = 65534;
    const gid_t group = 65534;
    const auto path = [&qtPath](const QString &relative) { return QFile::encodeName(qtPath + QLatin1Char('/') + relative); };
    for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
        QVERIFY(::chown(path(it.key()).constData(), user, group) == 0);
        QVERIFY(::chmod(path(it.key()).constData(), it.value()) == 0);
    }

    for (Command command : {Command::Patch, Command::Unpatch}) {
        QVERIFY(!anyFailed(runCommand(command, qtPath)));
        for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
            // The library is reached through lib/libQtCore.so, so its backup is beside the link.
            const QString backup = (it.key().startsWith(QLatin1String("lib/")) ? QStringLiteral("lib/libQtCore.so")
                                                                                : it.key()) + QStringLiteral(".back");
            for (const QString &file : {it.key(), backup}) {
                struct stat info;
                QVERIFY(::stat(path(file).constData(), &info) == 0);
                QVERIFY2(info.st_uid == user && info.st_gid == group, qPrintable(file));
                QCOMPARE(info.st_mode & 07777, it.value());
            }
        }
    }
    // A configuration file put back from its backup after it went missing is the user's too.
    QVERIFY(QFile::remove(qtPath + QStringLiteral("/.qmake.cache")));
    QVERIFY(!anyFailed(runCommand(Command::Unpatch, qtPath)));
    struct stat info;
    QVERIFY(::stat(path(QStringLiteral(".qmake.cache")).constData(), &info) == 0);
    QVERIFY(info.st_uid == user && info.st_gid == group);
    QCOMPARE(info.st_mode & 07777, mode_t(0640));
#else
    QSKIP("ownership is a Unix matter");
#endif
}

void TestCommandRun::linkedDirectoryLeadingOutsideIsNotWrittenThrough()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    const QString other = dir.path() + QStringLiteral("/other");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    QVERIFY2(!makeInstallation(other, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    // This installation's lib is another installation's.
    QVERIFY(QDir(qtPath + QStringLiteral("/lib")).removeRecursively());
    QVERIFY(QFile::link(other + QStringLiteral("/lib"), qtPath + QStringLiteral("/lib")));
    const QStringList before = QDir(other + QStringLiteral("/lib")).entryList(QDir::Files | QDir::Hidden);
    const QByteArray library = readFile(other + QStringLiteral("/lib/libQtCore.so.4.8.7"));

    for (Command command : {Command::Patch, Command::Unpatch}) {
        const QVector<FileReport> reports = runCommand(command, qtPath);
        QCOMPARE(outcomeOf(reports, QStringLiteral("lib/libQtCore.so")),
                 command == Command::Patch ? FileOutcome::failed(Reason::linkOutsideInstallation())
                                           : FileOutcome::leftAlone(Reason::noBackup()));
        if (command == Command::Patch) {
            QCOMPARE(outcomeOf(reports, QStringLiteral("lib/libQtCore.la")),
                     FileOutcome::failed(Reason::linkOutsideInstallation()));
        }
        QCOMPARE(outcomeOf(reports, QStringLiteral("bin/qmake")).isFailure(), false);
    }
    QCOMPARE(readFile(other + QStringLiteral("/lib/libQtCore.so.4.8.7")), library);
    QCOMPARE(QDir(other + QStringLiteral("/lib")).entryList(QDir::Files | QDir::Hidden), before);

    // The same installation reached through a link of its own is patched as usual.
    const QString linkedOther = dir.path() + QStringLiteral("/linked-other");
    QVERIFY(QFile::link(other, linkedOther));
    QCOMPARE(outcomeOf(runCommand(Command::Patch, linkedOther), QStringLiteral("lib/libQtCore.so")),
             FileOutcome::changed());
    QCOMPARE(slotValues(readFile(other + QStringLiteral("/lib/libQtCore.so.4.8.7"))).value("qt_libspath="),
             linkedOther.toLocal8Bit() + "/lib");
}

void TestCommandRun::binaryBackupOfAnotherLengthIsNotTrusted_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("backupLength"); // -1: half the file
    QTest::addColumn<bool>("trusted");
    QTest::newRow("an empty qmake backup, as a crash may leave one") << "bin/qmake" << 0 << false;
    QTest::newRow("a qmake backup cut short") << "bin/qmake" << -1 << false;
    // A libtool file holds no path slot; like any change made after the backup, an edit is dropped.
    QTest::newRow("a .la file edited by hand to another length") << "lib/libQtCore.la" << -1 << true;
}

void TestCommandRun::binaryBackupOfAnotherLengthIsNotTrusted()
{
    QFETCH(QString, file);
    QFETCH(int, backupLength);
    QFETCH(bool, trusted);
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QString path = qtPath + QLatin1Char('/') + file;
    const QByteArray original = readFile(path);
    const QByteArray backup = original.left(backupLength < 0 ? original.size() / 2 : backupLength);
    QVERIFY(writeFile(path + QStringLiteral(".back"), backup));

    // The dry run of the patch, the patch, the dry run of the unpatch, the unpatch.
    const FileOutcome upToDate = FileOutcome::leftAlone(Reason::upToDate());
    const QVector<FileOutcome> expected = trusted
        ? QVector<FileOutcome>{FileOutcome::changed(), FileOutcome::changed(), upToDate, upToDate}
        : QVector<FileOutcome>(4, FileOutcome::failed(Reason::backupSizeMismatch()));
    int step = 0;
    for (Command command : {Command::Patch, Command::Unpatch}) {
        for (WriteMode mode : {WriteMode::DryRun, WriteMode::Apply}) {
            QCOMPARE(outcomeOf(runCommand(command, qtPath, mode), file), expected.at(step++));
            QCOMPARE(readFile(path), trusted && step > 1 ? backup : original);
        }
    }
}

void TestCommandRun::systemFailuresAreToldInFrench()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QString qmake = qtPath + QStringLiteral("/bin/qmake");
    QVERIFY(QFile::copy(qmake, qmake + QStringLiteral(".back")));
    {
        const FileSizeLimit limit(4096);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        QCOMPARE(patchBinaryFile(qtPath.toLocal8Bit(), qmake),
                 FileOutcome::failed(Reason::fileNotWritten(QStringLiteral("taille de fichier limite dépassée"))));
    }
    // The other user may walk to the file and read it, but not change it.
    QVERIFY(QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther));
    const UnprivilegedRun run = runAsUnprivileged([&] {
        return patchBinaryFile(qtPath.toLocal8Bit(), qmake).reason.toUtf8();
    });
    QVERIFY2(run.ran, qPrintable(run.error));
    QCOMPARE(QString::fromUtf8(run.output), Reason::fileNotWritten(QStringLiteral("accès refusé")));
}

void TestCommandRun::directoryNamedLikeALibraryIsLeftAlone()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    QVERIFY(QDir().mkpath(qtPath + QStringLiteral("/lib/QtCore4.dll")));
    QVERIFY(writeFile(qtPath + QStringLiteral("/lib/QtCore4.dll/notes.txt"), "kept"));

    const QVector<FileReport> reports = runCommand(Command::Patch, qtPath);
    QCOMPARE(outcomeOf(reports, QStringLiteral("lib/QtCore4.dll")), FileOutcome::leftAlone(Reason::isDirectory()));
    QVERIFY(!anyFailed(reports));
    QVERIFY(!QFileInfo::exists(qtPath + QStringLiteral("/lib/QtCore4.dll.back")));
    QCOMPARE(readFile(qtPath + QStringLiteral("/lib/QtCore4.dll/notes.txt")), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
