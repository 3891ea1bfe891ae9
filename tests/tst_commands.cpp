#include "app/mainwindow.h"
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
#include <stdexcept>

using namespace Qt4Fixture;

Q_DECLARE_METATYPE(Command)

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

// Each patch worker prints the path it is handed: the worker printing `parkAt` is held at the
// gate, so that the run is certainly waiting for that job. Only that worker's pool thread is held.
QString parkAt;
QSemaphore parkingGate;
std::atomic<bool> parked{false};

void parkWorker(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && message == parkAt) {
        parked = true;
        parkingGate.tryAcquire(1, 60000);
    }
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

    void patchThenUnpatch();
    void failedFilesAreListedInWarning();
    void progressDialogHoldsDuringJob();
    void throwingWorkerDoesNotStopRun();

private:
    QString openInstallation(MainWindow &window);

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

// Generates a Linux installation and chooses it in the window through the real dialog.
QString TestCommands::openInstallation(MainWindow &window)
{
    const QString dir = m_root.path() + QStringLiteral("/qt") + QString::number(++m_dirCount);
    window.show();
    if (makeInstallation(dir).isEmpty() || !QTest::qWaitForWindowExposed(&window))
        return QString();
    const WindowDriver::BrowseResult result = WindowDriver::browse(window, dir);
    const bool chosen = result.dialogSeen && !result.boxSeen && WindowDriver::shownPath(window) == dir
                        && WindowDriver::commandsEnabled(window);
    return chosen ? dir : QString();
}

void TestCommands::patchThenUnpatch()
{
    MainWindow window;
    const QString dir = openInstallation(window);
    QVERIFY(!dir.isEmpty());
    const Snapshot generated = snapshot(dir);
    // lib/libQtCore.so is a link: the library it leads to changes, the backup lies beside the link.
    const QStringList listed{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so"), textFiles.at(0), textFiles.at(1)};
    QStringList backups;
    for (const QString &file : listed + QStringList{QStringLiteral("lib/libQtCore.la")})
        backups << file + QStringLiteral(".back");
    backups.sort();

    // Nothing to restore yet: no backup is no failure, and nothing changes.
    QCOMPARE(pressCommand(window, Command::Unpatch), information(unpatchDone));
    QCOMPARE(differences(generated, snapshot(dir)), QStringList());

    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    const Snapshot patched = snapshot(dir);
    for (const QString &relative : listed) {
        const QString target = QFileInfo(dir + QLatin1Char('/') + relative).canonicalFilePath();
        QVERIFY2(readFile(target).contains(dir.toLocal8Bit()), qPrintable(relative));
        QVERIFY2(patched.value(relative + QStringLiteral(".back")) == generated.value(target.mid(dir.size() + 1)),
                 qPrintable(relative));
    }
    // The libtool file holds no path slot: it keeps its bytes and gets its backup.
    QStringList changed = backups + QStringList{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.so.4.8.7")} + textFiles;
    changed.sort();
    QCOMPARE(differences(generated, patched), changed);
    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    QCOMPARE(differences(patched, snapshot(dir)), QStringList());

    // Every byte is back; the backups stay as they were.
    QCOMPARE(pressCommand(window, Command::Unpatch), information(unpatchDone));
    const Snapshot restored = snapshot(dir);
    QCOMPARE(differences(generated, restored), backups);
    QCOMPARE(differences(patched, restored).filter(QStringLiteral(".back")), QStringList());

    QCOMPARE(pressCommand(window, Command::Patch), information(patchDone));
    QCOMPARE(differences(patched, snapshot(dir)), QStringList());
    QCOMPARE(WindowDriver::shownPath(window), dir);
    QVERIFY(WindowDriver::commandsEnabled(window));
}

void TestCommands::failedFilesAreListedInWarning()
{
    MainWindow window;
    const QString dir = openInstallation(window);
    QVERIFY(!dir.isEmpty());
    // A directory where a backup should be stops root too.
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake.back")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib/libQtCore.la.back")));
    const Snapshot generated = snapshot(dir);
    const QString reason = QStringLiteral(" : ") + Reason::backupNotRead(Reason::notRegularFile());
    const QString failedLines = QStringLiteral("\nbin/qmake") + reason + QStringLiteral("\nlib/libQtCore.la") + reason;

    QCOMPARE(pressCommand(window, Command::Patch), warning(patchFailed + failedLines));
    // The failed files are as they were, whole; the rest was treated.
    QStringList changed = QStringList{QStringLiteral("lib/libQtCore.so.back"), QStringLiteral("lib/libQtCore.so.4.8.7"),
                                      textFiles.at(0) + QStringLiteral(".back"), textFiles.at(1) + QStringLiteral(".back")}
                          + textFiles;
    changed.sort();
    QCOMPARE(differences(generated, snapshot(dir)), changed);

    QCOMPARE(pressCommand(window, Command::Unpatch), warning(unpatchFailed + failedLines));
    QCOMPARE(differences(generated, snapshot(dir)), changed.filter(QStringLiteral(".back")));
}

