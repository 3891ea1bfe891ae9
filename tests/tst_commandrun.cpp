#include "patching/commandrun.h"

#include "fixtures/faultinjection.h"
#include "fixtures/qt4fixture.h"
#include "patching/binarypatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt4Fixture;

namespace {

FileOutcome outcomeOf(const QVector<FileReport> &reports, const QString &relativePath)
{
    for (const FileReport &report : reports) {
        if (report.relativePath == relativePath)
            return report.outcome;
    }
    return FileOutcome::failed(QStringLiteral("not visited"));
}

} // namespace

// Whole runs of the two commands through the engine, for what only a whole run shows:
// several listed names leading to one file, and who owns the files afterwards.
class TestCommandRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fileReachedByTwoNamesIsTreatedOnce_data();
    void fileReachedByTwoNamesIsTreatedOnce();
    void replacedFilesKeepTheirOwnerAndMode();
    void linkedDirectoryLeadingOutsideIsNotWrittenThrough();
    void binaryBackupOfAnotherLengthIsNotTrusted_data();
    void binaryBackupOfAnotherLengthIsNotTrusted();
    void systemFailuresAreToldInFrench();
    void directoryNamedLikeALibraryIsLeftAlone();

private:
    QString path(const QString &relative) const { return m_qt + QLatin1Char('/') + relative; }

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_qt; // a freshly generated Linux installation for each test
};

void TestCommandRun::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY2(m_dir->isValid(), qPrintable(m_dir->errorString()));
    m_qt = m_dir->filePath(QStringLiteral("qt"));
    QString error;
    QVERIFY2(!makeInstallation(m_qt, InstallationOptions(), &error).isEmpty(), qPrintable(error));
}

void TestCommandRun::fileReachedByTwoNamesIsTreatedOnce_data()
{
    QTest::addColumn<QString>("extraLink");   // a second name for lib/libQtCore.so.4.8.7
    QTest::addColumn<QString>("linkTarget");  // relative to the link's directory
    QTest::addColumn<QString>("treatedBy");   // the name whose backup holds the original
    QTest::addColumn<bool>("linkedLater");    // the second name appears after a first patch

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

    if (!linkedLater)
        QVERIFY(QFile::link(linkTarget, path(extraLink)));
    const QString library = path(QStringLiteral("lib/libQtCore.so.4.8.7"));
    const QByteArray original = readFile(library);
    QVERIFY(!original.isEmpty());

    // Twice: the second run must not find a backup of patched bytes either.
    QCOMPARE(outcomeOf(runCommand(Command::Patch, m_qt), treatedBy), FileOutcome::changed());
    if (linkedLater)
        QVERIFY(QFile::link(linkTarget, path(extraLink)));
    const QVector<FileReport> patched = runCommand(Command::Patch, m_qt);
    QCOMPARE(outcomeOf(patched, treatedBy), FileOutcome::leftAlone(Reason::upToDate()));
    const QString other = treatedBy == extraLink ? QStringLiteral("lib/libQtCore.so") : extraLink;
    if (extraLink.startsWith(QLatin1String("bin/lib")))
        QCOMPARE(outcomeOf(patched, other), FileOutcome::failed(QStringLiteral("not visited")));
    else
        QCOMPARE(outcomeOf(patched, other), FileOutcome::leftAlone(Reason::sameFileAs(treatedBy)));
    QVERIFY(!QFileInfo::exists(path(other + QStringLiteral(".back"))));
    QCOMPARE(readFile(path(treatedBy + QStringLiteral(".back"))), original);
    QCOMPARE(slotValues(readFile(library)).value("qt_prfxpath="), m_qt.toLocal8Bit());

    const QVector<FileReport> restored = runCommand(Command::Unpatch, m_qt);
    QVERIFY(!anyFailed(restored));
    QCOMPARE(outcomeOf(restored, treatedBy), FileOutcome::changed());
    QCOMPARE(readFile(library), original);
    QVERIFY(QFileInfo(path(extraLink)).isSymLink());
}

void TestCommandRun::replacedFilesKeepTheirOwnerAndMode()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("only root can hand a file to another owner");
    // Read-only files too: root may write them, but must not leave them writable.
    const QMap<QString, mode_t> modes = {{QStringLiteral("bin/qmake"), 0555},
                                         {QStringLiteral("lib/libQtCore.so.4.8.7"), 0444},
                                         {QStringLiteral(".qmake.cache"), 0640}};
    const auto ownedByUser = [this](const QString &relative, mode_t mode) {
        struct stat info;
        return ::stat(QFile::encodeName(path(relative)).constData(), &info) == 0 && info.st_uid == unprivilegedId
               && info.st_gid == unprivilegedId && (info.st_mode & 07777) == mode;
    };
    for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
        QVERIFY(::chown(QFile::encodeName(path(it.key())).constData(), unprivilegedId, unprivilegedId) == 0);
        QVERIFY(::chmod(QFile::encodeName(path(it.key())).constData(), it.value()) == 0);
    }

    for (Command command : {Command::Patch, Command::Unpatch}) {
        QVERIFY(!anyFailed(runCommand(command, m_qt)));
        for (auto it = modes.cbegin(); it != modes.cend(); ++it) {
            // The library is reached through lib/libQtCore.so, so its backup is beside the link.
            const QString backup = (it.key().startsWith(QLatin1String("lib/")) ? QStringLiteral("lib/libQtCore.so")
                                                                                : it.key()) + QStringLiteral(".back");
            QVERIFY2(ownedByUser(it.key(), it.value()), qPrintable(it.key()));
            QVERIFY2(ownedByUser(backup, it.value()), qPrintable(backup));
        }
    }
    // A configuration file put back from its backup after it went missing is the user's too.
    QVERIFY(QFile::remove(path(QStringLiteral(".qmake.cache"))));
    QVERIFY(!anyFailed(runCommand(Command::Unpatch, m_qt)));
    QVERIFY(ownedByUser(QStringLiteral(".qmake.cache"), 0640));
