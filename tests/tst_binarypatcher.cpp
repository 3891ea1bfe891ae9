#include "patching/binarypatcher.h"

#include "patching/filestore.h"
#include "patching/pathslots.h"
#include "qt4fixture.h"
#include "restoring/restorebackup.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using Qt4Fixture::InstallationOptions;

// The slot rule on bytes in memory, then the binary worker on files shaped like a real
// Qt 4 build's, then what a failure of either file-writing worker leaves behind.
class TestBinaryPatcher : public QObject
{
    Q_OBJECT

private slots:
    void rewriteOneKey_data();
    void rewriteOneKey();
    void patchesRealFiles_data();
    void patchesRealFiles();
    void guardsComeFirst_data();
    void guardsComeFirst();
    void laterPatchesStartFromTheBackup();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";
const QByteArray key = "qt_prfxpath=";

QByteArray withZero(QByteArray bytes)
{
    bytes.append('\0');
    return bytes;
}

// What the file must hold after a patch: the fixture's own reading of the slots,
// each overwritten by its record where the record fits in `room` bytes and in the data.
QByteArray expectedPatch(const QByteArray &original, const QByteArray &newRoot, int room = 1 << 20)
{
    const QMap<QByteArray, QByteArray> values = Qt4Fixture::expectedSlotValues(newRoot);
    QByteArray out = original;
    for (const Qt4Fixture::FoundSlot &slot : Qt4Fixture::slotList(original)) {
        const QByteArray record = slot.key + values.value(slot.key) + '\0';
        if (values.contains(slot.key) && record.size() <= room && slot.offset + record.size() <= out.size())
            out.replace(slot.offset, record.size(), record);
    }
    return out;
}
} // namespace

void TestBinaryPatcher::rewriteOneKey_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("rewritten");
    QTest::addColumn<int>("tooSmall");

    const QByteArray before = Qt4Fixture::filler(100, 7);
    const QByteArray after = Qt4Fixture::filler(100, 8);
    const QByteArray array = Qt4Fixture::slotArray(key, oldRoot, 64);
    const QByteArray data = before + array + after;
    const QByteArray exact(64 - 13, 'x');
    QTest::newRow("the tail of a longer old value stays behind the new zero")
        << data << QByteArray("/q") << before + withZero(key + "/q") + array.mid(15) + after << 1 << 0;
    const QByteArray mid = Qt4Fixture::filler(3000, 9);
    const QByteArray slot = withZero(key + "/opt/qt") + array.mid(20);
    QTest::newRow("a key that occurs twice is rewritten at both places")
        << before + array + mid + array + after << QByteArray("/opt/qt") << before + slot + mid + slot + after << 2 << 0;
    QTest::newRow("a record that fills the room exactly is written")
        << data << exact << before + withZero(key + exact) + after << 1 << 0;
    QTest::newRow("a record one byte longer than the room leaves the slot as it was")
        << data << exact + 'x' << data << 0 << 1;
    const QByteArray value(64 + 16 - 13, 'p');
    QTest::newRow("zero padding after the array counts as room")
        << before + array + QByteArray(16, '\0') + after << value << before + withZero(key + value) + after << 1 << 0;
    const QByteArray cut = key + "/home/builder";
    QTest::newRow("a slot cut by the end of the data stays as it was")
        << before + cut << QByteArray("/home/other/qt") << before + cut << 0 << 1;
    QTest::newRow("a slot at the end of the data takes a record that ends at the last byte")
        << before + cut << QByteArray("/opt/qt4/abc") << before + withZero(key + "/opt/qt4/abc") << 1 << 0;
    const QByteArray zeros = withZero(key + "/a") + QByteArray(20, '\0');
    QTest::newRow("a record one byte past the end of the data is not written")
        << before + zeros << QByteArray(23, 'z') << before + zeros << 0 << 1;
    const QByteArray roomy = Qt4Fixture::slotArray(key, "/a", 64);
    const QByteArray shortSlot = withZero(key + "/a") + "NEXT";
    QTest::newRow("a short slot is reported while the other occurrence is rewritten")
        << before + shortSlot + roomy + after << QByteArray("/opt/qt")
        << before + shortSlot + withZero(key + "/opt/qt") + roomy.mid(20) + after << 1 << 1;
}

