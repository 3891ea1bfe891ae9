#include "patching/binarypatcher.h"

#include "faultinjection.h"
#include "outcomeasuser.h"
#include "patching/filestore.h"
#include "qt4fixture.h"
#include "workerchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using Qt4Fixture::InstallationOptions;

Q_DECLARE_METATYPE(Qt4Fixture::InstallationOptions)

// The binary worker on files shaped like a real Qt 4 build's, on disk.
class TestBinaryPatcher : public QObject
{
    Q_OBJECT

private slots:
    void patchesEverySlotOfARealFile_data();
    void patchesEverySlotOfARealFile();
    void guardsComeFirst_data();
    void guardsComeFirst();
    void patchingTwiceGivesTheSameBytes();
    void patchToOneRootThenAnotherEqualsPatchToTheSecond();
    void handEditsAreDroppedByTheNextPatch();
    void existingBackupIsNeverRewritten();
    void backupOfTheWrongKindFails_data();
    void backupOfTheWrongKindFails();
    void fileWithoutSlotsGetsItsBackupAndStays();
    void shortSlotsAreLeftIntactAndNamed();
    void slotAtTheEndOfTheDataIsLeftIntact();
    void executableStaysExecutable();
    void linkInsideTheTreeIsPatchedThrough();
    void linkOutsideTheTreeFails_data();
    void linkOutsideTheTreeFails();
    void installationReachedThroughALinkedDirectory();
    void dryRunTellsWithoutWriting_data();
    void dryRunTellsWithoutWriting();
    void tooLargeFileIsNotTouched_data();
    void tooLargeFileIsNotTouched();
    void directoryInPlaceOfTheFileFails();
    void failedWriteLeavesTheFileAsItWas();
    void failedBackupLeavesNothingBehind();
    void refusedAccessAsAnUnprivilegedUser_data();
    void refusedAccessAsAnUnprivilegedUser();
};

namespace {
const QByteArray oldRoot = "/home/builder/qt-4.8.7";

// What the file must hold after a patch: the fixture's own reading of the slots,
// each overwritten by its record where the record fits in `room` bytes.
QByteArray expectedPatch(const QByteArray &original, const QByteArray &newRoot, int room = 1 << 20)
{
    const QMap<QByteArray, QByteArray> values = Qt4Fixture::expectedSlotValues(newRoot);
    QByteArray out = original;
    for (const Qt4Fixture::FoundSlot &slot : Qt4Fixture::slotList(original)) {
        if (!values.contains(slot.key))
            continue;
        QByteArray record = slot.key + values.value(slot.key);
        record.append('\0');
        if (record.size() <= room && slot.offset + record.size() <= out.size())
            out.replace(slot.offset, record.size(), record);
    }
    return out;
}

QString describe(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// An installation below a fresh temporary directory.
struct Installation {
    QTemporaryDir dir;
    QString root;
    QStringList files;
    QString error;

    explicit Installation(const InstallationOptions &options = InstallationOptions())
    {
        if (!dir.isValid()) {
            error = dir.errorString();
            return;
        }
        root = dir.path() + QStringLiteral("/qt");
        files = Qt4Fixture::makeInstallation(root, options, &error);
    }
    bool isValid() const { return !files.isEmpty(); }
    QString path(const QString &relative) const { return root + QLatin1Char('/') + relative; }
};
} // namespace

void TestBinaryPatcher::patchesEverySlotOfARealFile_data()
{
    QTest::addColumn<InstallationOptions>("options");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("newRoot");

    InstallationOptions linuxStyle;
    QTest::newRow("Linux qmake") << linuxStyle << "bin/qmake" << QByteArray("/opt/qt4");
    QTest::newRow("Linux QtCore library, new root longer than the old one")
        << linuxStyle << "lib/libQtCore.so.4.8.7" << QByteArray("/srv/build-farm/toolchains/qt/4.8.7-relocated");

    InstallationOptions windows;
    windows.windowsStyle = true;
    windows.layout.trailingSeparator = true;
    windows.layout.stride = 544;
    windows.layout.reversed = true;
    QTest::newRow("Windows qmake.exe, backslashes and trailing separators, reversed arrays")
        << windows << "bin/qmake.exe" << QByteArray("D:/dev/qt");
    QTest::newRow("Windows debug DLL") << windows << "bin/QtCored4.dll" << QByteArray("D:/dev/qt");

    InstallationOptions staticBuild;
    staticBuild.windowsStyle = true;
    staticBuild.staticBuild = true;
    QTest::newRow("static build: the slots of a .lib archive")
        << staticBuild << "lib/QtCore4.lib" << QByteArray("E:/Qt/4.8.1-static");
    QTest::newRow("static build: the slots of a .a archive")
        << staticBuild << "lib/libQtCore4.a" << QByteArray("E:/Qt/4.8.1-static");

    InstallationOptions qt46;
    qt46.layout.withImportsSlot = false;
    qt46.layout.tableCopies = 2;
    QTest::newRow("a 4.6 build without the imports slot, its table twice")
        << qt46 << "lib/libQtCore.so.4.8.7" << QByteArray("/opt/qt4");

    InstallationOptions megabytes;
    megabytes.layout.fillerBefore = 3 * 1024 * 1024;
    megabytes.layout.fillerAfter = 1024 * 1024;
    QTest::newRow("slots deep inside megabytes of other data")
        << megabytes << "lib/libQtCore.so.4.8.7" << QByteArray("/opt/qt4");
}

void TestBinaryPatcher::patchesEverySlotOfARealFile()
{
    QFETCH(InstallationOptions, options);
    QFETCH(QString, file);
    QFETCH(QByteArray, newRoot);

    Installation qt(options);
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(file);
    const QByteArray original = Qt4Fixture::installationFile(file, options);
    QCOMPARE(Qt4Fixture::readFile(path), original);

    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchBinaryFile(newRoot, path), FileOutcome::changed());

