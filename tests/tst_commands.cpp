#include "app/mainwindow.h"
#include "faultinjection.h"
#include "modalhelper.h"
#include "patching/commandrun.h"
#include "qt4fixture.h"
#include "windowdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <optional>
#include <stdexcept>

using namespace Qt4Fixture;

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Qt4Fixture::InstallationOptions)

char *toString(const FileOutcome &outcome)
{
    return QTest::toString(outcomeStatusKey(outcome.status) + QStringLiteral(": ") + outcome.reason);
}

namespace {

const QString patchDone = QStringLiteral("Application du patch termin?");
const QString unpatchDone = QStringLiteral("Patch enlev?");
const QString patchFailed = QStringLiteral("Le patch n'a pas pu être appliqué à certains fichiers :");
const QString unpatchFailed = QStringLiteral("Certains fichiers n'ont pas pu être restaurés :");
const QStringList textFiles{QStringLiteral("mkspecs/default/qmake.conf"), QStringLiteral(".qmake.cache")};

using Snapshot = QMap<QString, QByteArray>;

// Every entry below `dir`: a file by its bytes, a link by its target, a directory by a marker.
Snapshot snapshot(const QString &dir)
{
    Snapshot entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        entries.insert(path.mid(dir.size() + 1), info.isSymLink() ? "link to " + info.symLinkTarget().toUtf8()
                                                 : info.isDir()   ? QByteArray("directory")
                                                                  : readFile(path));
    }
    return entries;
}

// The entries that are new, gone or changed, sorted.
QStringList differences(const Snapshot &before, const Snapshot &after)
{
    QStringList keys = before.keys() + after.keys();
    keys.removeDuplicates();
    keys.sort();
    QStringList changed;
    for (const QString &key : keys) {
        if (before.contains(key) != after.contains(key) || before.value(key) != after.value(key))
            changed << key;
    }
    return changed;
}

QStringList withBackups(const QStringList &files)
{
    QStringList all;
    for (const QString &file : files)
        all << file << file + QStringLiteral(".back");
    all.sort();
    return all;
}

// The busy dialog as the user sees it.
QString describeProgress(const QProgressDialog *dialog, const QWidget *window)
{
    return QStringList{dialog->labelText(),
                       dialog->minimum() == 0 && dialog->maximum() == 0 ? QStringLiteral("busy") : QStringLiteral("a range"),
                       dialog->findChild<QPushButton *>() ? QStringLiteral("a button") : QStringLiteral("no button"),
                       dialog->windowModality() == Qt::WindowModal ? QStringLiteral("window-modal") : QStringLiteral("other modality"),
                       dialog->parentWidget() == window ? QStringLiteral("over the window") : QStringLiteral("elsewhere"),
                       dialog->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")}
        .join(QStringLiteral(", "));
}

QString progressOf(Command command)
{
    return (command == Command::Patch ? QStringLiteral("Patche en cours...")
                                      : QStringLiteral("Suppression du patche en cours..."))
           + QStringLiteral(", busy, no button, window-modal, over the window, shown");
}

QString information(const QString &text) { return QStringLiteral("information: ") + text; }
QString warning(const QString &text) { return QStringLiteral("warning: ") + text; }

// Counts the progress dialogs and message boxes shown while it lives.
class ShowCounter : public QObject
{
public:
    ShowCounter() { qApp->installEventFilter(this); }
    ~ShowCounter() override { qApp->removeEventFilter(this); }
    int progressDialogs = 0;
    int boxes = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            progressDialogs += qobject_cast<QProgressDialog *>(watched) != nullptr;
            boxes += qobject_cast<QMessageBox *>(watched) != nullptr;
        }
        return false;
    }
};

// Both buttons and both slots, while a run is not over: none may start another run.
void tryAgain(MainWindow &window)
{
    QTest::mouseClick(WindowDriver::patchButton(window), Qt::LeftButton);
    QTest::mouseClick(WindowDriver::unpatchButton(window), Qt::LeftButton);
    window.patchQt();
    window.unpatchQt();
}