void TestBinaryPatcher::rewriteOneKey()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QFETCH(int, rewritten);
    QFETCH(int, tooSmall);

    const SlotRewrite result = rewriteSlot(data, key, value);
    QCOMPARE(data, expected);
    QCOMPARE(result.rewritten, rewritten);
    QCOMPARE(result.tooSmall, tooSmall);
}

void TestBinaryPatcher::patchesRealFiles_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("newRoot");
    QTest::addColumn<int>("room"); // bytes a record may take in its slot
    QTest::addColumn<FileOutcome>("expected");

    const auto file = [](const char *name, const InstallationOptions &options) {
        return Qt4Fixture::installationFile(QLatin1String(name), options);
    };
    const int any = 1 << 20;
    const FileOutcome changed = FileOutcome::changed();
    QTest::newRow("Linux QtCore library, new root longer than the old one")
        << file("lib/libQtCore.so.4.8.7", {}) << QByteArray("/srv/farm/qt/4.8.7-relocated") << any << changed;
    InstallationOptions windows;
    windows.windowsStyle = true;
    windows.layout.trailingSeparator = true;
    windows.layout.stride = 544;
    windows.layout.reversed = true;
    QTest::newRow("Windows qmake.exe, backslashes and trailing separators, reversed arrays")
        << file("bin/qmake.exe", windows) << QByteArray("D:/dev/qt") << any << changed;
    InstallationOptions qt46;
    qt46.layout.withImportsSlot = false;
    qt46.layout.tableCopies = 2;
    QTest::newRow("a 4.6 build without the imports slot, its table twice")
        << file("lib/libQtCore.so.4.8.7", qt46) << QByteArray("/opt/qt4") << any << changed;
    // Arrays of 64 bytes with non-zero padding: 12 + 48 + 1 bytes fit, a suffix does not.
    Qt4Fixture::SlotLayout small;
    small.arraySize = 64;
    small.stride = 80;
    small.paddingByte = '\xcc';
    QStringList withSuffix;
    for (const Qt4Fixture::KeySuffix &slotKey : Qt4Fixture::patchedKeys()) {
        if (!slotKey.suffix.isEmpty())
            withSuffix << QString::fromLatin1(slotKey.key);
    }
    QTest::newRow("short arrays: every key with a suffix is named in table order, the others written")
        << Qt4Fixture::binaryWithSlots("/q", small) << QByteArray(48, 'r') << 64
        << FileOutcome::failed(Reason::slotsTooSmall(withSuffix));
    QTest::newRow("a file without slots keeps its bytes and gets its backup")
        << file("lib/libQtCore.la", {}) << QByteArray("/opt/qt4") << any << FileOutcome::leftAlone(Reason::upToDate());
}

void TestBinaryPatcher::patchesRealFiles()
{
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, newRoot);
    QFETCH(int, room);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    QVERIFY(QFile::setPermissions(path, WorkerChecks::readOnlyDirectory | QFileDevice::WriteOwner));
    const QFileDevice::Permissions executable = QFileInfo(path).permissions();

    // A dry run tells what the real run does, and writes nothing, not even the backup.
    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchBinaryFile(newRoot, path, WriteMode::DryRun), expected);
    QCOMPARE(WorkerChecks::entryNames(dir.path()), QStringList(QStringLiteral("qmake")));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(patchBinaryFile(newRoot, path), expected);
    const QByteArray patched = Qt4Fixture::readFile(path);
    QCOMPARE(patched, expectedPatch(original, newRoot, room));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
    QCOMPARE(QFileInfo(path).permissions(), executable);
    QCOMPARE(QFileInfo(path + QStringLiteral(".back")).permissions(), executable);
    // The next run finds nothing more it can do, and a dry run says so too.
    const bool wasChanged = expected.status == OutcomeStatus::Changed;
    const FileOutcome next = wasChanged ? FileOutcome::leftAlone(Reason::upToDate()) : expected;
    QCOMPARE(patchBinaryFile(newRoot, path, WriteMode::DryRun), next);
    QCOMPARE(patchBinaryFile(newRoot, path), next);
    QCOMPARE(Qt4Fixture::readFile(path), patched);
}