    bool ok = false;
    const QByteArray patched = Qt4Fixture::readFile(path, &ok);
    QVERIFY2(ok, qPrintable(describe(path)));
    QCOMPARE(patched.size(), original.size());
    QCOMPARE(patched, expectedPatch(original, newRoot));

    QMap<QByteArray, QByteArray> expected = Qt4Fixture::expectedSlotValues(newRoot, options.layout.withImportsSlot);
    Qt4Fixture::SlotLayout layout = options.layout;
    layout.windowsStyle = options.windowsStyle;
    const QByteArray root = options.windowsStyle ? Qt4Fixture::defaultOldRoot(true) : oldRoot;
    expected.insert(Qt4Fixture::settingsKey(), Qt4Fixture::slotValue(root, Qt4Fixture::settingsKey(), layout));
    QCOMPARE(Qt4Fixture::slotValues(patched), expected);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestBinaryPatcher::guardsComeFirst_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("create");
    QTest::addColumn<FileOutcome>("expected");

    const FileOutcome changed = FileOutcome::changed();
    const FileOutcome missing = FileOutcome::leftAlone(Reason::noSuchFile());
    const FileOutcome holdsBack = FileOutcome::leftAlone(Reason::pathHoldsBack());

    QTest::newRow("a file that does not exist is left alone, with no backup") << "qt/bin/qmake" << false << missing;
    QTest::newRow("a missing file below a .back directory is reported missing first")
        << "qt.backup/bin/qmake" << false << missing;
    QTest::newRow("a directory named qt.backup above the file keeps it from being patched")
        << "qt.backup/bin/qmake" << true << holdsBack;
    QTest::newRow("a .back deep in the path counts too") << "old/x.back/qt/lib/QtCore4.dll" << true << holdsBack;
    QTest::newRow("a backup handed in is never patched and gets no backup of its own")
        << "qt/bin/qmake.back" << true << holdsBack;
    QTest::newRow("the test is case-sensitive: .Back is patched") << "qt.Backup/bin/qmake" << true << changed;
    QTest::newRow("the test is case-sensitive: .BACK is patched") << "qt.BACK/bin/qmake" << true << changed;
    QTest::newRow("back without its dot is patched") << "qtback/bin/qmake" << true << changed;
}

