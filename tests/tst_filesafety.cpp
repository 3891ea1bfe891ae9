// Faults that once lost or hid a user's file: each fails on the former file layer.
#include "app/qtpathcheck.h"
#include "patching/binarypatcher.h"
#include "patching/commandrun.h"
#include "patching/pathslots.h"
#include "restoring/restorebackup.h"

#include <QtTest>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const QByteArray slotted = QByteArray(100, '\1') + QByteArray("qt_prfxpath=/old/root").leftJustified(256, '\0') + "end";

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
}

bool write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// The exit status of the command-line tool run as `command DIR`, as another user (65534, with
// `group` as its one extra group) or under a file-size limit.
int cli(const char *command, const QString &dir, bool nobody, gid_t group = 65534, rlim_t sizeLimit = RLIM_INFINITY)
{
    const QByteArray dirBytes = QFile::encodeName(dir);
    const pid_t child = fork();
    const rlimit limit{sizeLimit, sizeLimit};
    if (child == 0 && setrlimit(RLIMIT_FSIZE, &limit) == 0
        && (!nobody || (setgroups(1, &group) == 0 && setgid(65534) == 0 && setuid(65534) == 0)))
        execl("/bin/sh", "sh", "-c", "exec \"$0\" $1 \"$2\" >/dev/null", ZEL_CLI_PATH, command, dirBytes.constData(), nullptr);
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
    void init()
    {
        if (geteuid() != 0)
            QSKIP("changes users and owners: run as root, as CI does");
        QVERIFY(tmp.isValid() && chmod(QFile::encodeName(tmp.path()).constData(), 0755) == 0);
        qt = tmp.path() + QStringLiteral("/qt");
        qmake = qt + QStringLiteral("/bin/qmake");
        lib = qt + QStringLiteral("/lib/libQtCore.so");
        QVERIFY(write(qmake, slotted) && write(lib, slotted) && write(qt + QStringLiteral("/.qmake.cache"), "QT_BUILD_TREE = /old/root\n"));
    }
    void cleanup() { QVERIFY(QDir(qt).removeRecursively()); }

    // 1: a member of the installation's group keeps the files theirs; a hard link keeps its inode.
    void identityKept_data()
    {
        QTest::addColumn<bool>("byGroupMember");
        QTest::newRow("a group member's patch keeps owner, group and mode") << true;
        QTest::newRow("a patch keeps a hard link to the file") << false;
    }
    void identityKept()
    {
        QFETCH(bool, byGroupMember);
        const QString other = tmp.path() + QStringLiteral("/linked");
        QVERIFY(byGroupMember ? QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("chown -R 0:100 \"$0\" && chmod -R g+w \"$0\""), qt}) == 0
                              : link(QFile::encodeName(qmake).constData(), QFile::encodeName(other).constData()) == 0);
        struct stat before, after;
        QVERIFY(stat(QFile::encodeName(qmake).constData(), &before) == 0);
        QCOMPARE(cli("patch", qt, byGroupMember, 100), 0);
        QVERIFY(stat(QFile::encodeName(qmake).constData(), &after) == 0 && read(qmake).contains(QFile::encodeName(qt)));
        QVERIFY(after.st_ino == before.st_ino && after.st_uid == 0 && after.st_gid == before.st_gid);
        QCOMPARE(after.st_mode, before.st_mode);
        QVERIFY(byGroupMember || read(other) == read(qmake));
    }

    // 2: the dry run meets the refusal of the real run, and neither writes; 5: a linked backup is never read.
    void unprivilegedRunFails_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<bool>("linkedBackup");
        QTest::newRow("a dry run where the backup cannot be made fails") << QByteArray("patch --dry-run") << false;
        QTest::newRow("a real run where the backup cannot be made fails") << QByteArray("patch") << false;
        QTest::newRow("a patch never reads a backup linked outside") << QByteArray("patch") << true;
        QTest::newRow("an unpatch never reads a backup linked outside") << QByteArray("unpatch") << true;
    }
    void unprivilegedRunFails()
    {
        QFETCH(QByteArray, command);
        QFETCH(bool, linkedBackup);
        const QString outside = tmp.path() + QStringLiteral("/outside");
        QVERIFY(write(outside, QByteArray(slotted).replace("/old/root", "/bad/root")));
        QVERIFY(!linkedBackup || QFile::link(outside, qmake + QStringLiteral(".back")));
        QVERIFY(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), linkedBackup ? QStringLiteral("65534") : QStringLiteral("0"), qt}) == 0);
        QCOMPARE(cli(command.constData(), qt, true), 1 << 8);
        QCOMPARE(read(qmake), slotted);
        QCOMPARE(QDir(qt + QStringLiteral("/bin")).entryList(QDir::Files | QDir::System).size(), linkedBackup ? 2 : 1);
    }

    // 6: over the file-size limit the tool reports a failure and ends; it is not killed by SIGXFSZ.
    void fileSizeLimitIsReported()
    {
        QCOMPARE(cli("patch", qt, false, 65534, 200), 1 << 8);
        QVERIFY(read(qmake) == slotted && !QFile::exists(qmake + QStringLiteral(".back")));
    }

    // 3: a file cut short is not another build: both commands repair it from its backup.
    void cutShortFileIsRepaired()
    {
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(write(qmake, slotted.left(100)));
        QCOMPARE(patchBinaryFile("/new", qmake).status, OutcomeStatus::Changed);
        QVERIFY(read(qmake).size() == slotted.size() && write(qmake, slotted.left(100)));
        QCOMPARE(restoreBackup(qmake, qt, WriteMode::Apply, BackupSize::MustMatchFile), FileOutcome::changed());
        QCOMPARE(read(qmake), slotted);
    }

    // 4: the library's own name keeps the backup; a binary patched with no backup is a failure.
    void noSilentLeftover()
    {
        QVERIFY(QFile::link(QStringLiteral("../lib/libQtCore.so"), qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(qt + QStringLiteral("/bin/QtCore.so")));
        QVERIFY(!anyFailed(runCommand(Command::Unpatch, qt)));
        QCOMPARE(read(lib), slotted);
        QVERIFY(!anyFailed(runCommand(Command::Patch, qt)) && QFile::remove(lib + QStringLiteral(".back")));
        QCOMPARE(runCommand(Command::Unpatch, qt).at(1).outcome, FileOutcome::failed(Reason::patchedWithoutBackup()));
    }

    // 8: below a directory named like a backup nothing is touched, and both commands say so.
    void rootBelowBackupDirectoryFails()
    {
        const QString hidden = tmp.path() + QStringLiteral("/qt.backup");
        QVERIFY(QDir().rename(qt, hidden) && write(hidden + QStringLiteral("/bin/qmake.back"), slotted));
        QVERIFY(anyFailed(runCommand(Command::Patch, hidden)) && anyFailed(runCommand(Command::Unpatch, hidden)));
        QCOMPARE(read(hidden + QStringLiteral("/bin/qmake")), slotted);
        QVERIFY(QDir().rename(hidden, qt));
    }

    // 7: the search resumes after a written record; 9: a key with no zero within 4 KiB is no slot.
    void slotSearch()
    {
        QByteArray data = QByteArray("qt_prfxpath=/old").leftJustified(300, '\0');
        QCOMPARE(rewriteSlot(data, "qt_prfxpath=", "/x/qt_prfxpath=").rewritten, 1);
        QCOMPARE(data, QByteArray("qt_prfxpath=/x/qt_prfxpath=").leftJustified(300, '\0'));
        const QByteArray keys = QByteArray("qt_prfxpath=").repeated(87382) + QByteArray(4096, 'x'); // a megabyte, no zero
        data = keys;
        QCOMPARE(rewriteSlot(data, "qt_prfxpath=", "/r").tooSmall, 87382);
        QCOMPARE(data, keys);
        for (const FoundSlot &slot : findPathSlots(keys.left(36000)))
            QVERIFY(slot.value.size() <= 4096 - 12);
    }

    // 10: a control character in the directory name is refused like a space.
    void controlCharactersRefused()
    {
        for (const char *name : {"/a\nQMAKE_CXX=x", "/a\rb", "/a\tb", "/a\x7f"}) {
            const QString path = tmp.path() + QString::fromLatin1(name);
            QVERIFY(QDir().mkpath(path + QStringLiteral("/bin")) && QDir().mkpath(path + QStringLiteral("/lib")));
            QCOMPARE(checkQtPath(path), QtPathCheck::NotAsciiOrSpace);
        }
    }

    // Entries of the wrong kind are refused unread, with nothing written: a pipe, a directory as backup.
    void wrongEntryKinds()
    {
        QVERIFY(QFile::remove(qmake) && mkfifo(QFile::encodeName(qmake).constData(), 0644) == 0);
        QCOMPARE(patchBinaryFile("/new", qmake), FileOutcome::failed(Reason::fileNotRead(Reason::notRegularFile())));
        QVERIFY(QDir().mkdir(lib + QStringLiteral(".back")));
        QCOMPARE(patchBinaryFile("/new", lib, WriteMode::DryRun), FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile())));
        QCOMPARE(read(lib), slotted);
    }
};

QTEST_GUILESS_MAIN(TestFileSafety)
#include "tst_filesafety.moc"