#else
    QSKIP("ownership is a Unix matter");
#endif
}

void TestCommandRun::linkedDirectoryLeadingOutsideIsNotWrittenThrough()
{
    // This installation's lib is another installation's: no listed name there is a link itself.
    const QString other = m_dir->filePath(QStringLiteral("other"));
    QString error;
    QVERIFY2(!makeInstallation(other, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    QVERIFY(QDir(path(QStringLiteral("lib"))).removeRecursively());
    QVERIFY(QFile::link(other + QStringLiteral("/lib"), path(QStringLiteral("lib"))));
    const QStringList before = QDir(other + QStringLiteral("/lib")).entryList(QDir::Files | QDir::Hidden);
    const QByteArray library = readFile(other + QStringLiteral("/lib/libQtCore.so.4.8.7"));

    for (Command command : {Command::Patch, Command::Unpatch}) {
        const QVector<FileReport> reports = runCommand(command, m_qt);
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
}

void TestCommandRun::binaryBackupOfAnotherLengthIsNotTrusted_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("a qmake backup cut short, as a crash may leave one") << "bin/qmake" << false;
    // A libtool file holds no path slot; like any change made after the backup, an edit is dropped.
    QTest::newRow("a .la file edited by hand to another length") << "lib/libQtCore.la" << true;
}

void TestCommandRun::binaryBackupOfAnotherLengthIsNotTrusted()
{
    QFETCH(QString, file);
    QFETCH(bool, trusted);
    const QByteArray original = readFile(path(file));
    const QByteArray backup = original.left(original.size() / 2);
    QVERIFY(writeFile(path(file + QStringLiteral(".back")), backup));

    // The dry run of the patch, the patch, the dry run of the unpatch, the unpatch.
    const FileOutcome upToDate = FileOutcome::leftAlone(Reason::upToDate());
    const QVector<FileOutcome> expected = trusted
        ? QVector<FileOutcome>{FileOutcome::changed(), FileOutcome::changed(), upToDate, upToDate}
        : QVector<FileOutcome>(4, FileOutcome::failed(Reason::backupSizeMismatch()));
    int step = 0;
    for (Command command : {Command::Patch, Command::Unpatch}) {
        for (WriteMode mode : {WriteMode::DryRun, WriteMode::Apply}) {
            QCOMPARE(outcomeOf(runCommand(command, m_qt, mode), file), expected.at(step++));
            QCOMPARE(readFile(path(file)), trusted && step > 1 ? backup : original);
        }
    }
}

void TestCommandRun::systemFailuresAreToldInFrench()
{
    const QString qmake = path(QStringLiteral("bin/qmake"));
    QVERIFY(QFile::copy(qmake, qmake + QStringLiteral(".back")));
    {
        const FileSizeLimit limit(4096);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        QCOMPARE(patchBinaryFile(m_qt.toLocal8Bit(), qmake),
                 FileOutcome::failed(Reason::fileNotWritten(QStringLiteral("taille de fichier limite dépassée"))));
    }
    // The other user may walk to the file and read it, but not change it.
    QVERIFY(QFile::setPermissions(m_dir->path(),
                                  QFile::permissions(m_dir->path()) | QFileDevice::ExeOther | QFileDevice::ReadOther));
    const UnprivilegedRun run = runAsUnprivileged([&] { return patchBinaryFile(m_qt.toLocal8Bit(), qmake).reason.toUtf8(); });
    QVERIFY2(run.ran, qPrintable(run.error));
    QCOMPARE(QString::fromUtf8(run.output), Reason::fileNotWritten(QStringLiteral("accès refusé")));
}

void TestCommandRun::directoryNamedLikeALibraryIsLeftAlone()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("lib/QtCore4.dll"))));
    QVERIFY(writeFile(path(QStringLiteral("lib/QtCore4.dll/notes.txt")), "kept"));

    const QVector<FileReport> reports = runCommand(Command::Patch, m_qt);
    QCOMPARE(outcomeOf(reports, QStringLiteral("lib/QtCore4.dll")), FileOutcome::leftAlone(Reason::isDirectory()));
    QVERIFY(!anyFailed(reports));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("lib/QtCore4.dll.back"))));
    QCOMPARE(readFile(path(QStringLiteral("lib/QtCore4.dll/notes.txt"))), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