void TestBinaryPatcher::guardsComeFirst()
{
    QFETCH(QString, file);
    QFETCH(bool, create);
    QFETCH(FileOutcome, expected);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(file);
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    if (create) {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QString error;
        QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    }

    // The debug line comes before any test, for every file handed in.
    QTest::ignoreMessage(QtDebugMsg, qPrintable(path));
    QCOMPARE(patchBinaryFile("/opt/qt4", path), expected);

    const bool patched = expected.status == OutcomeStatus::Changed;
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back")), patched);
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back.back")), false);
    if (create)
        QCOMPARE(Qt4Fixture::readFile(path), patched ? expectedPatch(original, "/opt/qt4") : original);
    else
        QVERIFY(!QFileInfo::exists(path));
}

void TestBinaryPatcher::patchingTwiceGivesTheSameBytes()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QByteArray original = Qt4Fixture::readFile(path);

    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());
    const QByteArray first = Qt4Fixture::readFile(path);
    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::leftAlone(Reason::upToDate()));
    QCOMPARE(Qt4Fixture::readFile(path), first);
    QCOMPARE(first, expectedPatch(original, "/opt/qt4"));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestBinaryPatcher::patchToOneRootThenAnotherEqualsPatchToTheSecond()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString twice = qt.path(QStringLiteral("lib/libQtCore.so.4.8.7"));
    const QString once = qt.path(QStringLiteral("lib/libQtGui.so.4.8.7"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(once, Qt4Fixture::readFile(twice), &error), qPrintable(error));

    // A first root much longer than the second: its tail must not survive.
    QCOMPARE(patchBinaryFile("/a/first/root/that/is/much/longer/than/the/second/one", twice),
             FileOutcome::changed());
    QCOMPARE(patchBinaryFile("/q", twice), FileOutcome::changed());
    QCOMPARE(patchBinaryFile("/q", once), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(twice), Qt4Fixture::readFile(once));
    QCOMPARE(Qt4Fixture::readFile(twice + QStringLiteral(".back")), Qt4Fixture::readFile(once + QStringLiteral(".back")));
}

void TestBinaryPatcher::handEditsAreDroppedByTheNextPatch()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QByteArray original = Qt4Fixture::readFile(path);
    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());

    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, "edited by hand", &error), qPrintable(error));
    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), expectedPatch(original, "/opt/qt4"));
}

void TestBinaryPatcher::existingBackupIsNeverRewritten()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QString backupPath = path + QStringLiteral(".back");
    // A backup from another build: the worker must take it as the truth and leave it be.
    Qt4Fixture::SlotLayout other;
    other.seed = 99;
    const QByteArray backup = Qt4Fixture::binaryWithSlots("/usr/local/Trolltech/Qt-4.8.6", other);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(backupPath, backup, &error), qPrintable(error));
    const QDateTime modified = QFileInfo(backupPath).lastModified();

    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), expectedPatch(backup, "/opt/qt4"));
    QCOMPARE(patchBinaryFile("/srv/qt", path), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(path), expectedPatch(backup, "/srv/qt"));
    QCOMPARE(Qt4Fixture::readFile(backupPath), backup);
    QCOMPARE(QFileInfo(backupPath).lastModified(), modified);
}

void TestBinaryPatcher::backupOfTheWrongKindFails_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a directory where the backup should be") << "directory";
    QTest::newRow("a dangling link where the backup should be") << "dangling link";
}

void TestBinaryPatcher::backupOfTheWrongKindFails()
{
    QFETCH(QString, kind);

    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QString backupPath = path + QStringLiteral(".back");
    const QByteArray original = Qt4Fixture::readFile(path);
    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(backupPath + QStringLiteral("/inside")));
    else
        QVERIFY(QFile::link(QStringLiteral("nowhere"), backupPath));

    QCOMPARE(patchBinaryFile("/opt/qt4", path),
             FileOutcome::failed(Reason::backupNotRead(Reason::notRegularFile())));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    if (kind == QLatin1String("directory"))
        QVERIFY(QFileInfo(backupPath + QStringLiteral("/inside")).isDir());
    else
        QCOMPARE(QFileInfo(backupPath).symLinkTarget(), QFileInfo(qt.path(QStringLiteral("bin/nowhere"))).absoluteFilePath());
}