// Presses the command's button, tries again while the end box is up, answers it and returns
// what it said ("information: ..." or "warning: ..."), preceded by whatever departed from what
// every run shows: one busy dialog over the window, up under one box over the window without
// a title and with Ok alone, and no dialog left afterwards.
QString pressCommand(MainWindow &window, Command command)
{
    QStringList odd;
    QString said;
    ShowCounter shows;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return; // the progress dialog, which the run takes down itself
        if (said.isEmpty()) {
            said = (box->icon() == QMessageBox::Information ? information(box->text())
                    : box->icon() == QMessageBox::Warning   ? warning(box->text())
                                                            : QStringLiteral("other icon: ") + box->text());
            if (!box->windowTitle().isEmpty() || box->buttons().size() != 1 || !box->button(QMessageBox::Ok)
                || box->parentWidget() != &window)
                odd << QStringLiteral("a box with a title, other buttons or elsewhere");
            QProgressDialog *dialog = window.findChild<QProgressDialog *>();
            const QString progress = dialog ? describeProgress(dialog, &window) : QStringLiteral("no progress dialog");
            if (progress != progressOf(command))
                odd << progress;
            tryAgain(window);
        }
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    });
    // A box of a run that should never have started is answered too, and counted.
    answerer.answerEach();
    QTest::mouseClick(command == Command::Patch ? WindowDriver::patchButton(window) : WindowDriver::unpatchButton(window),
                      Qt::LeftButton);
    if (shows.progressDialogs != 1 || shows.boxes != 1)
        odd << QStringLiteral("%1 progress dialogs and %2 boxes").arg(shows.progressDialogs).arg(shows.boxes);
    if (window.findChild<QProgressDialog *>())
        odd << QStringLiteral("a progress dialog left");
    return odd.isEmpty() ? said : odd.join(QStringLiteral("; ")) + QStringLiteral(" | ") + said;
}

// Each patch worker prints the path it is handed: these collect the lines below `dir` and,
// given `parkAt`, hold the worker printing that path until release(), so that the run is
// certainly waiting for that job. Only that worker's pool thread is held. Jobs run one at
// a time, each waited for, so the lines need no lock.
struct DebugLines {
    DebugLines(const QString &dir, const QString &parkAt = QString())
        : dir(dir + QLatin1Char('/')), parkAt(parkAt)
    {
        s_current = this;
        previous = qInstallMessageHandler(&handle);
    }
    ~DebugLines()
    {
        release();
        qInstallMessageHandler(previous);
        QThreadPool::globalInstance()->waitForDone();
        s_current = nullptr;
    }
    void release()
    {
        if (!released.exchange(true))
            gate.release();
    }
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        DebugLines *self = s_current;
        if (type != QtDebugMsg || !message.startsWith(self->dir))
            return;
        self->lines << message.mid(self->dir.size());
        if (message == self->parkAt) {
            self->parked = true;
            self->gate.tryAcquire(1, 60000);
        }
    }

    const QString dir;
    const QString parkAt;
    QStringList lines;
    QSemaphore gate;
    std::atomic<bool> parked{false};
    std::atomic<bool> released{false};
    QtMessageHandler previous;
    static inline DebugLines *s_current = nullptr;
};

// Each listed binary and both text files name `dir` now, with the original beside them as a
// backup, and nothing else changed. How each file is rewritten is the workers' own matter.
void verifyPatched(const QString &dir, const InstallationOptions &options, const QStringList &listed, const Snapshot &generated)
{
    const QString canonicalDir = QFileInfo(dir).canonicalFilePath() + QLatin1Char('/');
    QStringList changed;
    for (const QString &relative : listed + textFiles) {
        const QString path = dir + QLatin1Char('/') + relative;
        const QByteArray original = installationFile(relative, options);
        QVERIFY2(readFile(path + QStringLiteral(".back")) == original, qPrintable(relative));
        changed << relative + QStringLiteral(".back");
        // Files without path slots (import libraries, libtool files) stay as they are.
        if (slotValues(original).isEmpty() && !textFiles.contains(relative))
            continue;
        QVERIFY2(readFile(path).contains(dir.toLocal8Bit()), qPrintable(relative));
        // Through a link, it is the library the link leads to that changes.
        changed << QFileInfo(path).canonicalFilePath().mid(canonicalDir.size());
    }
    changed.sort();
    QCOMPARE(differences(generated, snapshot(dir)), changed);
}

} // namespace