void TestCommands::progressDialogHoldsDuringJob()
{
    MainWindow window;
    const QString dir = openInstallation(window);
    QVERIFY(!dir.isEmpty());
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(threads, 4)); // one is held with the worker
    parkAt = dir + QStringLiteral("/bin/qmake");
    const QtMessageHandler previous = qInstallMessageHandler(&parkWorker);
    QString during; // the dialog, once the run waits for the held job
    QTimer poller;
    poller.setInterval(0);
    connect(&poller, &QTimer::timeout, this, [&] {
        QProgressDialog *dialog = window.findChild<QProgressDialog *>();
        if (!during.isEmpty() || !parked || !dialog)
            return;
        // The run cannot be stopped half-way: Escape, closing and rejecting leave the dialog up.
        QTest::keyClick(dialog, Qt::Key_Escape);
        dialog->close();
        dialog->reject();
        during = describeProgress(dialog, &window)
                 + (QApplication::activeModalWidget() == dialog ? QString() : QStringLiteral(", not the active modal"));
        tryAgain(window);
        parkingGate.release();
    });
    poller.start();
    const QString said = pressCommand(window, Command::Patch);
    poller.stop();
    qInstallMessageHandler(previous);
    QThreadPool::globalInstance()->waitForDone();
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
        if (path.endsWith(QLatin1String(".la")))
            throw 7;
        return standard.patchBinary(root, path, mode);
    };
    workers.patchText = [&](const QString &, const QString &path, WriteMode) -> FileOutcome {
        record(path);
        if (path.endsWith(QLatin1String("/qmake.conf")))
            throw 7;
        throw std::runtime_error("cache worker gave up");
    };

    const QVector<FileReport> reports = runCommandWith(workers, Command::Patch, dir);

    // The binaries as background jobs, the text files on the calling thread.
    QCOMPARE(calls, (QStringList{QStringLiteral("pool: bin/qmake"), QStringLiteral("pool: lib/libQtCore.la"),
                                 QStringLiteral("pool: lib/libQtCore.so"), QStringLiteral("here: ") + textFiles.at(0),
                                 QStringLiteral("here: ") + textFiles.at(1)}));
    QCOMPARE(reports.size(), 5);
    QCOMPARE(reports.at(0).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("qmake worker gave up"))));
    const FileOutcome unknown = FileOutcome::failed(Reason::workerException(QStringLiteral("exception inconnue")));
    QCOMPARE(reports.at(1).outcome, unknown);
    QCOMPARE(reports.at(3).outcome, unknown);
    QCOMPARE(reports.at(4).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("cache worker gave up"))));
    // The file after the throwing workers was treated.
    QCOMPARE(reports.at(2).outcome, FileOutcome::changed());
    QCOMPARE(slotValues(readFile(dir + QStringLiteral("/lib/libQtCore.so"))).value("qt_prfxpath="), dir.toLocal8Bit());
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