void TestBinaryPatcher::fileWithoutSlotsGetsItsBackupAndStays()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    // The libtool file matches the lib listing's patterns but holds no slot.
    const QString path = qt.path(QStringLiteral("lib/libQtCore.la"));
    const QByteArray original = Qt4Fixture::readFile(path);
    QVERIFY(original.contains(oldRoot));

    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::leftAlone(Reason::upToDate()));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);
}

void TestBinaryPatcher::shortSlotsAreLeftIntactAndNamed()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    // Arrays of 64 bytes with non-zero padding between them: room for a record of 64 bytes.
    Qt4Fixture::SlotLayout layout;
    layout.arraySize = 64;
    layout.stride = 80;
    layout.paddingByte = '\xcc';
    const QByteArray original = Qt4Fixture::binaryWithSlots("/q", layout);
    const QString path = dir.filePath(QStringLiteral("QtCore4.dll"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    // 12 + 48 + 1 bytes fit; every suffix makes the record too long.
    const QByteArray newRoot(48, 'r');
    const QStringList tooSmall = {
        QStringLiteral("qt_docspath="), QStringLiteral("qt_hdrspath="), QStringLiteral("qt_libspath="),
        QStringLiteral("qt_binspath="), QStringLiteral("qt_plugpath="), QStringLiteral("qt_trnspath="),
        QStringLiteral("qt_xmplpath="), QStringLiteral("qt_demopath="), QStringLiteral("qt_impspath="),
    };
    QCOMPARE(patchBinaryFile(newRoot, path), FileOutcome::failed(Reason::slotsTooSmall(tooSmall)));

    const QByteArray patched = Qt4Fixture::readFile(path);
    QCOMPARE(patched, expectedPatch(original, newRoot, 64));
    const QMap<QByteArray, QByteArray> values = Qt4Fixture::slotValues(patched);
    QCOMPARE(values.value("qt_prfxpath="), newRoot);
    QCOMPARE(values.value("qt_datapath="), newRoot);
    QCOMPARE(values.value("qt_docspath="), QByteArray("/q/doc"));
    QCOMPARE(Qt4Fixture::readFile(path + QStringLiteral(".back")), original);

    // The report stays the same on the next run: nothing more can be done.
    QCOMPARE(patchBinaryFile(newRoot, path), FileOutcome::failed(Reason::slotsTooSmall(tooSmall)));
    QCOMPARE(Qt4Fixture::readFile(path), patched);
}

void TestBinaryPatcher::slotAtTheEndOfTheDataIsLeftIntact()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QByteArray cut = "qt_prfxpath=/home/builder";
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot) + cut;
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));

    // The record for this root is longer than what is left after the key.
    const QByteArray newRoot = "/opt/qt4/relocated";
    QCOMPARE(patchBinaryFile(newRoot, path),
             FileOutcome::failed(Reason::slotsTooSmall({QStringLiteral("qt_prfxpath=")})));
    const QByteArray patched = Qt4Fixture::readFile(path);
    QCOMPARE(patched.size(), original.size());
    QVERIFY(patched.endsWith(cut));
    // The whole slots before it are rewritten all the same.
    QCOMPARE(patched.left(patched.size() - cut.size()),
             expectedPatch(original.left(original.size() - cut.size()), newRoot));
}

void TestBinaryPatcher::executableStaysExecutable()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QFileDevice::Permissions before = QFileInfo(path).permissions();
    QVERIFY(before & QFileDevice::ExeOwner);
    QVERIFY(before & QFileDevice::ExeOther);

    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());
    QCOMPARE(QFileInfo(path).permissions(), before);
    QCOMPARE(QFileInfo(path + QStringLiteral(".back")).permissions(), before);
    QCOMPARE(patchBinaryFile("/srv/qt", path), FileOutcome::changed());
    QCOMPARE(QFileInfo(path).permissions(), before);
}

