// Faults that once lost or hid a user's file: each fails on the former file layer.
#include "patching/binarypatcher.h"
#include "patching/commandrun.h"
#include "patching/pathslots.h"
#include "patching/textpatcher.h"
#include "restoring/restorebackup.h"
#include "testsupport.h"

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray slotted = QByteArray(100, '\1') + QByteArray("qt_prfxpath=/old/root").leftJustified(256, '\0') + "end";
const QByteArray cache = "QT_BUILD_TREE = /old/root\n";
QByteArray cliPath; // a copy user 65534 may run, whatever the build tree's parents allow

// The exit status of the command-line tool run as `command DIR`, as another user (65534, with
// `group` as its one extra group) or under a file-size limit; its output goes to DIR.out.
int cli(const char *command, const QString &dir, bool nobody, gid_t group = 65534, rlim_t sizeLimit = RLIM_INFINITY)
{
    const QByteArray dirBytes = QFile::encodeName(dir);
    const pid_t child = fork();
    const rlimit limit{sizeLimit, sizeLimit};
    if (child == 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0 && freopen((dirBytes + ".out").constData(), "w", stdout)
        && (!nobody || (setgroups(1, &group) == 0 && setgid(65534) == 0 && setuid(65534) == 0)))
        execl("/bin/sh", "sh", "-c", "exec \"$0\" $1 \"$2\"", cliPath.constData(), command, dirBytes.constData(), nullptr);
    if (child == 0)
        _exit(99);
    int status = -1;
    waitpid(child, &status, 0);
    return status;
}
} // namespace

class TestFileSafety : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString qt, qmake, lib;