// The "patcher" and "unpatcher" buttons driven through the real window and its dialogs on
// generated installations; every check is made on what the window showed and the files on disk.
class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void patchThenUnpatch_data();
    void patchThenUnpatch();
    void listingRulesOnDisk();
    void failedFilesAreListedInWarning_data();
    void failedFilesAreListedInWarning();
    void progressDialogHoldsDuringJob();
    void throwingWorkerDoesNotStopRun();

private:
    QString openInstallation(MainWindow &window, const InstallationOptions &options = InstallationOptions());

    QTemporaryDir m_root;
    int m_dirCount = 0;
};

void TestCommands::initTestCase()
{
    QVERIFY2(m_root.isValid(), qPrintable(m_root.errorString()));
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestCommands::cleanup()
{
    // No dialog or box may outlive the test that opened it.
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), widget->metaObject()->className());
}

// Generates an installation and chooses it in the window through the real dialog.
QString TestCommands::openInstallation(MainWindow &window, const InstallationOptions &options)
{
    const QString dir = m_root.path() + QStringLiteral("/qt") + QString::number(++m_dirCount);
    window.show();
    if (makeInstallation(dir, options).isEmpty() || !QTest::qWaitForWindowExposed(&window))
        return QString();
    const WindowDriver::BrowseResult result = WindowDriver::browse(window, dir);
    const bool chosen = result.dialogSeen && !result.boxSeen && WindowDriver::shownPath(window) == dir
                        && WindowDriver::commandsEnabled(window);
    return chosen ? dir : QString();
}

