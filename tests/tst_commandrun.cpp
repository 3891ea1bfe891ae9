#include "patching/commandrun.h"

#include "fixtures/qt4fixture.h"

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
    void replacedFilesKeepTheirOwner();

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

    QTest::newRow("a second link in lib, listed after the first")
        << "lib/QtCore.so" << "libQtCore.so.4.8.7" << "lib/libQtCore.so";
    QTest::newRow("a link in bin, listed before the one in lib")
        << "bin/QtCore.so" << "../lib/libQtCore.so.4.8.7" << "bin/QtCore.so";
    // Only the unpatch command lists this name; with no backup beside it, it must not
    // keep the library from being restored through its usual name.
    QTest::newRow("a name only the unpatch command lists")
        << "bin/libQtCore.so" << "../lib/libQtCore.so.4.8.7" << "lib/libQtCore.so";
}

void TestCommandRun::fileReachedByTwoNamesIsTreatedOnce()
{
    QFETCH(QString, extraLink);
    QFETCH(QString, linkTarget);
    QFETCH(QString, treatedBy);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    QVERIFY(QFile::link(linkTarget, qtPath + QLatin1Char('/') + extraLink));

    const QString library = qtPath + QStringLiteral("/lib/libQtCore.so.4.8.7");
    const QByteArray original = readFile(library);
    QVERIFY(!original.isEmpty());

    // Twice: the second run must not find a backup of patched bytes either.
    QCOMPARE(outcomeOf(runCommand(Command::Patch, qtPath), treatedBy), FileOutcome::changed());
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

void TestCommandRun::replacedFilesKeepTheirOwner()
{
#ifdef Q_OS_UNIX
    if (::geteuid() != 0)
        QSKIP("only root can hand a file to another owner");
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString qtPath = dir.path() + QStringLiteral("/qt");
    QString error;
    QVERIFY2(!makeInstallation(qtPath, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    const QStringList owned = {QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so.4.8.7"),
                               QStringLiteral(".qmake.cache")};
    const uid_t user = 65534;
    const gid_t group = 65534;
    for (const QString &file : owned)
        QVERIFY(::chown(QFile::encodeName(qtPath + QLatin1Char('/') + file).constData(), user, group) == 0);

    for (Command command : {Command::Patch, Command::Unpatch}) {
        QVERIFY(!anyFailed(runCommand(command, qtPath)));
        for (const QString &file : owned) {
            struct stat info;
            QVERIFY(::stat(QFile::encodeName(qtPath + QLatin1Char('/') + file).constData(), &info) == 0);
            QVERIFY2(info.st_uid == user && info.st_gid == group, qPrintable(file));
        }
    }
#else
    QSKIP("ownership is a Unix matter");
#endif
}

QTEST_GUILESS_MAIN(TestCommandRun)
#include "tst_commandrun.moc"