void TestBinaryPatcher::guardsComeFirst_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("create");
    QTest::addColumn<bool>("withBackup");
    QTest::addColumn<FileOutcome>("expected");

    const FileOutcome missing = FileOutcome::leftAlone(Reason::noSuchFile());
    const FileOutcome holdsBack = FileOutcome::leftAlone(Reason::pathHoldsBack());
    QTest::newRow("a file that does not exist is left alone") << "qt/bin/qmake" << false << false << missing;
    QTest::newRow("a missing file is not recreated from its backup") << "qt/.qmake.cache" << false << true << missing;
    QTest::newRow("a missing file below a .back directory is reported missing first")
        << "qt.backup/bin/qmake" << false << false << missing;
    QTest::newRow("a backup handed in gets no backup of its own") << "qt/bin/qmake.back" << true << false << holdsBack;
    QTest::newRow("the test is case-sensitive: .Back is patched")
        << "qt.Backup/bin/qmake" << true << false << FileOutcome::changed();
}

void TestBinaryPatcher::guardsComeFirst()
{
    QFETCH(QString, file);
    QFETCH(bool, create);
    QFETCH(bool, withBackup);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(file);
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    if (create)
        QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    if (withBackup)
        QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), original, &error), qPrintable(error));

    // The debug line comes before any test, for every file handed in.
    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchBinaryFile("/opt/qt4", path), expected);
    const bool patched = expected.status == OutcomeStatus::Changed;
    QCOMPARE(WorkerChecks::entryNames(QFileInfo(path).path()).size(), int(create) + int(withBackup || patched));
    if (create)
        QCOMPARE(Qt4Fixture::readFile(path), patched ? expectedPatch(original, "/opt/qt4") : original);
}

void TestBinaryPatcher::laterPatchesStartFromTheBackup()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    const QString backupPath = path + QStringLiteral(".back");
    // A backup already there, even from another build, is the original and is never rewritten.
    const QByteArray backup = Qt4Fixture::binaryWithSlots("/usr/local/Trolltech/Qt-4.8.6");
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, Qt4Fixture::binaryWithSlots(oldRoot), &error), qPrintable(error));
    QVERIFY2(Qt4Fixture::writeFile(backupPath, backup, &error), qPrintable(error));
    const QDateTime backupTime = QFileInfo(backupPath).lastModified();

    // A first root much longer than the second, then a hand edit: neither leaves a trace.
    const QByteArray first = "/a/first/root/that/is/much/longer/than/the/second/one";
    QCOMPARE(patchBinaryFile(first, path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), expectedPatch(backup, first));
    const QByteArray edited = QByteArray(backup).replace(0, 14, "edited by hand");
    QVERIFY2(Qt4Fixture::writeFile(path, edited, &error), qPrintable(error));
    QCOMPARE(patchBinaryFile("/q", path, WriteMode::DryRun), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), edited);
    QCOMPARE(patchBinaryFile("/q", path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), expectedPatch(backup, "/q"));
    QCOMPARE(Qt4Fixture::readFile(backupPath), backup);
    QCOMPARE(QFileInfo(backupPath).lastModified(), backupTime);
}

// Both patch workers share one course (guards, backup, single-step write), so the binary
// worker stands for the text worker here; the restore worker has its own.
void TestBinaryPatcher::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<bool>("restore");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");

    const QString notRegular = Reason::notRegularFile();
    const QString outside = Reason::linkOutsideInstallation();
    const QString systemWords; // the reason ends with the system's own words
    QTest::newRow("a directory where the backup should be")
        << false << "backup is a directory" << Reason::backupNotRead(notRegular);
    QTest::newRow("a link to a sibling whose name begins like the root") << false << "link to ../qt-old/qmake" << outside;
    // Reading a pipe could wait for ever; it is refused without being opened.
    QTest::newRow("a named pipe where the file should be")
        << false << "file is a pipe, no backup" << Reason::fileNotRead(notRegular);
    // A file-size limit holds for root too: the kernel refuses every byte past it.
    QTest::newRow("a backup cut short by the file-size limit")
        << false << "size limit, no backup" << Reason::backupNotMade(systemWords);
    QTest::newRow("a new content cut short by the file-size limit")
        << false << "size limit" << Reason::fileNotWritten(systemWords);
    // Permission bits do not stop root: these rows run the worker as an unprivileged user.
    QTest::newRow("a read-only directory, no backup yet")
        << false << "user, read-only directory, no backup" << Reason::backupNotMade(systemWords);
    QTest::newRow("a read-only file beside its backup")
        << false << "user, read-only file" << Reason::fileNotWritten(systemWords);
    QTest::newRow("a file the user may not read")
        << false << "user, unreadable file, no backup" << Reason::fileNotRead(systemWords);
    QTest::newRow("a backup the user may not read")
        << false << "user, unreadable backup" << Reason::backupNotRead(systemWords);
    QTest::newRow("restore: a link to a sibling whose name begins like the root") << true << "link to ../qt-old/qmake" << outside;
    QTest::newRow("restore: a link leading nowhere")
        << true << "link to qmake.4.8.9" << Reason::fileNotWritten(Reason::brokenLink());
    QTest::newRow("restore: a directory where the backup should be")
        << true << "backup is a directory" << Reason::backupNotRead(notRegular);
    QTest::newRow("restore: a directory where the file should be")
        << true << "file is a directory" << Reason::fileNotWritten(notRegular);
    // Deleting first and copying after would leave no file at all here.
    QTest::newRow("restore: a write cut short by the file-size limit")
        << true << "size limit" << Reason::fileNotWritten(systemWords);
    QTest::newRow("restore: a backup the user may not read")
        << true << "user, unreadable backup" << Reason::backupNotRead(systemWords);
}