void TestCommands::patchThenUnpatch_data()
{
    QTest::addColumn<InstallationOptions>("options");
    QTest::addColumn<QStringList>("listed");

    InstallationOptions copies;
    copies.symlinks = false;
    InstallationOptions windowsBuild;
    windowsBuild.windowsStyle = true;
    InstallationOptions staticBuild = windowsBuild;
    staticBuild.staticBuild = true;
    const QStringList linux{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so")};
    QTest::newRow("a Linux build whose libQtCore.so is a link") << InstallationOptions() << linux;
    QTest::newRow("a Linux build whose libQtCore.so is a copy") << copies << linux;
    const QStringList windows{QStringLiteral("bin/qmake.exe"),   QStringLiteral("bin/QtCore4.dll"),
                              QStringLiteral("bin/QtCored4.dll"), QStringLiteral("lib/libQtCore4.a"),
                              QStringLiteral("lib/QtCore4.lib"),  QStringLiteral("lib/QtCored4.lib")};
    QTest::newRow("a Windows build with import libraries") << windowsBuild << windows;
    QTest::newRow("a static Windows build, whose archives hold slots too") << staticBuild << windows;
}

void TestCommands::patchThenUnpatch()
{
    QFETCH(InstallationOptions, options);
    QFETCH(QStringList, listed);

    MainWindow window;
    const QString dir = openInstallation(window, options);
    QVERIFY(!dir.isEmpty());
    const Snapshot generated = snapshot(dir);

    // Nothing to restore yet: no backup is no failure, and nothing changes.
    QCOMPARE(pressCommand(window, Command::Unpatch), information(unpatchDone));
    QCOMPARE(differences(generated, snapshot(dir)), QStringList());

    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    verifyPatched(dir, options, listed, generated);
    const Snapshot patched = snapshot(dir);
    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    QCOMPARE(differences(patched, snapshot(dir)), QStringList());

    // Every byte is back; the backups stay as they were.
    QCOMPARE(pressCommand(window, Command::Unpatch), information(unpatchDone));
    const Snapshot restored = snapshot(dir);
    QStringList backups;
    for (const QString &file : listed + textFiles) {
        backups << file + QStringLiteral(".back");
        QCOMPARE(restored.value(backups.last()), patched.value(backups.last()));
    }
    backups.sort();
    QCOMPARE(differences(generated, restored), backups);

    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    QCOMPARE(differences(patched, snapshot(dir)), QStringList());
    QCOMPARE(WindowDriver::shownPath(window), dir);
    QVERIFY(WindowDriver::commandsEnabled(window));
}

void TestCommands::listingRulesOnDisk()
{
    InstallationOptions options;
    options.windowsStyle = true;
    MainWindow window;
    const QString dir = openInstallation(window, options);
    QVERIFY(!dir.isEmpty());
    const QByteArray library = installationFile(QStringLiteral("bin/QtCore4.dll"), options);
    // A backup of the same length, as a patch leaves one, but other bytes.
    const QByteArray otherLibrary = QByteArray(library).replace(0, 8, "original");
    // Both qmake names; an upper-case QtCore name; a bin library with something before QtCore and
    // a versioned shared object, each with a backup beside it; a directory named like a pattern;
    // one configuration file missing.
    QVERIFY(writeFile(dir + QStringLiteral("/bin/qmake"), installationFile(QStringLiteral("bin/qmake.exe"), options)));
    QVERIFY(QFile::rename(dir + QStringLiteral("/bin/QtCored4.dll"), dir + QStringLiteral("/bin/QTCORED4.DLL")));
    QVERIFY(writeFile(dir + QStringLiteral("/bin/libQtCore4.dll"), library));
    QVERIFY(writeFile(dir + QStringLiteral("/bin/libQtCore4.dll.back"), otherLibrary));
    QVERIFY(writeFile(dir + QStringLiteral("/lib/libQtCore.so.4"), library));
    QVERIFY(writeFile(dir + QStringLiteral("/lib/libQtCore.so.4.back"), otherLibrary));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib/QtCore4.dll")));
    QVERIFY(writeFile(dir + QStringLiteral("/lib/QtCore4.dll/notes.txt"), "kept"));
    QVERIFY(QFile::remove(dir + QLatin1Char('/') + textFiles.at(0)));
    const Snapshot before = snapshot(dir);
    {
        DebugLines debug(dir);
        // The directory is handed to the worker, which leaves it alone; the missing file is no failure.
        QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
        QCOMPARE(debug.lines,
                 (QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll"),
                              QStringLiteral("bin/QTCORED4.DLL"), QStringLiteral("lib/libQtCore4.a"),
                              QStringLiteral("lib/QtCore4.dll"), QStringLiteral("lib/QtCore4.lib"),
                              QStringLiteral("lib/QtCored4.lib"), textFiles.at(0), textFiles.at(1)}));
    }
    QStringList changed = withBackups({QStringLiteral("bin/QTCORED4.DLL"), QStringLiteral("bin/QtCore4.dll"), QStringLiteral("bin/qmake"),
                                       QStringLiteral("bin/qmake.exe"), QStringLiteral(".qmake.cache")})
                          + QStringList{QStringLiteral("lib/QtCore4.lib.back"), QStringLiteral("lib/QtCored4.lib.back"),
                                        QStringLiteral("lib/libQtCore4.a.back")};
    changed.sort();
    QCOMPARE(differences(before, snapshot(dir)), changed);

    // The unpatch command also visits bin/libQtCore4.dll and restores it from its backup;
    // the versioned shared object stays as it was, and the directory, without a backup, too.
    QCOMPARE(pressCommand(window, Command::Unpatch), information(unpatchDone));
    const Snapshot restored = snapshot(dir);
    changed = changed.filter(QStringLiteral(".back")) << QStringLiteral("bin/libQtCore4.dll");
    changed.sort();
    QCOMPARE(differences(before, restored), changed);
    QVERIFY(restored.value(QStringLiteral("bin/libQtCore4.dll")) == otherLibrary);
}

void TestCommands::failedFilesAreListedInWarning_data()
{
    QTest::addColumn<Command>("command");
    // The box's lines; one ending in " : " gives only the start of a reason that goes on with the system's text.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("changed"); // by the failing run: the rest was treated

    QTest::newRow("patch: a directory stands where the backup of qmake should be")
        << Command::Patch
        << QStringList{warning(patchFailed), QStringLiteral("bin/qmake : ") + Reason::backupNotRead(Reason::notRegularFile())}
        << withBackups(textFiles) + QStringList{QStringLiteral("lib/libQtCore.la.back"), QStringLiteral("lib/libQtCore.so.4.8.7"),
                                                QStringLiteral("lib/libQtCore.so.back")};
    QTest::newRow("unpatch: no file may grow past 64 KiB while restoring")
        << Command::Unpatch
        << QStringList{warning(unpatchFailed), QStringLiteral("bin/qmake : ") + Reason::fileNotWritten(QString()),
                       QStringLiteral("lib/libQtCore.so : ") + Reason::fileNotWritten(QString())}
        << textFiles;
}

