#include "patching/binarypatcher.h"

#include "patching/filestore.h"
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

// The binary worker on files shaped like a real Qt 4 build's, on disk.
class TestBinaryPatcher : public QObject
{
    Q_OBJECT

private slots:
    void patchesRealFiles_data();
    void patchesRealFiles();
    void guardsComeFirst_data();
    void guardsComeFirst();
    void laterPatchesStartFromTheBackup();
    void links_data();
    void links();
    void failureLeavesEverythingAsItWas_data();
    void failureLeavesEverythingAsItWas();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";

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
    InstallationOptions linuxStyle;
    QTest::newRow("Linux qmake") << file("bin/qmake", linuxStyle) << QByteArray("/opt/qt4") << any << changed;
    QTest::newRow("Linux QtCore library, new root longer than the old one")
        << file("lib/libQtCore.so.4.8.7", linuxStyle) << QByteArray("/srv/farm/qt/4.8.7-relocated") << any << changed;
    InstallationOptions windows;
    windows.windowsStyle = true;
    windows.layout.trailingSeparator = true;
    windows.layout.stride = 544;
    windows.layout.reversed = true;
    QTest::newRow("Windows qmake.exe, backslashes and trailing separators, reversed arrays")
        << file("bin/qmake.exe", windows) << QByteArray("D:/dev/qt") << any << changed;
    windows.staticBuild = true;
    QTest::newRow("static build: the slots of a .a archive")
        << file("lib/libQtCore4.a", windows) << QByteArray("E:/Qt/4.8.1-static") << any << changed;
    InstallationOptions qt46;
    qt46.layout.withImportsSlot = false;
    qt46.layout.tableCopies = 2;
    QTest::newRow("a 4.6 build without the imports slot, its table twice")
        << file("lib/libQtCore.so.4.8.7", qt46) << QByteArray("/opt/qt4") << any << changed;
    InstallationOptions megabytes;
    megabytes.layout.fillerBefore = 3 * 1024 * 1024;
    megabytes.layout.fillerAfter = 1024 * 1024;
    QTest::newRow("slots deep inside megabytes of other data")
        << file("lib/libQtCore.so.4.8.7", megabytes) << QByteArray("/opt/qt4") << any << changed;

    // Arrays of 64 bytes with non-zero padding: 12 + 48 + 1 bytes fit, a suffix does not.
    Qt4Fixture::SlotLayout small;
    small.arraySize = 64;
    small.stride = 80;
    small.paddingByte = '\xcc';
    QStringList withSuffix;
    for (const Qt4Fixture::KeySuffix &key : Qt4Fixture::patchedKeys()) {
        if (!key.suffix.isEmpty())
            withSuffix << QString::fromLatin1(key.key);
    }
    QTest::newRow("short arrays: every key with a suffix is named in table order, the others written")
        << Qt4Fixture::binaryWithSlots("/q", small) << QByteArray(48, 'r') << 64
        << FileOutcome::failed(Reason::slotsTooSmall(withSuffix));
    QTest::newRow("a slot cut by the end of the data stays, the whole slots before it are written")
        << Qt4Fixture::binaryWithSlots(oldRoot) + "qt_prfxpath=/home/builder" << QByteArray("/opt/qt4/relocated") << any
        << FileOutcome::failed(Reason::slotsTooSmall({QStringLiteral("qt_prfxpath=")}));
    QTest::newRow("a file without slots keeps its bytes and gets its backup")
        << file("lib/libQtCore.la", linuxStyle) << QByteArray("/opt/qt4") << any
        << FileOutcome::leftAlone(Reason::upToDate());
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
    QTest::newRow("a root below D:/qt.backup/4.8 keeps the file untouched")
        << "qt.backup/4.8/bin/qmake" << true << false << holdsBack;
    QTest::newRow("a backup handed in gets no backup of its own") << "qt/bin/qmake.back" << true << false << holdsBack;
    QTest::newRow("the test is case-sensitive: .Back is patched")
        << "qt.Backup/bin/qmake" << true << false << FileOutcome::changed();
    QTest::newRow("the test is case-sensitive: .BACK is patched")
        << "qt.BACK/bin/qmake" << true << false << FileOutcome::changed();
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

void TestBinaryPatcher::links_data()
{
    QTest::addColumn<QString>("linkTo");     // the target of lib/libQtCore.so, from its directory
    QTest::addColumn<bool>("throughLinkedRoot"); // the installation named through a linked directory
    QTest::addColumn<FileOutcome>("expected");

    const FileOutcome outside = FileOutcome::failed(Reason::linkOutsideInstallation());
    QTest::newRow("a link inside the tree is patched through, its backup a regular file beside it")
        << "libQtCore.so.4.8.7" << false << FileOutcome::changed();
    QTest::newRow("an installation reached through a linked directory")
        << "libQtCore.so.4.8.7" << true << FileOutcome::changed();
    QTest::newRow("a link to a library in another directory") << "../../elsewhere/lib/libQtCore.so.4.8.7" << false
                                                              << outside;
    QTest::newRow("a link to a sibling whose name begins like the root")
        << "../../qt-other/lib/libQtCore.so.4.8.7" << false << outside;
}

void TestBinaryPatcher::links()
{
    QFETCH(QString, linkTo);
    QFETCH(bool, throughLinkedRoot);
    QFETCH(FileOutcome, expected);

    Installation qt;
    QVERIFY2(qt.valid, qPrintable(qt.error));
    const QString realLink = qt.path(QStringLiteral("lib/libQtCore.so"));
    const QString target = QFileInfo(QFileInfo(realLink).absolutePath() + QLatin1Char('/') + linkTo).absoluteFilePath();
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY(QDir().mkpath(QFileInfo(target).absolutePath()));
    QVERIFY2(Qt4Fixture::writeFile(target, original, &error), qPrintable(error));
    QVERIFY(QFile::remove(realLink) && QFile::link(linkTo, realLink));
    QString root = qt.root;
    if (throughLinkedRoot) {
        root = qt.dir.filePath(QStringLiteral("linked-qt"));
        QVERIFY(QFile::link(qt.root, root));
    }
    const QString link = root + QStringLiteral("/lib/libQtCore.so");

    QCOMPARE(patchBinaryFile(root.toLocal8Bit(), link), expected);
    QVERIFY(QFileInfo(realLink).isSymLink());
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".back")));
    if (expected.status != OutcomeStatus::Changed) {
        QCOMPARE(Qt4Fixture::readFile(target), original);
        QVERIFY(!QFileInfo::exists(link + QStringLiteral(".back")));
        return;
    }
    QCOMPARE(Qt4Fixture::readFile(target), expectedPatch(original, root.toLocal8Bit()));
    const QFileInfo backup(realLink + QStringLiteral(".back"));
    QVERIFY(backup.isFile() && !backup.isSymLink());
    QCOMPARE(Qt4Fixture::readFile(backup.filePath()), original);
    QCOMPARE(patchBinaryFile(root.toLocal8Bit(), link), FileOutcome::leftAlone(Reason::upToDate()));
}

