// Faults that once lost or hid a user's file: each fails on the former file layer.
#include "patching/binarypatcher.h"
#include "restoring/commandrun.h"
#include "patching/formats/pathslots.h"
#include "patching/plan/planrecord.h"
#include "patching/qt/generation.h"
#include "patching/store/runlock.h"
#include "patching/textpatcher.h"
#include "patching/verification.h"
#include "restoring/restorebackup.h"
#include "testsupport.h"

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray slotted = QByteArray(100, '\1') + QByteArray("qt_prfxpath=/old/root").leftJustified(256, '\0') + "end";
const QByteArray cache = "QT_BUILD_TREE = /old/root\n";
QByteArray cliPath; // a copy user 65534 may run, whatever the build tree's parents allow

// Runs the command-line tool as `command DIR` as `user` (0: as this process is; else with that user id
// as its group and 100 as its one extra group) under a file-size limit. Its output, through a pipe
// that the limit does not bound, goes to DIR.out. Returns its exit status as waitpid gives it.
int cli(const QString &command, const QString &dir, uid_t user, rlim_t sizeLimit)
{
    const QByteArray dirBytes = QFile::encodeName(dir);
    const QByteArray commandBytes = command.toUtf8();
    const gid_t extra = 100;
    const rlimit limit{sizeLimit, sizeLimit};
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t child = fork();
    // "faulty COMMAND": with an extended attribute the system refuses to set.
    const bool faulty = commandBytes.startsWith("faulty ");
    if (child == 0 && faulty)
        setenv("LD_PRELOAD", ZEL_REFUSED_ATTRIBUTE, 1);
    if (child == 0 && dup2(out[1], STDOUT_FILENO) >= 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0
        && (user == 0 || (setgroups(1, &extra) == 0 && setgid(user) == 0 && setuid(user) == 0)))
        execl("/bin/sh", "sh", "-c", "exec \"$0\" --json $1 \"$2\"", cliPath.constData(),
              commandBytes.mid(faulty ? 7 : 0).constData(), dirBytes.constData(), nullptr);
    if (child == 0)
        _exit(99);
    close(out[1]);
    QFile output;
    output.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray said = output.readAll();
    int status = -1;
    waitpid(child, &status, 0);
    return writeFile(dir + QStringLiteral(".out"), said) ? status : -1;
}

bool shell(const QString &script, const QString &dir)
{
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), script, dir}) == 0;
}
} // namespace

class TestFileSafety : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString qt, qmake, lib;