void TestBinaryPatcher::linkInsideTheTreeIsPatchedThrough()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString link = qt.path(QStringLiteral("lib/libQtCore.so"));
    const QString target = qt.path(QStringLiteral("lib/libQtCore.so.4.8.7"));
    const QByteArray original = Qt4Fixture::readFile(target);
    const QByteArray newRoot = qt.root.toLocal8Bit();

    QCOMPARE(patchBinaryFile(newRoot, link), FileOutcome::changed());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFile::symLinkTarget(link), QFileInfo(target).absoluteFilePath());
    QCOMPARE(Qt4Fixture::readFile(target), expectedPatch(original, newRoot));
    const QFileInfo backup(link + QStringLiteral(".back"));
    QVERIFY(backup.isFile());
    QVERIFY(!backup.isSymLink());
    QCOMPARE(Qt4Fixture::readFile(backup.filePath()), original);
    QVERIFY(!QFileInfo::exists(target + QStringLiteral(".back")));
    QCOMPARE(patchBinaryFile(newRoot, link), FileOutcome::leftAlone(Reason::upToDate()));
}

void TestBinaryPatcher::linkOutsideTheTreeFails_data()
{
    QTest::addColumn<QString>("outsideDir");
    QTest::newRow("a link to a library in another directory") << "elsewhere/lib";
    QTest::newRow("a link to a sibling whose name begins like the root") << "qt-other/lib";
}

void TestBinaryPatcher::linkOutsideTheTreeFails()
{
    QFETCH(QString, outsideDir);

    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString outside = qt.dir.filePath(outsideDir + QStringLiteral("/libQtCore.so.4.8.7"));
    QVERIFY(QDir().mkpath(QFileInfo(outside).absolutePath()));
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(outside, original, &error), qPrintable(error));
    const QString link = qt.path(QStringLiteral("lib/libQtCore.so"));
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(QStringLiteral("../../") + outsideDir + QStringLiteral("/libQtCore.so.4.8.7"), link));
    QVERIFY(QFileInfo::exists(link));

    QCOMPARE(patchBinaryFile(qt.root.toLocal8Bit(), link), FileOutcome::failed(Reason::linkOutsideInstallation()));
    QCOMPARE(Qt4Fixture::readFile(outside), original);
    QVERIFY(!QFileInfo::exists(link + QStringLiteral(".back")));
    QVERIFY(!QFileInfo::exists(outside + QStringLiteral(".back")));
    QVERIFY(QFileInfo(link).isSymLink());
}

void TestBinaryPatcher::installationReachedThroughALinkedDirectory()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString linkedRoot = qt.dir.filePath(QStringLiteral("linked-qt"));
    QVERIFY(QFile::link(qt.root, linkedRoot));
    const QString link = linkedRoot + QStringLiteral("/lib/libQtCore.so");
    const QByteArray original = Qt4Fixture::readFile(link);

    QCOMPARE(patchBinaryFile(linkedRoot.toLocal8Bit(), link), FileOutcome::changed());
    QCOMPARE(Qt4Fixture::readFile(qt.path(QStringLiteral("lib/libQtCore.so.4.8.7"))),
             expectedPatch(original, linkedRoot.toLocal8Bit()));
    QVERIFY(QFileInfo(qt.path(QStringLiteral("lib/libQtCore.so"))).isSymLink());
}

void TestBinaryPatcher::dryRunTellsWithoutWriting_data()
{
    QTest::addColumn<QByteArray>("firstRoot"); // empty: no real patch before the dry run
    QTest::addColumn<QByteArray>("dryRoot");
    QTest::addColumn<FileOutcome>("expected");

    QTest::newRow("an unpatched file would change") << QByteArray() << QByteArray("/opt/qt4") << FileOutcome::changed();
    QTest::newRow("a file patched to the same root is up to date")
        << QByteArray("/opt/qt4") << QByteArray("/opt/qt4") << FileOutcome::leftAlone(Reason::upToDate());
    QTest::newRow("a file patched to another root would change")
        << QByteArray("/srv/qt") << QByteArray("/opt/qt4") << FileOutcome::changed();
}