void TestBinaryPatcher::failureLeavesEverythingAsItWas()
{
    QFETCH(bool, restore);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    using namespace WorkerChecks;
    const auto has = [&fault](const char *words) { return fault.contains(QLatin1String(words)); };

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString root = dir.filePath(QStringLiteral("qt"));
    const QString path = root + QStringLiteral("/qmake");
    const QString backupPath = path + QStringLiteral(".back");
    // A sibling whose name begins like the root is outside it all the same.
    const QString outside = dir.filePath(QStringLiteral("qt-old/qmake"));
    const QByteArray current = Qt4Fixture::binaryWithSlots("/opt/qt4");
    const QByteArray backup = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY(QDir().mkpath(root) && QDir().mkpath(QFileInfo(outside).path()));
    QVERIFY2(Qt4Fixture::writeFile(outside, current, &error), qPrintable(error));
    if (has("link to"))
        QVERIFY(QFile::link(fault.section(QLatin1Char(' '), 2), path));
    else if (has("file is a directory"))
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
    else if (has("file is a pipe"))
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    else
        QVERIFY2(Qt4Fixture::writeFile(path, current, &error), qPrintable(error));
    if (has("backup is a directory"))
        QVERIFY(QDir().mkpath(backupPath + QStringLiteral("/inside")));
    else if (!has("no backup"))
        QVERIFY2(Qt4Fixture::writeFile(backupPath, has("backup too large") ? backup + backup : backup, &error),
                 qPrintable(error));
    // Each entry's kind and bytes: a wrong-kind entry stays what it was, no file is written.
    const auto state = [&] {
        QList<QByteArray> states;
        for (const QString &entry : {path, backupPath, outside}) {
            const QFileInfo info(entry);
            const QByteArray kind = info.isDir() ? "dir" : info.exists() && !info.isFile() ? "special" : QByteArray();
            states << QByteArray(info.isSymLink() ? "link " : "") + (kind.isEmpty() ? Qt4Fixture::readFile(entry) : kind);
        }
        return states;
    };
    const QStringList entries = entryNames(root);
    const QList<QByteArray> before = state();

    const auto work = [&] { return restore ? restoreBackup(path, root) : patchBinaryFile(root.toLocal8Bit(), path); };
    FileOutcome outcome;
    if (has("user")) {
        const QFileDevice::Permissions none = {};
        QList<QPair<QString, QFileDevice::Permissions>> permissions = {
            {dir.path(), readOnlyDirectory},
            {root, readOnlyDirectory | (has("read-only directory") ? none : writable)},
            {path, has("unreadable file") ? none : readOnlyFile | (has("read-only file") ? none : writable)}};
        if (!has("no backup"))
            permissions.append({backupPath, has("unreadable backup") ? none : readOnlyFile});
        QString whyNot;
        if (!runAsUser(permissions, work, &outcome, &whyNot))
            QSKIP(qPrintable(whyNot));
    } else if (has("size limit")) {
        Qt4Fixture::FileSizeLimit limit(current.size() / 2);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = work();
    } else {
        outcome = work();
    }
    QVERIFY2(failedWith(outcome, reason), qPrintable(outcome.reason));
    QCOMPARE(entryNames(root), entries);
    QVERIFY(state() == before);
}

QTEST_GUILESS_MAIN(TestBinaryPatcher)
#include "tst_binarypatcher.moc"
