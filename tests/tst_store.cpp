// The store called directly: a file is replaced whole or left as it was, whatever system call fails.
#include "patching/store/backupfile.h"
#include "patching/store/backuprule.h"
#include "patching/store/comparison.h"
#include "patching/store/contentwrite.h"
#include "patching/store/places.h"
#include "patching/store/reader.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QTemporaryFile>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
enum class Step { Write, Sync, Rename };

// The system's own operations, but for one step, which fails with `error` as the system would: a
// write once `room` bytes are written, the sync, or the rename. Root cannot get past it. The failing
// step first asks the file's name, which gives a name to a file Qt made unnamed (O_TMPFILE), as it
// is on a system without them: a temporary file left behind then shows.
class FailingOperations : public FileOperations {
public:
    FailingOperations(Step step, qint64 room, int error) : m_step(step), m_room(room), m_error(error) {}

    qint64 write(QFileDevice &file, const char *data, qint64 size) const override
    {
        if (m_step != Step::Write)
            return FileOperations::write(file, data, size);
        if (m_written >= m_room)
            return refuse(file, -1);
        const qint64 n = FileOperations::write(file, data, qMin(size, m_room - m_written));
        m_written += qMax<qint64>(n, 0);
        return n;
    }
    bool sync(QFileDevice &file) const override { return m_step == Step::Sync ? refuse(file, false) : FileOperations::sync(file); }
    bool renameOver(const QString &from, const QString &to) const override
    {
        return m_step == Step::Rename ? refuse(QFile(from), false) : FileOperations::renameOver(from, to);
    }
    bool renameNew(QTemporaryFile &file, const QString &to) const override
    {
        return m_step == Step::Rename ? refuse(file, false) : FileOperations::renameNew(file, to);
    }

private:
    template <typename T> T refuse(const QFileDevice &file, T result) const
    {
        file.fileName();
        errno = m_error;
        return result;
    }
    Step m_step;
    qint64 m_room;
    int m_error;
    mutable qint64 m_written = 0;
};

// A renameNew that finds a backup made by someone else just before it.
class RacedOperations : public FileOperations {
public:
    bool renameNew(QTemporaryFile &file, const QString &to) const override
    {
        return writeFile(to, "theirs") && FileOperations::renameNew(file, to);
    }
};

const QByteArray original = "qt_prfxpath=/old/root\n";
const QByteArray patched = QByteArray("qt_prfxpath=/new/root\n").repeated(8);

QStringList entriesOf(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}
} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Cause)