void TestBinaryPatcher::dryRunTellsWithoutWriting()
{
    QFETCH(QByteArray, firstRoot);
    QFETCH(QByteArray, dryRoot);
    QFETCH(FileOutcome, expected);

    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    if (!firstRoot.isEmpty())
        QCOMPARE(patchBinaryFile(firstRoot, path), FileOutcome::changed());
    const QByteArray before = Qt4Fixture::readFile(path);
    const QStringList entries = WorkerChecks::entryNames(qt.path(QStringLiteral("bin")));

    QCOMPARE(patchBinaryFile(dryRoot, path, WriteMode::DryRun), expected);
    QCOMPARE(Qt4Fixture::readFile(path), before);
    QCOMPARE(WorkerChecks::entryNames(qt.path(QStringLiteral("bin"))), entries);
    // What the dry run said is what a real run does.
    QCOMPARE(patchBinaryFile(dryRoot, path), expected);
}

void TestBinaryPatcher::tooLargeFileIsNotTouched_data()
{
    QTest::addColumn<bool>("largeBackup");
    QTest::newRow("the file is larger than what may be loaded") << false;
    QTest::newRow("the file is small but its backup is not") << true;
}

void TestBinaryPatcher::tooLargeFileIsNotTouched()
{
    QFETCH(bool, largeBackup);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    Qt4Fixture::SlotLayout small;
    small.fillerBefore = 100;
    small.fillerAfter = 100;
    const QByteArray smallFile = Qt4Fixture::binaryWithSlots(oldRoot, small);
    const QByteArray largeFile = Qt4Fixture::binaryWithSlots(oldRoot);
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, largeBackup ? smallFile : largeFile, &error), qPrintable(error));
    if (largeBackup)
        QVERIFY2(Qt4Fixture::writeFile(path + QStringLiteral(".back"), largeFile, &error), qPrintable(error));

    const qint64 previous = overrideMaxLoadableFileSize(64 * 1024);
    const FileOutcome outcome = patchBinaryFile("/opt/qt4", path);
    overrideMaxLoadableFileSize(previous);

    QCOMPARE(outcome, FileOutcome::failed(Reason::fileTooLarge()));
    QCOMPARE(Qt4Fixture::readFile(path), largeBackup ? smallFile : largeFile);
    QCOMPARE(QFileInfo::exists(path + QStringLiteral(".back")), largeBackup);
}

void TestBinaryPatcher::directoryInPlaceOfTheFileFails()
{
    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString path = dir.filePath(QStringLiteral("qmake"));
    QVERIFY(QDir().mkpath(path));

    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::failed(Reason::fileNotRead(Reason::notRegularFile())));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(!QFileInfo::exists(path + QStringLiteral(".back")));
}

void TestBinaryPatcher::failedWriteLeavesTheFileAsItWas()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    QCOMPARE(patchBinaryFile("/opt/qt4", path), FileOutcome::changed());
    const QByteArray before = Qt4Fixture::readFile(path);
    const QStringList entries = WorkerChecks::entryNames(qt.path(QStringLiteral("bin")));

    FileOutcome outcome;
    {
        // Holds for root too: the kernel refuses every byte past the limit.
        Qt4Fixture::FileSizeLimit limit(before.size() / 2);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = patchBinaryFile("/srv/another/root", path);
    }
    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(Reason::fileNotWritten(QString())), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(path), before);
    QCOMPARE(WorkerChecks::entryNames(qt.path(QStringLiteral("bin"))), entries);
}

void TestBinaryPatcher::failedBackupLeavesNothingBehind()
{
    Installation qt;
    QVERIFY2(qt.isValid(), qPrintable(qt.error));
    const QString path = qt.path(QStringLiteral("bin/qmake"));
    const QByteArray before = Qt4Fixture::readFile(path);
    const QStringList entries = WorkerChecks::entryNames(qt.path(QStringLiteral("bin")));

    FileOutcome outcome;
    {
        Qt4Fixture::FileSizeLimit limit(before.size() / 2);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        outcome = patchBinaryFile("/opt/qt4", path);
    }
    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(Reason::backupNotMade(QString())), qPrintable(outcome.reason));
    QCOMPARE(Qt4Fixture::readFile(path), before);
    // No half backup, no temporary file: a later run starts from the untouched file.
    QCOMPARE(WorkerChecks::entryNames(qt.path(QStringLiteral("bin"))), entries);
}