private slots:
    void initTestCase()
    {
        // The modes the checks expect, whatever the umask the tests run with.
        umask(022);
        QVERIFY(tmp.isValid() && chmod(QFile::encodeName(tmp.path()).constData(), 0755) == 0);
        cliPath = QFile::encodeName(tmp.path() + QStringLiteral("/zel-qt-patcher-cli"));
        QVERIFY(QFile::copy(QStringLiteral(ZEL_CLI_PATH), QFile::decodeName(cliPath)));
    }
    void init()
    {
        qt = tmp.path() + QStringLiteral("/qt");
        qmake = qt + QStringLiteral("/bin/qmake");
        lib = qt + QStringLiteral("/lib/libQtCore.so");
        QVERIFY(writeFile(qmake, slotted) && writeFile(lib, slotted) && writeFile(qt + QStringLiteral("/.qmake.cache"), cache)
                && writeFile(qt + QStringLiteral(".slotted"), slotted) && writeFile(qt + QStringLiteral(".cache"), cache));
    }
    void cleanup() { QVERIFY(shell(QStringLiteral("rm -rf \"$0\" \"$0\".*"), qt)); }

    // Runs of the tool on files that have other names, other owners, attributes or limits. Each run
    // is "USER COMMAND" (0: as the test runs); the check runs as root with $0 the installation, and
    // the last run's JSON report says of one file "FILE STATUS CODE[/CAUSE][ partly]".
    void runs_data()
    {
        QTest::addColumn<QString>("setup"); // shell, as the test runs, on the installation $0
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<int>("sizeLimit"); // bytes; 0: none
        QTest::addColumn<int>("lastExit");
        QTest::addColumn<QString>("check"); // shell; must succeed
        QTest::addColumn<QString>("said");  // what the last report says of a file; empty: nothing checked
        const QString shared = QStringLiteral("chown -R 0:100 $0 && chmod -R g+w,o-rwx $0 && ");
        const QString qmakeKept = QStringLiteral("cmp $0/bin/qmake $0.slotted && test ! -e $0/bin/qmake.back");
        const QStringList patch{QStringLiteral("0 patch")}, patchUnpatch{QStringLiteral("0 patch"), QStringLiteral("0 unpatch")};
        const QStringList memberPatch{QStringLiteral("65534 patch")};

        QTest::newRow("a hard-linked copy keeps its bytes while the copy is patched")
            << "ln $0/bin/qmake $0.copy" << patch << 0 << 0
            << "cmp $0.copy $0.slotted && ! cmp -s $0/bin/qmake $0.slotted && test $(stat -c %h $0.copy) = 1" << QString();
        QTest::newRow("a file hard-linked to its own backup: the backup keeps the original, unpatch gives it back")
            << "ln $0/bin/qmake $0/bin/qmake.back" << patchUnpatch << 0 << 0
            << "cmp $0/bin/qmake $0.slotted && cmp $0/bin/qmake.back $0.slotted" << QString();
        QTest::newRow("two listed names hard-linked to one library both come back")
            << "ln $0/lib/libQtCore.so $0/bin/QtCore.so" << patchUnpatch << 0 << 0
            << "cmp $0/bin/QtCore.so $0.slotted && cmp $0/lib/libQtCore.so $0.slotted" << QString();
        QTest::newRow("a group member's hard-linked file of another owner is refused, nothing written")
            << shared + "ln $0/bin/qmake $0.copy" << memberPatch << 0 << 1 << qmakeKept + " && cmp $0.copy $0.slotted"
            << "bin/qmake failed file-not-written/other-names-of-another-owner";
        QTest::newRow("in a shared group one member patches and another unpatches; backups get the file's group and mode")
            << shared + "cp -a $0 $0.before" << QStringList{QStringLiteral("65534 patch"), QStringLiteral("65533 unpatch")} << 0 << 0
            << "diff -r -x '*.back' $0 $0.before && test \"$(stat -c %u:%g:%a $0/bin/qmake $0/bin/qmake.back | tr '\\n' ' ')\" = '0:100:660 65534:100:660 '"
            << QString();
        QTest::newRow("a user's file in another of their groups keeps it; a 0755 qmake's backup is 0755")
            << "chown -R 65534:100 $0 && chmod 755 $0/bin/qmake" << memberPatch << 0 << 0
            << "test \"$(stat -c %u:%g:%a $0/bin/qmake $0/bin/qmake.back | tr '\\n' ' ')\" = '65534:100:755 65534:100:755 '" << QString();
        QTest::newRow("root patching a user's installation leaves the user the owner of the files and their backups")
            << "chown -R 65533:65533 $0" << patch << 0 << 0
            << "test \"$(stat -c %u:%g $0/bin/qmake $0/bin/qmake.back | tr '\\n' ' ')\" = '65533:65533 65533:65533 '" << QString();
        QTest::newRow("a replaced library keeps mode 0444") << "chown 0:0 $0/lib/libQtCore.so && chmod 444 $0/lib/libQtCore.so" << patch << 0 << 0
            << "test $(stat -c %a $0/lib/libQtCore.so) = 444 && ! cmp -s $0/lib/libQtCore.so $0.slotted" << QString();
        QTest::newRow("a set-user-id qmake's backup carries no set-id bit") << "chmod 4755 $0/bin/qmake" << patch << 0 << 0
            << "test \"$(stat -c %a $0/bin/qmake $0/bin/qmake.back | tr '\\n' ' ')\" = '4755 755 '" << QString();
        QTest::newRow("a group member's write would clear a set-group-id bit: refused, nothing written")
            << shared + "chmod g+s $0/bin/qmake" << memberPatch << 0 << 1 << qmakeKept + " && test $(stat -c %a $0/bin/qmake) = 2660"
            << "bin/qmake failed file-not-written/privilege-would-be-lost";
        QTest::newRow("an owner's in-place write gets its set-user-id bit back")
            << "chown 65534:0 $0 $0/bin/qmake $0/bin && chmod 4755 $0/bin/qmake" << memberPatch << 0 << 1
            << "test $(stat -c %a $0/bin/qmake) = 4755 && ! cmp -s $0/bin/qmake $0.slotted" << QString();
        QTest::newRow("a replaced file keeps its extended attributes")
            << "setfattr -n user.note -v kept $0/bin/qmake" << patch << 0 << 0
            << "test \"$(getfattr --absolute-names --only-values -n user.note $0/bin/qmake)\" = kept && ! cmp -s $0/bin/qmake $0.slotted"
            << QString();
        QTest::newRow("an attribute a replacement cannot copy sends a file with a single name to the in-place path")
            << "setfattr -n user.refused -v kept $0/bin/qmake" << QStringList{QStringLiteral("0 faulty patch")} << 0 << 0
            << "test \"$(getfattr --absolute-names --only-values -n user.refused $0/bin/qmake)\" = kept && ! cmp -s $0/bin/qmake $0.slotted"
            << QString();
        QTest::newRow("an attribute that cannot be copied, on a file with other names: refused, nothing written")
            << "setfattr -n user.refused -v kept $0/bin/qmake && ln $0/bin/qmake $0.copy" << QStringList{QStringLiteral("0 faulty patch")}
            << 0 << 1 << "cmp $0/bin/qmake $0.slotted" << "bin/qmake failed file-not-written/attribute-not-copied";
        QTest::newRow("a file capability only root may copy, on a file with other names: refused, nothing written")
            << "chown -R 65534:65534 $0 && setfattr -n security.capability -v 0x0100000200200000000000000000000000000000 "
               "$0/bin/qmake && ln $0/bin/qmake $0.copy" << memberPatch << 0 << 1
            << "cmp $0/bin/qmake $0.slotted && getfattr --absolute-names -n security.capability $0/bin/qmake >/dev/null"
            << "bin/qmake failed file-not-written/attribute-not-copied";
        QTest::newRow("temporary files left by a killed run are removed, and nothing else, another file's kept")
            << "touch $0/bin/qmake.Ab12Cd.zeltmp $0/bin/qmake.back.Zz99Yy.zeltmp $0/bin/qmake.Ab12Cd $0/bin/qmakeX.Ab12Cd.zeltmp "
               "$0/bin/qmake.exe.Ab12Cd.zeltmp"
            << patch << 0 << 0
            << "test \"$(ls $0/bin | tr '\\n' ' ')\" = 'qmake qmake.Ab12Cd qmake.back qmake.exe.Ab12Cd.zeltmp qmakeX.Ab12Cd.zeltmp '"
            << QString();
        QTest::newRow("a one-step write over the file-size limit leaves the growing file whole")
            << QString() << patch << 30 << 1 << "cmp $0/.qmake.cache $0.cache && ! ls $0 | grep -q zeltmp"
            << ".qmake.cache failed file-not-written/file-size-limit";
        QTest::newRow("an in-place write cut by the file-size limit says the file is written in part")
            << shared + "true" << memberPatch << 30 << 1 << QString() << ".qmake.cache failed file-not-written/file-size-limit partly";
        // The dry run meets the refusals of the real run, and neither writes.
        QTest::newRow("a dry run where the backup cannot be made fails") << "chown 65534 $0/bin/qmake"
            << QStringList{QStringLiteral("65534 patch --dry-run")} << 0 << 1 << qmakeKept << "bin/qmake failed backup-not-made/access-denied";
        // DIR is the user's, as a run that writes must make its lock there.
        QTest::newRow("a real run where the backup cannot be made fails") << "chown 65534 $0 $0/bin/qmake"
            << memberPatch << 0 << 1 << qmakeKept << "bin/qmake failed backup-not-made/access-denied";
        QTest::newRow("a dry run of a moved installation whose lib cannot be written fails")
            << "chown -R 65534:65534 $0 && chown 0 $0/lib" << QStringList{QStringLiteral("65534 patch --dry-run")} << 0 << 1 << QString()
            << "lib/libQtCore.so failed file-not-written/access-denied";
        QTest::newRow("a dry run where a read-only file cannot be written fails")
            << "cp $0/bin/qmake $0/bin/qmake.back && chown -R 65534 $0 && chown 0 $0/bin/qmake && chmod 444 $0/bin/qmake"
            << QStringList{QStringLiteral("65534 patch --dry-run")} << 0 << 1 << "cmp $0/bin/qmake $0.slotted"
            << "bin/qmake failed file-not-written/access-denied";
        // A linked backup is never read; over the file-size limit the tool reports a failure, not killed by SIGXFSZ.
        const QString linked = QStringLiteral("echo x >$0.outside && ln -s ../../qt.outside $0/bin/qmake.back");
        QTest::newRow("a patch never reads a backup linked outside") << linked << patch << 0 << 1
            << "cmp $0/bin/qmake $0.slotted" << "bin/qmake failed backup-not-read/not-regular-file";
        QTest::newRow("verify names a backup it cannot read")
            << "printf 'L = -L/new/lib\\n' >$0/lib/x.prl && printf 'L = -L/old/root/lib\\n' >$0/lib/x.prl.back && chmod 600 $0/lib/x.prl.back"
            << QStringList{QStringLiteral("65534 verify")} << 0 << 1 << QString() << "lib/x.prl unreadable backup-not-read/access-denied";
        QTest::newRow("a plugin directory and a library a group member cannot read are failures, not skipped")
            << "mkdir -p $0/plugins/codecs && cp $0/lib/libQtCore.so $0/plugins/codecs/libqcn.so && chmod 0 $0/plugins/codecs "
               "&& cp $0/lib/libQtCore.so $0/lib/libQtCore.so.4 && chmod 0 $0/lib/libQtCore.so.4 && chown -R 65534 $0"
            << QStringList{QStringLiteral("65534 patch --deep")} << 0 << 1 << QString() << "plugins/codecs failed directory-not-read/access-denied";
        QTest::newRow("an unpatch whose write is refused fails, the file as it was")
            << "sed s,/old/root,/old/ro0t, $0/bin/qmake >$0/bin/qmake.back && chown -R 65534 $0 && chown 0 $0/bin/qmake"
            << QStringList{QStringLiteral("65534 unpatch")} << 0 << 1 << "cmp $0/bin/qmake $0.slotted"
            << "bin/qmake failed file-not-written/access-denied";
        QTest::newRow("a bind mount below DIR is reported, and nothing written through it")
            << "mkdir -p $0.outside $0/lib/extra && cp $0/lib/libQtCore.so $0.outside/libQtCore.so.4 && mount --bind $0.outside $0/lib/extra"
            << QStringList{QStringLiteral("0 patch --deep")} << 0 << 1
            << "umount $0/lib/extra && cmp $0.outside/libQtCore.so.4 $0.slotted && test ! -e $0.outside/libQtCore.so.4.back"
            << "lib/extra failed other-file-system";
        QTest::newRow("a file bind-mounted over is reported, and no backup made of the other file's bytes")
            << "cp $0/lib/libQtCore.so $0.other && mount --bind $0.other $0/lib/libQtCore.so"
            << QStringList{QStringLiteral("0 patch")} << 0 << 1
            << "umount $0/lib/libQtCore.so && cmp $0.other $0.slotted && test ! -e $0/lib/libQtCore.so.back"
            << "lib/libQtCore.so failed other-file-system";
        QTest::newRow("a backup over the file-size limit fails and leaves no temporary file") << QString() << patch << 200 << 1
            << qmakeKept + " && test \"$(ls $0/bin)\" = qmake" << "bin/qmake failed backup-not-made/file-size-limit";
    }
    void runs()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, runs);
        QFETCH(int, sizeLimit);
        QFETCH(int, lastExit);
        QFETCH(QString, check);
        QFETCH(QString, said);
        if (geteuid() != 0 && (setup.contains(QLatin1String("chown")) || !runs.filter(QRegularExpression(QStringLiteral("^[1-9]"))).isEmpty()))
            QSKIP("changes users and owners: run as root, as CI does");
        if (setup.contains(QLatin1String("mount --bind")) && !shell(QStringLiteral("unshare -m true"), qt))
            QSKIP("no mount here");
        QVERIFY(setup.isEmpty() || shell(setup, qt));
        int status = -1;
        for (const QString &run : runs)
            status = cli(run.section(QLatin1Char(' '), 1), qt, run.section(QLatin1Char(' '), 0, 0).toUInt(), sizeLimit ? rlim_t(sizeLimit) : RLIM_INFINITY);
        const QByteArray out = readFile(qt + QStringLiteral(".out"));
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == lastExit, out.constData());
        QVERIFY2(check.isEmpty() || shell(check, qt), out.constData());
        if (said.isEmpty())
            return;
        QStringList facts;
        for (const QJsonValue &file : QJsonDocument::fromJson(out).object().value(QStringLiteral("files")).toArray()) {
            const QString cause = file[QStringLiteral("cause")].toString();
            facts << file[QStringLiteral("file")].toString() + QLatin1Char(' ') + file[QStringLiteral("status")].toString() + QLatin1Char(' ')
                    + file[QStringLiteral("reasonCode")].toString() + (cause.isEmpty() ? QString() : QLatin1Char('/') + cause)
                    + (file[QStringLiteral("partlyWritten")].toBool() ? QStringLiteral(" partly") : QString());
        }
        QVERIFY2(facts.contains(said), qPrintable(facts.join(QLatin1Char('\n'))));
    }

    // 3: a file cut short is not another build: both commands repair it from its backup; one changed
    // outside its slots is, and both refuse it.
    void cutShortFileIsRepaired()
    {
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(writeFile(qmake, slotted.left(100)));
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(readFile(qmake).size() == slotted.size() && writeFile(qmake, slotted.left(100)));
        QCOMPARE(restoreBackup(qmake, qt), FileOutcome::changed());
        QCOMPARE(readFile(qmake), slotted);
        // A byte changed outside the slots: another build, which neither command writes over.
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        const QByteArray rebuilt = QByteArray(readFile(qmake)).replace(0, 1, "\2");
        QVERIFY(writeFile(qmake, rebuilt));
        QCOMPARE(patchBinaryFile("/other", qmake), failed(ReasonCode::OtherBuild));
        QCOMPARE(restoreBackup(qmake, qt), failed(ReasonCode::OtherBuild));
        QCOMPARE(readFile(qmake), rebuilt);
    }

    // 4: the library's own name keeps the backup; a binary patched with no backup is a failure.
    void noSilentLeftover()
    {
        QVERIFY(QFile::link(QStringLiteral("../lib/libQtCore.so"), qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Unpatch, qt)));
        QCOMPARE(readFile(lib), slotted);
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(lib + QStringLiteral(".back"))
                && QFile::remove(qt + QStringLiteral("/.qmake.cache.back")));
        const auto lostBackups = [](const QVector<FileReport> &reports) {
            return reports.at(1).outcome == failed(ReasonCode::PatchedWithoutBackup) && reports.at(3).outcome == reports.at(1).outcome;
        };
        QVERIFY(lostBackups(runCommand(Command::Unpatch, qt)));
        // Patched again, here and after a move, and once more there, neither gets a backup of its patched bytes.
        const QString moved = qt + QStringLiteral(".moved");
        for (const QString &root : {qt, moved, moved}) {
            QVERIFY(root == qt || QFileInfo::exists(moved) || QDir().rename(qt, moved));
            QVERIFY2(lostBackups(runCommand(Command::Patch, root)), qPrintable(root));
            QVERIFY(!QFile::exists(root + QStringLiteral("/lib/libQtCore.so.back")) && !QFile::exists(root + QStringLiteral("/.qmake.cache.back")));
        }
    }

    // A run killed while it holds the installation leaves its lock file, which never blocks the next
    // run: the system let go of the lock with the process. The next run removes the file as it ends.
    void lockOfKilledRunIsTaken()
    {
        const QString lockFile = qt + QStringLiteral("/.zel-qt-patcher.lock");
        // The child takes the lock as a run does, with system calls alone: after a fork of a process
        // with threads, anything that may allocate could wait forever on a lock of another thread.
        const QByteArray name = QFile::encodeName(lockFile);
        const pid_t child = fork();
        if (child == 0) {
            const int fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW, 0444);
            if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
                ::raise(SIGKILL);
            _exit(1);
        }
        int status = -1;
        QVERIFY(child > 0 && waitpid(child, &status, 0) == child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the child did not take the lock");
        QVERIFY(QFileInfo::exists(lockFile));
        {
            const RunLock next(qt, RunAccess::Writes);
            QCOMPARE(next.refusal(), Reason());
            QVERIFY(next.isHeld());
        }
        QVERIFY(!QFileInfo::exists(lockFile));
    }

    // verify ends a qmake that does not answer in time, and whatever it started.
    void hangingQmakeIsEnded()
    {
        QVERIFY(writeFile(qmake, "#!/bin/sh\nsleep 1000 &\necho $! >\"$0.child\"\nwait\n")
                && QFile::setPermissions(qmake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // Long enough for a loaded machine to start the child before the wait ends.
        QCOMPARE(verifyInstallation(qt, 1500).queryFailure.cause, Cause::NoAnswerInTime);
        const QByteArray child = readFile(qmake + QStringLiteral(".child")).trimmed();
        // Gone, or a zombie waiting for whoever adopted it.
        QTRY_VERIFY(!child.isEmpty() && !readFile(QStringLiteral("/proc/") + QString::fromLatin1(child) + QStringLiteral("/stat")).contains(" S "));
    }

    // 7: the search resumes after a written record; 9: a key with no zero within 4 KiB is no slot.
    void slotSearch()
    {
        const SlotRule slotKeys{qt4Generation().slotKeys};
        QByteArray data = QByteArray("qt_prfxpath=/old").leftJustified(300, '\0');
        QCOMPARE(rewriteSlots(data, "/x/qt_prfxpath=", slotKeys).found, 1);
        QCOMPARE(data, QByteArray("qt_prfxpath=/x/qt_prfxpath=").leftJustified(300, '\0'));
        const QByteArray keys = QByteArray("qt_prfxpath=").repeated(87382) + QByteArray(4096, 'x'); // a megabyte, no zero
        data = keys;
        const SlotRewrite none = rewriteSlots(data, "/r", slotKeys);
        QCOMPARE(none.found, 87382);
        QCOMPARE(none.tooSmall, QStringList{QStringLiteral("qt_prfxpath=")});
        QCOMPARE(data, keys);
        qsizetype longest = 0;
        forEachPathSlot(keys.left(36000), slotKeys, [&longest](const FoundSlot &slot) { longest = qMax<qsizetype>(longest, slot.value.size()); });
        QVERIFY(longest <= 4096 - 12);
    }

    // A file reached through a link leading out is refused unread, with nothing written.
    void refusedEntries()
    {
        // "lib" a link to a sibling whose name begins with the installation's, its backup there to restore.
        const QString outside = qt + QStringLiteral("lib");
        QVERIFY(QDir().rename(qt + QStringLiteral("/lib"), outside) && QFile::link(outside, qt + QStringLiteral("/lib")));
        QVERIFY(writeFile(lib + QStringLiteral(".back"), QByteArray(slotted).replace("/old/root", "/bad/root")));
        QCOMPARE(patchBinaryFile(QFile::encodeName(qt), lib), failed(ReasonCode::LinkOutsideInstallation));
        QCOMPARE(restoreBackup(lib, qt), failed(ReasonCode::LinkOutsideInstallation));
        QCOMPARE(readFile(outside + QStringLiteral("/libQtCore.so")), slotted);
        QCOMPARE(QDir(outside).entryList(QDir::Files), words("libQtCore.so libQtCore.so.back"));
        // A whole run meets the linked directory once per file in it: each is refused, not only the first.
        QVERIFY(writeFile(outside + QStringLiteral("/libQtCore.a"), slotted));
        QStringList refused;
        for (const FileReport &report : runCommand(Command::Patch, qt)) {
            if (report.outcome == failed(ReasonCode::LinkOutsideInstallation))
                refused << report.relativePath;
        }
        QCOMPARE(refused, words("lib/libQtCore.a lib/libQtCore.so"));
        QCOMPARE(readFile(outside + QStringLiteral("/libQtCore.a")), slotted);
        // So is one the walk found before its directory was swapped for that link.
        PlanReading reading;
        reading.budget = Limits::heldBytesBudget;
        const WalkedFile walked{false, HeadLook::Wanted, slotted.size()};
        const PlannedFile file = readRecord(planContext(Command::Patch, qt, true), lib, Treatment::Binary, PlanStep::Walk,
                                            PlanPurpose::Run, &reading, nullptr, &walked);
        QCOMPARE(file.refusal, failed(ReasonCode::LinkOutsideInstallation));
    }
};

QTEST_GUILESS_MAIN(TestFileSafety)
#include "tst_filesafety.moc"