class TestStore : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir; // one per test
    QString file;

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY2(dir->isValid(), qPrintable(dir->errorString()));
        file = dir->filePath(QStringLiteral("qmake"));
        QVERIFY(writeFile(file, original));
    }

    void failedStepLeavesNoTrace_data()
    {
        QTest::addColumn<bool>("backup"); // the backup is written, else the file replaced
        QTest::addColumn<Step>("step");
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("error");
        QTest::addColumn<Cause>("cause");
        QTest::newRow("a replacement that runs out of space after 10 bytes") << false << Step::Write << 10 << ENOSPC << Cause::NoSpace;
        QTest::newRow("a replacement over the file-size limit from its first byte")
            << false << Step::Write << 0 << EFBIG << Cause::FileSizeLimit;
        QTest::newRow("a replacement whose sync meets an I/O error") << false << Step::Sync << 0 << EIO << Cause::IoError;
        QTest::newRow("a replacement whose rename meets a running program") << false << Step::Rename << 0 << ETXTBSY << Cause::Busy;
        QTest::newRow("a replacement whose rename fails for a reason without a cause") << false << Step::Rename << 0 << EXDEV
                                                                                      << Cause::System;
        QTest::newRow("a backup over the quota after 10 bytes") << true << Step::Write << 10 << EDQUOT << Cause::QuotaExceeded;
        QTest::newRow("a backup whose sync finds no space") << true << Step::Sync << 0 << ENOSPC << Cause::NoSpace;
        QTest::newRow("a backup whose rename meets a read-only file system") << true << Step::Rename << 0 << EROFS
                                                                             << Cause::ReadOnlyFileSystem;
    }
    // The failed call's reason reaches the caller; the file is as it was, no backup and no temporary file is left.
    void failedStepLeavesNoTrace()
    {
        QFETCH(bool, backup);
        QFETCH(Step, step);
        QFETCH(int, room);
        QFETCH(int, error);
        QFETCH(Cause, cause);
        const FailingOperations operations(step, room, error);
        Failure failure;
        if (backup)
            QCOMPARE(int(writeBackupIfMissing(backupNameOf(file), patched, file, &failure, operations)), int(BackupResult::Failed));
        else
            QVERIFY(!replaceFileContent(file, patched, QString(), &failure, operations));
        QCOMPARE(causeKey(failure.cause), causeKey(cause));
        QVERIFY(cause != Cause::System || !failure.detail.isEmpty());
        QVERIFY(!failure.partlyWritten);
        QCOMPARE(readFile(file), original);
        QCOMPARE(entriesOf(*dir), QStringList{QStringLiteral("qmake")});
    }

    void commitKeepsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("backupMode");
        QTest::newRow("a private file stays private") << 0600 << 0600;
        QTest::newRow("a group-writable file stays so") << 0664 << 0664;
        QTest::newRow("a set-user-id program keeps its bit; its backup has none") << 04755 << 0755;
        QTest::newRow("a set-group-id program keeps its bit; its backup has none") << 02750 << 0750;
    }
    void commitKeepsMode()
    {
        QFETCH(int, mode);
        QFETCH(int, backupMode);
        QVERIFY(::chmod(QFile::encodeName(file).constData(), mode_t(mode)) == 0);
        Failure failure;
        QCOMPARE(int(writeBackupIfMissing(backupNameOf(file), original, file, &failure)), int(BackupResult::Made));
        QVERIFY2(replaceFileContent(file, patched, QString(), &failure), qPrintable(causeKey(failure.cause)));
        QCOMPARE(readFile(file), patched);
        QCOMPARE(int(modeOf(file)), mode);
        QCOMPARE(int(modeOf(backupNameOf(file))), backupMode);
    }

    // The file is replaced under its name, never written through: another name keeps the old bytes.
    void hardLinkKeepsItsBytes()
    {
        const QString other = dir->filePath(QStringLiteral("copy"));
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(other).constData()) == 0);
        Failure failure;
        QVERIFY2(replaceFileContent(file, patched, QString(), &failure), qPrintable(causeKey(failure.cause)));
        QCOMPARE(readFile(file), patched);
        QCOMPARE(readFile(other), original);
        QCOMPARE(entriesOf(*dir), (QStringList{QStringLiteral("copy"), QStringLiteral("qmake")}));
    }

    // A backup someone else made while this one was written is kept, and this one is dropped.
    void backupMadeMeanwhileIsKept()
    {
        Failure failure;
        QCOMPARE(int(writeBackupIfMissing(backupNameOf(file), original, file, &failure, RacedOperations())),
                 int(BackupResult::AlreadyThere));
        QCOMPARE(readFile(backupNameOf(file)), QByteArray("theirs"));
        QCOMPARE(entriesOf(*dir), (QStringList{QStringLiteral("qmake"), QStringLiteral("qmake.back")}));
    }

    void regularFileFollowsNoLink_data()
    {
        QTest::addColumn<QString>("make"); // shell, making the entry $0
        QTest::addColumn<bool>("regular");
        QTest::newRow("a regular file") << "echo x >$0" << true;
        QTest::newRow("a link to a regular file") << "ln -s qmake $0" << false;
        QTest::newRow("a link leading nowhere") << "ln -s nowhere $0" << false;
        QTest::newRow("a directory") << "mkdir $0" << false;
        QTest::newRow("a pipe, which an open must not wait on") << "mkfifo $0" << false;
    }
    // The test of a path and the open agree: a read never goes through a link or waits on a pipe.
    void regularFileFollowsNoLink()
    {
        QFETCH(QString, make);
        QFETCH(bool, regular);
        const QString entry = dir->filePath(QStringLiteral("entry"));
        QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), make, entry}), 0);
        QCOMPARE(isRegularFile(entry), regular);
        QFile opened;
        Failure failure;
        QCOMPARE(openRegularFile(opened, entry, &failure), regular);
        QCOMPARE(causeKey(failure.cause), causeKey(regular ? Cause::None : Cause::NotRegularFile));
    }

    void readIntoGivenBackMemory_data()
    {
        QTest::addColumn<int>("givenBack"); // in files the plan could keep whole: read, then given back
        QTest::addColumn<int>("read");      // the same, read next
        QTest::newRow("into a larger spare") << 9 << 5;
        QTest::newRow("into a smaller spare, grown") << 3 << 5;
    }
    // A read into memory an earlier read gave back holds its own file's bytes, and no more of them.
    void readIntoGivenBackMemory()
    {
        QFETCH(int, givenBack);
        QFETCH(int, read);
        const auto dropped = qScopeGuard([] { dropSpareBytes(); });
        const QString first = dir->filePath(QStringLiteral("first")), next = dir->filePath(QStringLiteral("next"));
        const QByteArray firstBytes(int(givenBack * Limits::maxHeldFileSize), 'a'), nextBytes(int(read * Limits::maxHeldFileSize), 'b');
        QVERIFY(writeFile(first, firstBytes) && writeFile(next, nextBytes));
        LoadedFile loaded = loadWholeFile(first);
        QCOMPARE(loaded.data, firstBytes);
        giveBackBytes(loaded.data);
        QVERIFY(loaded.data.isEmpty());
        QCOMPARE(loadWholeFile(next).data, nextBytes);
    }

    // A file the walk opened is read whole, then compared, from the one descriptor.
    void openFileReadTwice()
    {
        const QString path = dir->filePath(QStringLiteral("twice"));
        const QByteArray bytes = QByteArray("\177ELF") + QByteArray(5000, 'x');
        QVERIFY(writeFile(path, bytes));
        ReadableFile file;
        Failure failure;
        QVERIFY(file.open(path, &failure));
        QCOMPARE(loadWholeFile(file, bytes.size()).data, bytes);
        const Comparison compared = compareFile(file, bytes);
        QVERIFY(compared.ok && compared.same);
    }

    void belowRoot_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("below");
        QTest::newRow("DIR itself") << "/opt/qt" << "/opt/qt" << true;
        QTest::newRow("a file below DIR") << "/opt/qt/lib/libQtCore.so" << "/opt/qt" << true;
        QTest::newRow("a sibling whose name starts like DIR") << "/opt/qt4/lib" << "/opt/qt" << false;
        QTest::newRow("DIR written with a closing slash") << "/opt/qt/lib" << "/opt/qt/" << true;
        QTest::newRow("everything is below the file system's root") << "/opt" << "/" << true;
        QTest::newRow("a name in another case is another name here") << "/opt/QT/lib" << "/opt/qt" << false;
    }
    void belowRoot()
    {
        QFETCH(QString, path);
        QFETCH(QString, root);
        QFETCH(bool, below);
        QCOMPARE(isBelow(path, root), below);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