void TestBinaryPatcher::refusedAccessAsAnUnprivilegedUser_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("reasonStart");
    QTest::addColumn<bool>("backupAfter");

    QTest::newRow("a read-only file in a writable directory")
        << "read-only file" << Reason::fileNotWritten(QString()) << true;
    QTest::newRow("a read-only directory, no backup yet")
        << "read-only directory" << Reason::backupNotMade(QString()) << false;
    QTest::newRow("a read-only directory that already holds the backup")
        << "read-only directory with backup" << Reason::fileNotWritten(QString()) << true;
    QTest::newRow("a file the user may not read") << "unreadable file" << Reason::fileNotRead(QString()) << false;
    QTest::newRow("a backup the user may not read")
        << "unreadable backup" << Reason::backupNotRead(QString()) << true;
}

void TestBinaryPatcher::refusedAccessAsAnUnprivilegedUser()
{
    QFETCH(QString, situation);
    QFETCH(QString, reasonStart);
    QFETCH(bool, backupAfter);

    QTemporaryDir dir;
    QVERIFY2(dir.isValid(), qPrintable(dir.errorString()));
    const QString bin = dir.filePath(QStringLiteral("qt/bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString path = bin + QStringLiteral("/qmake");
    const QString backupPath = path + QStringLiteral(".back");
    const QByteArray original = Qt4Fixture::binaryWithSlots(oldRoot);
    QString error;
    QVERIFY2(Qt4Fixture::writeFile(path, original, &error), qPrintable(error));
    if (situation.endsWith(QLatin1String("with backup")) || situation == QLatin1String("unreadable backup"))
        QVERIFY2(Qt4Fixture::writeFile(backupPath, original, &error), qPrintable(error));

    WorkerChecks::PermissionsRestorer restorer;
    for (const QString &p : {dir.path(), dir.filePath(QStringLiteral("qt")), bin, path, backupPath}) {
        if (QFileInfo::exists(p))
            restorer.remember(p);
    }
    QVERIFY(QFile::setPermissions(dir.path(), OutcomeAsUser::readOnlyDirectory()));
    QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("qt")), OutcomeAsUser::readOnlyDirectory()));
    const bool readOnlyDir = situation.startsWith(QLatin1String("read-only directory"));
    QVERIFY(QFile::setPermissions(bin, readOnlyDir ? OutcomeAsUser::readOnlyDirectory() : OutcomeAsUser::openDirectory()));
    if (situation == QLatin1String("read-only file"))
        QVERIFY(QFile::setPermissions(path, OutcomeAsUser::readOnlyFile()));
    else if (situation == QLatin1String("unreadable file"))
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    else
        QVERIFY(QFile::setPermissions(path, OutcomeAsUser::openFile()));
    if (situation == QLatin1String("unreadable backup"))
        QVERIFY(QFile::setPermissions(backupPath, QFileDevice::Permissions()));

    FileOutcome outcome;
    QString whyNot;
    if (!OutcomeAsUser::run([&path] { return patchBinaryFile("/opt/qt4", path); }, &outcome, &whyNot))
        QSKIP(qPrintable(QStringLiteral("cannot run as an unprivileged user: ") + whyNot));

    QCOMPARE(outcome.status, OutcomeStatus::Failed);
    QVERIFY2(outcome.reason.startsWith(reasonStart), qPrintable(outcome.reason));
    QVERIFY(outcome.reason.size() > reasonStart.size()); // the system's own words follow
    QVERIFY(QFile::setPermissions(path, OutcomeAsUser::openFile()));
    QCOMPARE(Qt4Fixture::readFile(path), original);
    QCOMPARE(QFileInfo::exists(backupPath), backupAfter);
    if (backupAfter) {
        QVERIFY(QFile::setPermissions(backupPath, OutcomeAsUser::openFile()));
        QCOMPARE(Qt4Fixture::readFile(backupPath), original);
    }
    QStringList expectedEntries{QStringLiteral("qmake")};
    if (backupAfter)
        expectedEntries << QStringLiteral("qmake.back");
    QCOMPARE(WorkerChecks::entryNames(bin), expectedEntries);
}

QTEST_GUILESS_MAIN(TestBinaryPatcher)
#include "tst_binarypatcher.moc"