void TestCommands::failedFilesAreListedInWarning()
{
    QFETCH(Command, command);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, changed);

    MainWindow window;
    const QString dir = openInstallation(window);
    QVERIFY(!dir.isEmpty());
    if (command == Command::Patch)
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake.back")));
    else
        QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    const Snapshot before = snapshot(dir);

    // Root ignores permission bits but not a file-size limit; the text files are smaller.
    std::optional<FileSizeLimit> limit;
    if (command == Command::Unpatch && !limit.emplace(64 * 1024).isActive())
        QSKIP(qPrintable(limit->error()));
    const QStringList shown = pressCommand(window, command).split(QLatin1Char('\n'));
    limit.reset();
    QCOMPARE(shown.size(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines.at(i).endsWith(QLatin1String(" : ")) ? shown.at(i).left(lines.at(i).size()) : shown.at(i), lines.at(i));
    // The failed files are as they were, whole; nothing else is gone or stray.
    changed.sort();
    QCOMPARE(differences(before, snapshot(dir)), changed);
}

void TestCommands::progressDialogHoldsDuringJob()
{
    MainWindow window;
    const QString dir = openInstallation(window);
    QVERIFY(!dir.isEmpty());
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(threads, 4)); // one is held with the worker
    DebugLines debug(dir, dir + QStringLiteral("/bin/qmake"));
    QString during; // the dialog, once the run waits for the held job
    QTimer poller;
    poller.setInterval(0);
    connect(&poller, &QTimer::timeout, this, [&] {
        QProgressDialog *dialog = window.findChild<QProgressDialog *>();
        if (!during.isEmpty() || !debug.parked || !dialog)
            return;
        // The run cannot be stopped half-way: Escape, closing and rejecting leave the dialog up.
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        dialog->reject();
        during = describeProgress(dialog, &window)
                 + (QApplication::activeModalWidget() == dialog ? QString() : QStringLiteral(", not the active modal"));
        tryAgain(window);
        debug.release();
    });
    poller.start();
    const QString said = pressCommand(window, Command::Patch);
    poller.stop();
    debug.release();
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QCOMPARE(during, progressOf(Command::Patch));
    QCOMPARE(said, information(patchDone));
}

void TestCommands::throwingWorkerDoesNotStopRun()
{
    const QString dir = m_root.path() + QStringLiteral("/thrown");
    QString error;
    QVERIFY2(!makeInstallation(dir, InstallationOptions(), &error).isEmpty(), qPrintable(error));
    QStringList calls; // jobs run one at a time, each waited for: no lock needed
    QThread *const callingThread = QThread::currentThread();
    auto record = [&](const QString &path) {
        calls << (QThread::currentThread() == callingThread ? QStringLiteral("here: ") : QStringLiteral("pool: "))
                     + path.mid(dir.size() + 1);
    };
    const CommandWorkers standard = CommandWorkers::standard();
    CommandWorkers workers = standard;
    workers.patchBinary = [&](const QByteArray &root, const QString &path, WriteMode mode) {
        record(path);
        if (path.endsWith(QLatin1String("/bin/qmake")))
            throw std::runtime_error("qmake worker gave up");
        return standard.patchBinary(root, path, mode);
    };
    workers.patchText = [&](const QString &root, const QString &path, WriteMode mode) -> FileOutcome {
        record(path);
        if (path.endsWith(QLatin1String("/qmake.conf")))
            throw 7;
        return standard.patchText(root, path, mode);
    };

    const QVector<FileReport> reports = runCommandWith(workers, Command::Patch, dir);

    // The binaries as background jobs, the text files on the calling thread.
    QCOMPARE(calls, (QStringList{QStringLiteral("pool: bin/qmake"), QStringLiteral("pool: lib/libQtCore.la"),
                                 QStringLiteral("pool: lib/libQtCore.so"), QStringLiteral("here: ") + textFiles.at(0),
                                 QStringLiteral("here: ") + textFiles.at(1)}));
    QCOMPARE(reports.size(), 5);
    QCOMPARE(reports.at(0).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("qmake worker gave up"))));
    QCOMPARE(reports.at(3).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("exception inconnue"))));
    // The files after each throwing worker were treated.
    QCOMPARE(reports.at(4).outcome, FileOutcome::changed());
    QCOMPARE(slotValues(readFile(dir + QStringLiteral("/lib/libQtCore.so"))).value("qt_prfxpath="), dir.toLocal8Bit());
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