private slots:
    void initTestCase()
    {
        if (geteuid() != 0)
            QSKIP("changes users and owners: run as root, as CI does");
        QVERIFY(tmp.isValid() && chmod(QFile::encodeName(tmp.path()).constData(), 0755) == 0);
        cliPath = QFile::encodeName(tmp.path() + QStringLiteral("/zel-qt-patcher-cli"));
        QVERIFY(QFile::copy(QStringLiteral(ZEL_CLI_PATH), QFile::decodeName(cliPath)));
    }
    void init()
    {
        qt = tmp.path() + QStringLiteral("/qt");
        qmake = qt + QStringLiteral("/bin/qmake");
        lib = qt + QStringLiteral("/lib/libQtCore.so");
        QVERIFY(writeFile(qmake, slotted) && writeFile(lib, slotted) && writeFile(qt + QStringLiteral("/.qmake.cache"), cache));
    }
    void cleanup() { QVERIFY(QDir(qt).removeRecursively()); }

    // 1: a member of the installation's group keeps the files theirs; a hard link keeps its inode.
    // Both write in place; the group member's unpatch of .qmake.cache, to the shorter old root, cuts its tail.
    void identityKept_data()
    {
        QTest::addColumn<bool>("byGroupMember");
        QTest::newRow("a group member's patch and unpatch keep owner, group, mode and length") << true;
        QTest::newRow("a patch and unpatch keep a hard link to the file") << false;
    }
    void identityKept()
    {
        QFETCH(bool, byGroupMember);
        const QString other = tmp.path() + QStringLiteral("/linked");
        QVERIFY(byGroupMember ? QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("chown -R 0:100 \"$0\" && chmod -R g+w \"$0\""), qt}) == 0
                              : link(QFile::encodeName(qmake).constData(), QFile::encodeName(other).constData()) == 0);
        struct stat before, after;
        QVERIFY(stat(QFile::encodeName(qmake).constData(), &before) == 0);
        for (const bool patch : {true, false}) {
            QCOMPARE(cli(patch ? "patch" : "unpatch", qt, byGroupMember, 100), 0);
            QVERIFY(stat(QFile::encodeName(qmake).constData(), &after) == 0 && readFile(qmake).contains(QFile::encodeName(qt)) == patch);
            QVERIFY(after.st_ino == before.st_ino && after.st_uid == 0 && after.st_gid == before.st_gid);
            QCOMPARE(after.st_mode, before.st_mode);
            QVERIFY(byGroupMember || readFile(other) == readFile(qmake));
        }
        QCOMPARE(readFile(qmake) + readFile(qt + QStringLiteral("/.qmake.cache")), slotted + cache);
    }

    // 2: the dry run meets the refusals of the real run, and neither writes; 5: a linked backup is never read;
    // 6: over the file-size limit the tool reports a failure and ends, not killed by SIGXFSZ; verify tells an
    // unreadable backup from metadata naming an earlier place.
    void unprivilegedRunFails_data()
    {
        QTest::addColumn<QString>("setup"); // shell, as root, on the installation $0
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("sizeLimit"); // bytes; 0: none
        const QString linked = QStringLiteral("ln -s ../../outside \"$0/bin/qmake.back\" && chown -R 65534 \"$0\"");
        QTest::newRow("a dry run where the backup cannot be made fails") << QString() << QByteArray("patch --dry-run")
            << "bin/qmake : échouerait : sauvegarde impossible : accès refusé" << 0;
        QTest::newRow("a real run where the backup cannot be made fails") << QString() << QByteArray("patch")
            << "bin/qmake : échec : sauvegarde impossible : accès refusé" << 0;
        QTest::newRow("a dry run where a read-only file cannot be written fails")
            << "cp \"$0/bin/qmake\" \"$0/bin/qmake.back\" && chown -R 65534 \"$0\" && chown 0 \"$0/bin/qmake\" && chmod 444 \"$0/bin/qmake\""
            << QByteArray("patch --dry-run") << "bin/qmake : échouerait : écriture impossible : accès refusé" << 0;
        QTest::newRow("a patch never reads a backup linked outside") << linked << QByteArray("patch")
            << "bin/qmake : échec : lecture de la sauvegarde impossible : ce n'est pas un fichier ordinaire" << 0;
        QTest::newRow("an unpatch never reads a backup linked outside") << linked << QByteArray("unpatch")
            << "bin/qmake : échec : lecture de la sauvegarde impossible : ce n'est pas un fichier ordinaire" << 0;
        QTest::newRow("verify names a backup it cannot read, not an earlier place")
            << "printf 'L = -L/new/lib\\n' >\"$0/lib/x.prl\" && printf 'L = -L/old/root/lib\\n' >\"$0/lib/x.prl.back\" && "
               "chmod 600 \"$0/lib/x.prl.back\"" << QByteArray("verify") << "lib/x.prl : lecture de la sauvegarde impossible : accès refusé" << 0;
        QTest::newRow("a backup over the file-size limit fails and leaves no temporary file") << QStringLiteral("chown -R 65534 \"$0\"")
            << QByteArray("patch") << "bin/qmake : échec : sauvegarde impossible : taille de fichier limite dépassée" << 200;
    }
    void unprivilegedRunFails()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, command);
        QFETCH(QString, line);
        QFETCH(int, sizeLimit);
        QVERIFY(writeFile(tmp.path() + QStringLiteral("/outside"), QByteArray(slotted).replace("/old/root", "/bad/root")));
        QVERIFY(setup.isEmpty() || QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), setup, qt}) == 0);
        const QStringList entries = QDir(qt + QStringLiteral("/bin")).entryList(QDir::Files | QDir::System);
        QCOMPARE(cli(command.constData(), qt, true, 65534, sizeLimit ? rlim_t(sizeLimit) : RLIM_INFINITY), 1 << 8);
        QVERIFY2(QString::fromUtf8(readFile(qt + QStringLiteral(".out"))).split(QLatin1Char('\n')).contains(line), qPrintable(line));
        QCOMPARE(readFile(qmake), slotted);
        QCOMPARE(QDir(qt + QStringLiteral("/bin")).entryList(QDir::Files | QDir::System), entries);
    }

    // An in-place write cut short by the file-size limit tells that the file is left written in part.
    void partlyWrittenFileIsSaid()
    {
        const QByteArray cachePath = QFile::encodeName(qt + QStringLiteral("/.qmake.cache"));
        QVERIFY(::link(cachePath.constData(), (cachePath + ".link").constData()) == 0); // so written in place
        const pid_t child = fork();
        if (child == 0) {
            const rlimit limit{30, 30}; // room for the backup, not for the longer new content
            signal(SIGXFSZ, SIG_IGN);
            _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0
                          && patchTextFile(qt + QStringLiteral("/longer"), QFile::decodeName(cachePath)).reason
                              == QStringLiteral("écriture impossible : taille de fichier limite dépassée ; fichier écrit "
                                                "en partie, relancer la commande le refait depuis sa sauvegarde")
                      ? 0 : 1);
        }
        int status = -1;
        QVERIFY(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // 3: a file cut short is not another build: both commands repair it from its backup.
    void cutShortFileIsRepaired()
    {
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(writeFile(qmake, slotted.left(100)));
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(readFile(qmake).size() == slotted.size() && writeFile(qmake, slotted.left(100)));
        QCOMPARE(restoreBackup(qmake, qt, WriteMode::Apply, BackupSize::MustMatchFile), FileOutcome::changed());
        QCOMPARE(readFile(qmake), slotted);
    }

    // 4: the library's own name keeps the backup; a binary patched with no backup is a failure.
    void noSilentLeftover()
    {
        QVERIFY(QFile::link(QStringLiteral("../lib/libQtCore.so"), qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Unpatch, qt)));
        QCOMPARE(readFile(lib), slotted);
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(lib + QStringLiteral(".back")));
        QCOMPARE(runCommand(Command::Unpatch, qt).at(1).outcome, failed("patché mais sans sauvegarde"));
    }

    // 7: the search resumes after a written record; 9: a key with no zero within 4 KiB is no slot.
    void slotSearch()
    {
        const auto rewrite = [](QByteArray &data, const char *value) { return rewriteSlots(data, {{"qt_prfxpath=", value}}).first(); };
        QByteArray data = QByteArray("qt_prfxpath=/old").leftJustified(300, '\0');
        QCOMPARE(rewrite(data, "/x/qt_prfxpath=").rewritten, 1);
        QCOMPARE(data, QByteArray("qt_prfxpath=/x/qt_prfxpath=").leftJustified(300, '\0'));
        const QByteArray keys = QByteArray("qt_prfxpath=").repeated(87382) + QByteArray(4096, 'x'); // a megabyte, no zero
        data = keys;
        QCOMPARE(rewrite(data, "/r").tooSmall, 87382);
        QCOMPARE(data, keys);
        for (const FoundSlot &slot : findPathSlots(keys.left(36000)))
            QVERIFY(slot.value.size() <= 4096 - 12);
    }

    // Entries of the wrong kind, or reached through a link leading out, are refused unread, with nothing written.
    void refusedEntries()
    {
        QVERIFY(QFile::remove(qmake) && mkfifo(QFile::encodeName(qmake).constData(), 0644) == 0);
        QCOMPARE(patchBinaryFile("/new", qmake), failed("lecture impossible : ce n'est pas un fichier ordinaire"));
        // "lib" a link to a sibling whose name begins with the installation's, its backup there to restore.
        const QString outside = qt + QStringLiteral("lib");
        QVERIFY(QDir().rename(qt + QStringLiteral("/lib"), outside) && QFile::link(outside, qt + QStringLiteral("/lib")));
        QVERIFY(writeFile(lib + QStringLiteral(".back"), QByteArray(slotted).replace("/old/root", "/bad/root")));
        QCOMPARE(patchBinaryFile(QFile::encodeName(qt), lib), failed("lien menant hors de l'installation"));
        QCOMPARE(restoreBackup(lib, qt), failed("lien menant hors de l'installation"));
        QCOMPARE(readFile(outside + QStringLiteral("/libQtCore.so")), slotted);
        QCOMPARE(QDir(outside).entryList(QDir::Files), words("libQtCore.so libQtCore.so.back"));
    }
};

QTEST_GUILESS_MAIN(TestFileSafety)
#include "tst_filesafety.moc"