void TestBinaryPatcher::failureLeavesEverythingAsItWas_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");

    const QString notRegular = Reason::notRegularFile();
    const QString systemWords; // the reason ends with the system's own words
    QTest::newRow("a directory where the backup should be")
        << "backup is a directory" << Reason::backupNotRead(notRegular);
    QTest::newRow("a dangling link where the backup should be")
        << "backup is a link" << Reason::backupNotRead(notRegular);
    QTest::newRow("a file larger than what may be loaded") << "file too large, no backup" << Reason::fileTooLarge();
    QTest::newRow("a small file whose backup is too large to load") << "backup too large" << Reason::fileTooLarge();
    // A file-size limit holds for root too: the kernel refuses every byte past it.
    QTest::newRow("a backup cut short by the file-size limit")
        << "size limit, no backup" << Reason::backupNotMade(systemWords);
    QTest::newRow("a new content cut short by the file-size limit")
        << "size limit" << Reason::fileNotWritten(systemWords);
    // Permission bits do not stop root: these rows run the worker as an unprivileged user.
    QTest::newRow("a read-only directory, no backup yet")
        << "user, read-only directory, no backup" << Reason::backupNotMade(systemWords);
    QTest::newRow("a read-only file beside its backup")
        << "user, read-only file" << Reason::fileNotWritten(systemWords);
    QTest::newRow("a file the user may not read")
        << "user, unreadable file, no backup" << Reason::fileNotRead(systemWords);
    QTest::newRow("a backup the user may not read") << "user, unreadable backup" << Reason::backupNotRead(systemWords);
}

void TestBinaryPatcher::failureLeavesEverythingAsItWas()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    using namespace WorkerChecks;
    const auto has = [&fault](const char *words) { return fault.contains(QLatin1String(words)); };

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    const QString backupPath = path + QStringLiteral(".back");
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    if (has("file is a directory"))
        QVERIFY(QDir().mkpath(path));
    else
        QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    if (has("backup is a directory"))
        QVERIFY(QDir().mkpath(backupPath + QStringLiteral("/inside")));
    else if (has("backup is a link"))
        QVERIFY(QFile::link(QStringLiteral("nowhere"), backupPath));
    else if (!has("no backup"))
        QVERIFY2(Qt4Fixture::writeFile(backupPath, has("backup too large") ? original + original : original, &error),
                 qPrintable(error));
    const QStringList entries = entryNames(dir.path());

    const auto patch = [&path] { return patchBinaryFile("/srv/another/root", path); };
    FileOutcome outcome;
    if (has("user")) {
        const QFileDevice::Permissions none = {};
        QList<QPair<QString, QFileDevice::Permissions>> permissions = {
            {dir.path(), readOnlyDirectory | (has("read-only directory") ? none : writable)},
            {path, has("unreadable file") ? none : readOnlyFile | (has("read-only file") ? none : writable)}};
        if (!has("no backup"))
            permissions.append({backupPath, has("unreadable backup") ? none : readOnlyFile});
        QString whyNot;
        if (!runAsUser(permissions, patch, &outcome, &whyNot))
            QSKIP(qPrintable(whyNot));
    } else if (has("size limit")) {
        Qt4Fixture::FileSizeLimit limit(original.size() / 2);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = patch();
    } else {
        const qint64 previous = overrideMaxLoadableFileSize(original.size() + (has("file too large") ? -1 : 1));
        outcome = patch();
        overrideMaxLoadableFileSize(previous);
    }
    QVERIFY2(failedWith(outcome, reason), qPrintable(outcome.reason));
    // Nothing written, no half backup, no temporary file, and a wrong-kind entry stays what it was.
    QCOMPARE(entryNames(dir.path()), entries);
    QCOMPARE(Qt4Fixture::readFile(path), has("file is a directory") ? QByteArray() : original);
    QCOMPARE(QFileInfo(path).isDir(), has("file is a directory"));
    QCOMPARE(QFileInfo(backupPath).isDir(), has("backup is a directory"));
    QCOMPARE(QFileInfo(backupPath).isSymLink(), has("backup is a link"));
}

QTEST_GUILESS_MAIN(TestBinaryPatcher)
#include "tst_binarypatcher.moc"
