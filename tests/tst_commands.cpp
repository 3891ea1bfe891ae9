#include "app/commandreport.h"
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
#include <QFileDialog>
#include <QMessageBox>
#include <QMutex>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <functional>
#include <stdexcept>

using namespace Qt4Fixture;

Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Qt4Fixture::InstallationOptions)

// Lets a failed comparison show both outcomes.
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

// Every entry below `dir`, hidden ones included: a file by its bytes, a link by its
// target, a directory by a marker. Two equal snapshots mean not one byte changed.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = path.mid(dir.size() + 1);
        if (info.isSymLink())
            entries.insert(relative, "link to " + info.symLinkTarget().toUtf8());
        else if (info.isDir())
            entries.insert(relative, "directory");
        else
            entries.insert(relative, readFile(path));
    }
    return entries;
}

QStringList differences(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList changed;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            changed << QStringLiteral("gone: ") + it.key();
        else if (after.value(it.key()) != it.value())
            changed << QStringLiteral("changed: ") + it.key();
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            changed << QStringLiteral("new: ") + it.key();
    }
    return changed;
}

// Counts the progress dialogs and message boxes that are shown while it lives.
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
            if (qobject_cast<QProgressDialog *>(watched))
                ++progressDialogs;
            else if (qobject_cast<QMessageBox *>(watched))
                ++boxes;
        }
        return false;
    }
};

// What one run showed, as a user would have seen it.
struct RunRecord {
    int progressDialogsShown = 0;
    int boxesShown = 0;
    bool progressUpUnderBox = false;
    bool progressGoneAfter = false;
    QString progressLabel;
    bool progressHasButton = true;
    int progressMinimum = -1;
    int progressMaximum = -1;
    Qt::WindowModality progressModality = Qt::NonModal;
    bool progressParentIsWindow = false;
    bool boxParentIsWindow = false;
    QString boxTitle;
    QString boxText;
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons boxButtons;
    int boxButtonCount = 0;
};

// Presses the command's button and answers the box that ends the run.
// `whileBoxIsUp` runs with the first box shown, before it is answered.
RunRecord pressCommand(MainWindow &window, Command command, const std::function<void()> &whileBoxIsUp = {})
{
    RunRecord record;
    ShowCounter shows;
    bool firstBoxSeen = false;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return; // the progress dialog, which the run takes down itself
        if (firstBoxSeen) {
            // A box of a run that should never have started: answered, and counted by `shows`.
            box->close();
            return;
        }
        firstBoxSeen = true;
        record.boxTitle = box->windowTitle();
        record.boxText = box->text();
        record.boxIcon = box->icon();
        record.boxButtons = box->standardButtons();
        record.boxButtonCount = box->buttons().size();
        record.boxParentIsWindow = box->parentWidget() == &window;
        const QList<QProgressDialog *> progress = window.findChildren<QProgressDialog *>();
        if (progress.size() == 1) {
            QProgressDialog *dialog = progress.first();
            record.progressUpUnderBox = dialog->isVisible();
            record.progressLabel = dialog->labelText();
            record.progressHasButton = dialog->findChild<QPushButton *>() != nullptr;
            record.progressMinimum = dialog->minimum();
            record.progressMaximum = dialog->maximum();
            record.progressModality = dialog->windowModality();
            record.progressParentIsWindow = dialog->parentWidget() == &window;
        }
        if (whileBoxIsUp)
            whileBoxIsUp();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->close();
    });
    // Every box is answered, so that a run started by mistake cannot leave the test waiting.
    answerer.answerEach();
    QTest::mouseClick(command == Command::Patch ? WindowDriver::patchButton(window)
                                                : WindowDriver::unpatchButton(window),
                      Qt::LeftButton);
    record.progressDialogsShown = shows.progressDialogs;
    record.boxesShown = shows.boxes;
    record.progressGoneAfter = window.findChildren<QProgressDialog *>().isEmpty();
    return record;
}

// Collects the debug lines, from any thread, that name a path below `dir`. Given a
// path to park at, it also holds the worker that writes that line until release():
// the run is then certainly waiting for that job. Only the worker's own pool thread
// is held, so the painting code, which may share the pool, goes on.
class DebugLines
{
public:
    explicit DebugLines(const QString &dir, const QString &parkAt = QString())
    {
        QMutexLocker lock(&s_mutex);
        s_dir = dir + QLatin1Char('/');
        s_parkAt = parkAt;
        s_lines.clear();
        s_parked = false;
        s_gate = &m_gate;
        m_previous = qInstallMessageHandler(&DebugLines::handle);
    }
    ~DebugLines()
    {
        release();
        qInstallMessageHandler(m_previous);
        QThreadPool::globalInstance()->waitForDone();
        QMutexLocker lock(&s_mutex);
        s_gate = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker lock(&s_mutex);
        return s_lines;
    }
    bool isParked() const { return s_parked.load(); }
    void release()
    {
        if (!m_released)
            m_gate.release();
        m_released = true;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        QSemaphore *gate = nullptr;
        {
            QMutexLocker lock(&s_mutex);
            if (type != QtDebugMsg || !message.startsWith(s_dir))
                return;
            s_lines.append(message.mid(s_dir.size()));
            if (message == s_parkAt) {
                gate = s_gate;
                s_parkAt.clear(); // once
            }
        }
        if (gate) {
            s_parked = true;
            gate->tryAcquire(1, 60000);
        }
    }
    QtMessageHandler m_previous;
    QSemaphore m_gate;
    bool m_released = false;
    static QMutex s_mutex;
    static QString s_dir;
    static QString s_parkAt;
    static QStringList s_lines;
    static QSemaphore *s_gate;
    static std::atomic<bool> s_parked;
};
QMutex DebugLines::s_mutex;
QString DebugLines::s_dir;
QString DebugLines::s_parkAt;
QStringList DebugLines::s_lines;
QSemaphore *DebugLines::s_gate = nullptr;
std::atomic<bool> DebugLines::s_parked{false};

} // namespace

// The "patcher" and "unpatcher" buttons, driven through the real window and its dialogs
// on generated installations; every check is made on the files on disk afterwards.
class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void patchRelocatesInstallation_data();
    void patchRelocatesInstallation();
    void unpatchRestoresEveryByte_data();
    void unpatchRestoresEveryByte();
    void secondPatchEqualsFirst();
    void movedInstallationIsPatchedFromItsBackups();
    void unpatchOfUnpatchedInstallationChangesNothing();
    void listingRulesOnDisk();
    void directoryNamedLikePatternIsLeftIntact();
    void emptyInstallationShowsDialogThenBox_data();
    void emptyInstallationShowsDialogThenBox();
    void failedFilesAreListedInWarning_data();
    void failedFilesAreListedInWarning();
    void progressDialogHoldsDuringJob();
    void commandCannotStartWhileBoxIsUp_data();
    void commandCannotStartWhileBoxIsUp();
    void warningTextListsOnlyFailures();
    void throwingWorkerDoesNotStopRun();

private:
    QString makeDir(const QString &name);
    // A window showing `dir` as its accepted Qt directory, chosen through the real dialog.
    bool chooseDirectory(MainWindow &window, const QString &dir);
    void verifyPatched(const QString &dir, const InstallationOptions &options, const QStringList &listed);

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
    for (QWidget *widget : QApplication::allWidgets()) {
        QVERIFY2(!qobject_cast<QProgressDialog *>(widget) && !qobject_cast<QMessageBox *>(widget)
                     && !qobject_cast<QFileDialog *>(widget),
                 widget->metaObject()->className());
    }
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), widget->metaObject()->className());
}

QString TestCommands::makeDir(const QString &name)
{
    const QString dir = m_root.path() + QLatin1Char('/') + name + QString::number(++m_dirCount);
    return QDir().mkpath(dir) ? dir : QString();
}

bool TestCommands::chooseDirectory(MainWindow &window, const QString &dir)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    const WindowDriver::BrowseResult result = WindowDriver::browse(window, dir);
    if (!result.dialogSeen || result.boxSeen || result.dialogRefused)
        qWarning() << "directory dialog: seen" << result.dialogSeen << "refused" << result.dialogRefused << "box"
                   << result.boxText << "shown" << WindowDriver::shownPath(window);
    return result.dialogSeen && !result.boxSeen && WindowDriver::shownPath(window) == dir
           && WindowDriver::commandsEnabled(window);
}

// Checks that the installation at `dir`, generated with `options`, is patched to `dir`:
// each listed binary (through its link, if it is one) and both text files rewritten,
// a backup with the original bytes beside each, every other file as generated.
void TestCommands::verifyPatched(const QString &dir, const InstallationOptions &options, const QStringList &listed)
{
    const QByteArray root = dir.toLocal8Bit();
    const QByteArray oldRoot = options.oldRoot.isEmpty() ? defaultOldRoot(options.windowsStyle) : options.oldRoot;
    ConfigOptions config = options.config;
    config.windowsStyle = options.windowsStyle;
    const QMap<QByteArray, QByteArray> expected = expectedSlotValues(root, options.layout.withImportsSlot);

    QStringList written; // relative paths of the regular files that were rewritten
    for (const QString &relative : listed) {
        const QString path = dir + QLatin1Char('/') + relative;
        const QByteArray original = installationFile(relative, options);
        const QFileInfo backupInfo(path + QStringLiteral(".back"));
        QVERIFY2(backupInfo.isFile() && !backupInfo.isSymLink(), qPrintable(relative + QStringLiteral(": no backup")));
        QVERIFY2(readFile(backupInfo.filePath()) == original, qPrintable(relative + QStringLiteral(": backup differs")));

        const QByteArray data = readFile(path);
        QCOMPARE(data.size(), original.size());
        const QList<FoundSlot> before = slotList(original);
        const QList<FoundSlot> after = slotList(data);
        QCOMPARE(after.size(), before.size());
        if (before.isEmpty())
            QVERIFY2(data == original, qPrintable(relative + QStringLiteral(": a file without slots changed")));
        for (int i = 0; i < after.size(); ++i) {
            QCOMPARE(after.at(i).offset, before.at(i).offset);
            const QByteArray want = expected.value(after.at(i).key, before.at(i).value);
            QVERIFY2(after.at(i).value == want,
                     qPrintable(relative + QLatin1Char(' ') + QString::fromLatin1(after.at(i).key)
                                + QStringLiteral(" holds ") + QString::fromLocal8Bit(after.at(i).value)));
        }
        written << QFileInfo(path).canonicalFilePath().mid(QFileInfo(dir).canonicalFilePath().size() + 1);
    }

    QCOMPARE(readFile(dir + QStringLiteral("/mkspecs/default/qmake.conf")), patchedQmakeConf(root, oldRoot, config));
    QCOMPARE(readFile(dir + QStringLiteral("/.qmake.cache")), patchedQmakeCache(root, oldRoot, config));
    for (const QString &text : textFiles) {
        QCOMPARE(readFile(dir + QLatin1Char('/') + text + QStringLiteral(".back")), installationFile(text, options));
        written << text;
    }

    for (const QString &relative : installationFiles(options)) {
        if (written.contains(relative))
            continue;
        const QString path = dir + QLatin1Char('/') + relative;
        QVERIFY2(readFile(path) == installationFile(relative, options),
                 qPrintable(relative + QStringLiteral(": not listed, yet changed")));
        QVERIFY2(!QFileInfo::exists(path + QStringLiteral(".back")),
                 qPrintable(relative + QStringLiteral(": not listed, yet has a backup")));
    }
    const QMap<QString, QString> links = installationLinks(options);
    for (auto it = links.cbegin(); it != links.cend(); ++it) {
        const QFileInfo link(dir + QLatin1Char('/') + it.key());
        QVERIFY2(link.isSymLink(), qPrintable(it.key() + QStringLiteral(" is no longer a link")));
        QCOMPARE(link.symLinkTarget(), QFileInfo(link.absolutePath() + QLatin1Char('/') + it.value()).absoluteFilePath());
    }
}

namespace {
InstallationOptions linuxOptions(bool symlinks)
{
    InstallationOptions options;
    options.symlinks = symlinks;
    return options;
}

InstallationOptions windowsOptions(bool staticBuild)
{
    InstallationOptions options;
    options.windowsStyle = true;
    options.staticBuild = staticBuild;
    return options;
}

void addInstallationRows()
{
    QTest::addColumn<InstallationOptions>("options");
    QTest::addColumn<QStringList>("listed");

    QTest::newRow("a Linux build whose libQtCore.so is a link")
        << linuxOptions(true)
        << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so")};
    QTest::newRow("a Linux build whose libQtCore.so is a copy")
        << linuxOptions(false)
        << QStringList{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so")};
    const QStringList windows{QStringLiteral("bin/qmake.exe"),   QStringLiteral("bin/QtCore4.dll"),
                              QStringLiteral("bin/QtCored4.dll"), QStringLiteral("lib/libQtCore4.a"),
                              QStringLiteral("lib/QtCore4.lib"),  QStringLiteral("lib/QtCored4.lib")};
    QTest::newRow("a Windows build with import libraries") << windowsOptions(false) << windows;
    QTest::newRow("a static Windows build, whose archives hold slots too") << windowsOptions(true) << windows;
}
} // namespace

void TestCommands::patchRelocatesInstallation_data()
{
    addInstallationRows();
}

void TestCommands::patchRelocatesInstallation()
{
    QFETCH(InstallationOptions, options);
    QFETCH(QStringList, listed);

    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const RunRecord run = pressCommand(window, Command::Patch);

    QCOMPARE(run.boxText, patchDone);
    QCOMPARE(run.boxIcon, QMessageBox::Information);
    verifyPatched(dir, options, listed);
    // The command leaves the window as it found it.
    QCOMPARE(WindowDriver::shownPath(window), dir);
    QVERIFY(WindowDriver::commandsEnabled(window));
}

void TestCommands::unpatchRestoresEveryByte_data()
{
    addInstallationRows();
}

void TestCommands::unpatchRestoresEveryByte()
{
    QFETCH(InstallationOptions, options);
    QFETCH(QStringList, listed);

    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    const QMap<QString, QByteArray> generated = snapshot(dir);

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    const QMap<QString, QByteArray> patched = snapshot(dir);

    const RunRecord run = pressCommand(window, Command::Unpatch);
    QCOMPARE(run.boxText, unpatchDone);
    QCOMPARE(run.boxIcon, QMessageBox::Information);

    // Every file is back as generated; the backups stay, as they were.
    QMap<QString, QByteArray> restored = snapshot(dir);
    for (const QString &relative : listed + textFiles) {
        const QString backup = relative + QStringLiteral(".back");
        QVERIFY2(restored.contains(backup), qPrintable(backup));
        QCOMPARE(restored.value(backup), patched.value(backup));
        QCOMPARE(restored.value(backup), installationFile(relative, options));
    }
    const QMap<QString, QByteArray> afterFirst = restored;
    for (const QString &relative : listed + textFiles)
        restored.remove(relative + QStringLiteral(".back"));
    QCOMPARE(differences(generated, restored), QStringList());

    // A second unpatch in a row finds nothing more to do.
    QCOMPARE(pressCommand(window, Command::Unpatch).boxText, unpatchDone);
    QCOMPARE(differences(afterFirst, snapshot(dir)), QStringList());
}

void TestCommands::secondPatchEqualsFirst()
{
    const InstallationOptions options = windowsOptions(true);
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    const QMap<QString, QByteArray> first = snapshot(dir);

    QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    QCOMPARE(differences(first, snapshot(dir)), QStringList());

    // Patch, unpatch, patch again: the same bytes as one patch.
    QCOMPARE(pressCommand(window, Command::Unpatch).boxText, unpatchDone);
    QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    QCOMPARE(differences(first, snapshot(dir)), QStringList());
}

void TestCommands::movedInstallationIsPatchedFromItsBackups()
{
    const InstallationOptions options = linuxOptions(true);
    const QString first = makeDir(QStringLiteral("first-place-"));
    QString error;
    QVERIFY2(!makeInstallation(first, options, &error).isEmpty(), qPrintable(error));
    {
        MainWindow window;
        QVERIFY(chooseDirectory(window, first));
        QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
        // A cancelled choice makes the next dialog open at its default place rather than
        // in the directory about to be moved away.
        QVERIFY(WindowDriver::browse(window, QString()).dialogSeen);
    }

    // The patched installation is moved to a directory with a shorter name, then patched there.
    const QString moved = m_root.path() + QStringLiteral("/mv");
    QVERIFY2(QDir().rename(first, moved), qPrintable(moved));
    MainWindow window;
    QVERIFY(chooseDirectory(window, moved));
    QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    verifyPatched(moved, options,
                  {QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so")});
}

void TestCommands::unpatchOfUnpatchedInstallationChangesNothing()
{
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, windowsOptions(false), &error).isEmpty(), qPrintable(error));
    const QMap<QString, QByteArray> generated = snapshot(dir);

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const RunRecord run = pressCommand(window, Command::Unpatch);
    QCOMPARE(run.boxText, unpatchDone);
    QCOMPARE(run.boxIcon, QMessageBox::Information);
    QCOMPARE(differences(generated, snapshot(dir)), QStringList());
}

void TestCommands::listingRulesOnDisk()
{
    const InstallationOptions options = windowsOptions(false);
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    const QByteArray library = installationFile(QStringLiteral("bin/QtCore4.dll"), options);
    const QByteArray otherLibrary = installationFile(QStringLiteral("bin/QtCored4.dll"), options);
    const QByteArray qmake = installationFile(QStringLiteral("bin/qmake.exe"), options);
    // Both qmake names; an upper-case QtCore name; a bin library whose name has something
    // before QtCore, with a backup beside it; a versioned shared object with a backup beside it.
    QVERIFY(writeFile(dir + QStringLiteral("/bin/qmake"), qmake, &error));
    QVERIFY(QFile::rename(dir + QStringLiteral("/bin/QtCored4.dll"), dir + QStringLiteral("/bin/QTCORED4.DLL")));
    QVERIFY2(writeFile(dir + QStringLiteral("/bin/libQtCore4.dll"), library, &error), qPrintable(error));
    QVERIFY2(writeFile(dir + QStringLiteral("/bin/libQtCore4.dll.back"), otherLibrary, &error), qPrintable(error));
    QVERIFY2(writeFile(dir + QStringLiteral("/lib/libQtCore.so.4"), library, &error), qPrintable(error));
    QVERIFY2(writeFile(dir + QStringLiteral("/lib/libQtCore.so.4.back"), otherLibrary, &error), qPrintable(error));

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const QMap<QString, QByteArray> before = snapshot(dir);
    {
        DebugLines debug(dir);
        QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
        // One debug line per file handed to a patch worker, in the order of the run.
        QCOMPARE(debug.lines(),
                 (QStringList{QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll"),
                              QStringLiteral("bin/QTCORED4.DLL"), QStringLiteral("lib/libQtCore4.a"),
                              QStringLiteral("lib/QtCore4.lib"), QStringLiteral("lib/QtCored4.lib")}
                  + textFiles));
    }
    const QMap<QString, QByteArray> patched = snapshot(dir);
    const QByteArray root = dir.toLocal8Bit();
    for (const QString &name : {QStringLiteral("bin/qmake"), QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QTCORED4.DLL")}) {
        QVERIFY2(slotValues(patched.value(name)).value("qt_prfxpath=") == root, qPrintable(name));
        QVERIFY2(patched.contains(name + QStringLiteral(".back")), qPrintable(name));
    }
    // Never touched by the patch command: not patched, no backup of a backup.
    for (const QString &name : {QStringLiteral("bin/libQtCore4.dll"), QStringLiteral("bin/libQtCore4.dll.back"),
                                QStringLiteral("lib/libQtCore.so.4"), QStringLiteral("lib/libQtCore.so.4.back")})
        QVERIFY2(patched.value(name) == before.value(name), qPrintable(name));
    for (auto it = patched.cbegin(); it != patched.cend(); ++it)
        QVERIFY2(!it.key().endsWith(QLatin1String(".back.back")), qPrintable(it.key()));

    QCOMPARE(pressCommand(window, Command::Unpatch).boxText, unpatchDone);
    const QMap<QString, QByteArray> restored = snapshot(dir);
    // The unpatch command visits bin names with something before QtCore, and restores them from their backup.
    QVERIFY(restored.value(QStringLiteral("bin/libQtCore4.dll")) == otherLibrary);
    // A versioned shared object is never visited, backup or not.
    QVERIFY(restored.value(QStringLiteral("lib/libQtCore.so.4")) == library);
    QVERIFY(restored.value(QStringLiteral("bin/qmake")) == qmake);
    QVERIFY(restored.value(QStringLiteral("bin/QTCORED4.DLL")) == otherLibrary);
}

void TestCommands::directoryNamedLikePatternIsLeftIntact()
{
    const InstallationOptions options = windowsOptions(false);
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake")));
    QVERIFY2(writeFile(dir + QStringLiteral("/bin/qmake/notes.txt"), "kept", &error), qPrintable(error));

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const RunRecord run = pressCommand(window, Command::Patch);

    // The directory is handed to the worker like a file; it has no bytes to patch, which
    // the box says, and the run goes on with everything after it.
    QCOMPARE(run.boxIcon, QMessageBox::Warning);
    QCOMPARE(run.boxText, patchFailed + QStringLiteral("\nbin/qmake : ") + Reason::fileNotRead(Reason::notRegularFile()));
    QVERIFY(QFileInfo(dir + QStringLiteral("/bin/qmake")).isDir());
    QCOMPARE(readFile(dir + QStringLiteral("/bin/qmake/notes.txt")), QByteArray("kept"));
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/bin/qmake.back")));
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/bin/qmake/notes.txt.back")));
    verifyPatched(dir, options,
                  {QStringLiteral("bin/qmake.exe"), QStringLiteral("bin/QtCore4.dll"), QStringLiteral("bin/QtCored4.dll"),
                   QStringLiteral("lib/libQtCore4.a"), QStringLiteral("lib/QtCore4.lib"), QStringLiteral("lib/QtCored4.lib")});

    // It has no backup, so the unpatch command leaves it alone without a word.
    const RunRecord undo = pressCommand(window, Command::Unpatch);
    QCOMPARE(undo.boxText, unpatchDone);
    QVERIFY(QFileInfo(dir + QStringLiteral("/bin/qmake")).isDir());
}

void TestCommands::emptyInstallationShowsDialogThenBox_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("done");
    QTest::newRow("patcher") << Command::Patch << QStringLiteral("Patche en cours...") << patchDone;
    QTest::newRow("unpatcher") << Command::Unpatch << QStringLiteral("Suppression du patche en cours...") << unpatchDone;
}

void TestCommands::emptyInstallationShowsDialogThenBox()
{
    QFETCH(Command, command);
    QFETCH(QString, label);
    QFETCH(QString, done);

    // Nothing to list and neither configuration file: the dialog, then the box at once.
    const QString dir = makeDir(QStringLiteral("empty-"));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/lib")));

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const RunRecord run = pressCommand(window, command);

    QCOMPARE(run.progressDialogsShown, 1);
    QCOMPARE(run.boxesShown, 1);
    QVERIFY(run.progressUpUnderBox);
    QVERIFY(run.progressParentIsWindow);
    QCOMPARE(run.progressLabel, label);
    QVERIFY(!run.progressHasButton);
    QCOMPARE(run.progressMinimum, 0);
    QCOMPARE(run.progressMaximum, 0);
    QCOMPARE(run.progressModality, Qt::WindowModal);
    QVERIFY(run.progressGoneAfter);

    QVERIFY(run.boxParentIsWindow);
    QCOMPARE(run.boxIcon, QMessageBox::Information);
    QCOMPARE(run.boxTitle, QString());
    QCOMPARE(run.boxText, done);
    QCOMPARE(run.boxButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(run.boxButtonCount, 1);
    QCOMPARE(snapshot(dir).keys(), (QStringList{QStringLiteral("bin"), QStringLiteral("lib")}));
}

void TestCommands::failedFilesAreListedInWarning_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("fault");
    // Each line of the box after its heading, as "path : reason"; a line ending in " : " only
    // gives the start of a reason that goes on with the system's own error text.
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("patch: a directory stands where the backup of qmake should be")
        << Command::Patch << QStringLiteral("backup-is-directory")
        << QStringList{QStringLiteral("bin/qmake : ") + Reason::backupNotRead(Reason::notRegularFile())};
    QTest::newRow("patch: libQtCore.so is a link leading outside the installation")
        << Command::Patch << QStringLiteral("link-outside")
        << QStringList{QStringLiteral("lib/libQtCore.so : ") + Reason::linkOutsideInstallation()};
    QTest::newRow("patch: both faults, listed in the order of the run")
        << Command::Patch << QStringLiteral("both")
        << QStringList{QStringLiteral("bin/qmake : ") + Reason::backupNotRead(Reason::notRegularFile()),
                       QStringLiteral("lib/libQtCore.so : ") + Reason::linkOutsideInstallation()};
    QTest::newRow("unpatch: no file may grow past 64 KiB while restoring")
        << Command::Unpatch << QStringLiteral("size-limit")
        << QStringList{QStringLiteral("bin/qmake : ") + Reason::fileNotWritten(QString()),
                       QStringLiteral("lib/libQtCore.so : ") + Reason::fileNotWritten(QString())};
}

void TestCommands::failedFilesAreListedInWarning()
{
    QFETCH(Command, command);
    QFETCH(QString, fault);
    QFETCH(QStringList, lines);

    const InstallationOptions options = linuxOptions(true);
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    const QString outside = makeDir(QStringLiteral("outside-"));
    const QByteArray library = installationFile(QStringLiteral("lib/libQtCore.so.4.8.7"), options);
    if (fault == QLatin1String("backup-is-directory") || fault == QLatin1String("both"))
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin/qmake.back")));
    if (fault == QLatin1String("link-outside") || fault == QLatin1String("both")) {
        QVERIFY2(writeFile(outside + QStringLiteral("/libQtCore.so.4.8.7"), library, &error), qPrintable(error));
        QVERIFY(QFile::remove(dir + QStringLiteral("/lib/libQtCore.so")));
        QVERIFY(QFile::link(outside + QStringLiteral("/libQtCore.so.4.8.7"), dir + QStringLiteral("/lib/libQtCore.so")));
    }

    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    if (command == Command::Unpatch)
        QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);
    const QMap<QString, QByteArray> before = snapshot(dir);

    RunRecord run;
    if (fault == QLatin1String("size-limit")) {
        // Root ignores permission bits but not a file-size limit; the text files are smaller.
        FileSizeLimit limit(64 * 1024);
        if (!limit.isActive())
            QSKIP(qPrintable(limit.error()));
        run = pressCommand(window, command);
    } else {
        run = pressCommand(window, command);
    }

    QCOMPARE(run.boxIcon, QMessageBox::Warning);
    QCOMPARE(run.boxTitle, QString());
    QCOMPARE(run.boxButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(run.boxButtonCount, 1);
    QVERIFY(run.boxParentIsWindow);
    QCOMPARE(run.boxesShown, 1);
    QVERIFY(run.progressGoneAfter);

    const QStringList shown = run.boxText.split(QLatin1Char('\n'));
    QCOMPARE(shown.first(), command == Command::Patch ? patchFailed : unpatchFailed);
    QCOMPARE(shown.size(), lines.size() + 1);
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = shown.at(i + 1);
        if (lines.at(i).endsWith(QLatin1String(" : ")))
            QVERIFY2(line.startsWith(lines.at(i)) && line.size() > lines.at(i).size(), qPrintable(line));
        else
            QCOMPARE(line, lines.at(i));
    }

    const QMap<QString, QByteArray> after = snapshot(dir);
    if (command == Command::Patch) {
        // The faulty files are as they were; the run went on with the rest.
        if (fault != QLatin1String("link-outside")) {
            QCOMPARE(after.value(QStringLiteral("bin/qmake")), before.value(QStringLiteral("bin/qmake")));
            QCOMPARE(after.value(QStringLiteral("bin/qmake.back")), QByteArray("directory"));
        } else {
            QCOMPARE(slotValues(after.value(QStringLiteral("bin/qmake"))).value("qt_prfxpath="), dir.toLocal8Bit());
        }
        if (fault != QLatin1String("backup-is-directory")) {
            QCOMPARE(readFile(outside + QStringLiteral("/libQtCore.so.4.8.7")), library);
            QVERIFY(!after.contains(QStringLiteral("lib/libQtCore.so.back")));
        } else {
            QCOMPARE(slotValues(after.value(QStringLiteral("lib/libQtCore.so.4.8.7"))).value("qt_prfxpath="),
                     dir.toLocal8Bit());
        }
        QCOMPARE(after.value(QStringLiteral("lib/libQtCore.la.back")), installationFile(QStringLiteral("lib/libQtCore.la"), options));
        QCOMPARE(after.value(QStringLiteral(".qmake.cache")),
                 patchedQmakeCache(dir.toLocal8Bit(), defaultOldRoot(false), options.config));
    } else {
        // The binaries that could not be written keep their patched bytes, whole;
        // the small text files were restored.
        QCOMPARE(after.value(QStringLiteral("bin/qmake")), before.value(QStringLiteral("bin/qmake")));
        QCOMPARE(after.value(QStringLiteral("lib/libQtCore.so.4.8.7")), before.value(QStringLiteral("lib/libQtCore.so.4.8.7")));
        for (const QString &text : textFiles)
            QCOMPARE(after.value(text), installationFile(text, options));
    }
    // Whatever failed, nothing was deleted and no stray file was left behind.
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.contains(it.key()), qPrintable(it.key()));
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        QVERIFY2(before.contains(it.key()) || it.key().endsWith(QLatin1String(".back")), qPrintable(it.key()));
}

void TestCommands::progressDialogHoldsDuringJob()
{
    const InstallationOptions options = linuxOptions(true);
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, options, &error).isEmpty(), qPrintable(error));
    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    const QMap<QString, QByteArray> before = snapshot(dir);

    struct {
        bool acted = false;
        bool inModalState = false;
        QString label;
        bool hasButton = true;
        int minimum = -1;
        int maximum = -1;
        Qt::WindowModality modality = Qt::NonModal;
        bool upAfterEscape = false;
        bool upAfterClose = false;
        bool upAfterReject = false;
        bool filesUntouched = false;
        int dialogsAfterRetries = -1;
    } during;

    // One pool thread is held with the worker; the others stay free for whatever else uses the pool.
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(qMax(threads, 4));
    DebugLines debug(dir, dir + QStringLiteral("/bin/qmake"));
    // Acts once the first worker is parked: the run is then inside that job's wait,
    // and only the events it processes can reach this timer.
    QTimer poller;
    poller.setInterval(0);
    connect(&poller, &QTimer::timeout, this, [&] {
        QProgressDialog *dialog = window.findChild<QProgressDialog *>();
        if (during.acted || !debug.isParked() || !dialog)
            return;
        during.acted = true;
        during.inModalState = QApplication::activeModalWidget() == dialog;
        during.label = dialog->labelText();
        during.hasButton = dialog->findChild<QPushButton *>() != nullptr;
        during.minimum = dialog->minimum();
        during.maximum = dialog->maximum();
        during.modality = dialog->windowModality();
        during.filesUntouched = differences(before, snapshot(dir)).isEmpty();

        QTest::keyClick(dialog, Qt::Key_Escape);
        during.upAfterEscape = dialog->isVisible();
        dialog->close();
        during.upAfterClose = dialog->isVisible();
        dialog->reject();
        during.upAfterReject = dialog->isVisible();

        // Neither command starts again, whether by the buttons or by the slots.
        QTest::mouseClick(WindowDriver::patchButton(window), Qt::LeftButton);
        QTest::mouseClick(WindowDriver::unpatchButton(window), Qt::LeftButton);
        window.patchQt();
        window.unpatchQt();
        during.dialogsAfterRetries = window.findChildren<QProgressDialog *>().size();
        debug.release();
    });
    poller.start();
    const RunRecord run = pressCommand(window, Command::Patch);
    poller.stop();
    debug.release();
    QThreadPool::globalInstance()->setMaxThreadCount(threads);

    QVERIFY(during.acted);
    QVERIFY(during.inModalState);
    QVERIFY(during.filesUntouched);
    QCOMPARE(during.label, QStringLiteral("Patche en cours..."));
    QVERIFY(!during.hasButton);
    QCOMPARE(during.minimum, 0);
    QCOMPARE(during.maximum, 0);
    QCOMPARE(during.modality, Qt::WindowModal);
    QVERIFY(during.upAfterEscape);
    QVERIFY(during.upAfterClose);
    QVERIFY(during.upAfterReject);
    QCOMPARE(during.dialogsAfterRetries, 1);

    QCOMPARE(run.progressDialogsShown, 1);
    QCOMPARE(run.boxesShown, 1);
    QCOMPARE(run.boxText, patchDone);
    QVERIFY(run.progressGoneAfter);
    verifyPatched(dir, options,
                  {QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"), QStringLiteral("lib/libQtCore.so")});
}

void TestCommands::commandCannotStartWhileBoxIsUp_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("done");
    QTest::newRow("patcher") << Command::Patch << patchDone;
    QTest::newRow("unpatcher") << Command::Unpatch << unpatchDone;
}

void TestCommands::commandCannotStartWhileBoxIsUp()
{
    QFETCH(Command, command);
    QFETCH(QString, done);

    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, linuxOptions(true), &error).isEmpty(), qPrintable(error));
    MainWindow window;
    QVERIFY(chooseDirectory(window, dir));
    if (command == Command::Unpatch)
        QCOMPARE(pressCommand(window, Command::Patch).boxText, patchDone);

    // The run is not over while its box is up: neither slot may start another one.
    QMap<QString, QByteArray> beforeRetry;
    QMap<QString, QByteArray> afterRetry;
    int dialogsAfterRetry = -1;
    const RunRecord run = pressCommand(window, command, [&] {
        beforeRetry = snapshot(dir);
        window.unpatchQt();
        window.patchQt();
        dialogsAfterRetry = window.findChildren<QProgressDialog *>().size();
        afterRetry = snapshot(dir);
    });
    QCOMPARE(run.boxText, done);
    QCOMPARE(run.progressDialogsShown, 1);
    QCOMPARE(run.boxesShown, 1);
    QCOMPARE(dialogsAfterRetry, 1);
    QVERIFY(!beforeRetry.isEmpty());
    QCOMPARE(differences(beforeRetry, afterRetry), QStringList());

    // Once the slot has returned, a command starts as usual.
    const RunRecord next = pressCommand(window, Command::Unpatch);
    QCOMPARE(next.progressDialogsShown, 1);
    QCOMPARE(next.boxText, unpatchDone);
}

void TestCommands::warningTextListsOnlyFailures()
{
    const QVector<FileReport> reports{
        {QStringLiteral("/q/bin/qmake"), QStringLiteral("bin/qmake"), FileKind::Binary, FileOutcome::changed()},
        {QStringLiteral("/q/lib/libQtCore.so"), QStringLiteral("lib/libQtCore.so"), FileKind::Binary,
         FileOutcome::failed(QStringLiteral("emplacement trop petit pour qt_prfxpath="))},
        {QStringLiteral("/q/lib/libQtCore.la"), QStringLiteral("lib/libQtCore.la"), FileKind::Binary,
         FileOutcome::leftAlone(Reason::upToDate())},
        {QStringLiteral("/q/mkspecs/default/qmake.conf"), QStringLiteral("mkspecs/default/qmake.conf"), FileKind::Text,
         FileOutcome::leftAlone(Reason::noSuchFile())},
        {QStringLiteral("/q/.qmake.cache"), QStringLiteral(".qmake.cache"), FileKind::Text,
         FileOutcome::failed(QStringLiteral("écriture impossible : No space left on device"))},
    };
    QCOMPARE(failedFilesText(Command::Patch, reports),
             QStringLiteral("Le patch n'a pas pu être appliqué à certains fichiers :\n"
                            "lib/libQtCore.so : emplacement trop petit pour qt_prfxpath=\n"
                            ".qmake.cache : écriture impossible : No space left on device"));
    QCOMPARE(failedFilesText(Command::Unpatch, reports.mid(1, 1)),
             QStringLiteral("Certains fichiers n'ont pas pu être restaurés :\n"
                            "lib/libQtCore.so : emplacement trop petit pour qt_prfxpath="));
    QVERIFY(anyFailed(reports));
    QVERIFY(!anyFailed(reports.mid(2, 2)));
}

void TestCommands::throwingWorkerDoesNotStopRun()
{
    const QString dir = makeDir(QStringLiteral("qt-"));
    QString error;
    QVERIFY2(!makeInstallation(dir, linuxOptions(true), &error).isEmpty(), qPrintable(error));

    struct Call {
        QString relative;
        bool onCallingThread;
    };
    QMutex mutex;
    QVector<Call> calls;
    QThread *const callingThread = QThread::currentThread();
    auto record = [&](const QString &path) {
        QMutexLocker lock(&mutex);
        calls.append({path.mid(dir.size() + 1), QThread::currentThread() == callingThread});
    };

    CommandWorkers workers = CommandWorkers::standard();
    const CommandWorkers standard = CommandWorkers::standard();
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

    QStringList heard;
    const QVector<FileReport> reports = runCommandWith(workers, Command::Patch, dir, WriteMode::Apply,
                                                       [&heard](const FileReport &r) { heard << r.relativePath; });

    const QStringList order{QStringLiteral("bin/qmake"), QStringLiteral("lib/libQtCore.la"),
                            QStringLiteral("lib/libQtCore.so"), textFiles.at(0), textFiles.at(1)};
    QCOMPARE(heard, order);
    QCOMPARE(calls.size(), order.size());
    for (int i = 0; i < calls.size(); ++i) {
        QCOMPARE(calls.at(i).relative, order.at(i));
        // Binaries run as background jobs; the two text files on the calling thread.
        QCOMPARE(calls.at(i).onCallingThread, i >= 3);
    }
    QCOMPARE(reports.size(), order.size());
    QCOMPARE(reports.at(0).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("qmake worker gave up"))));
    QVERIFY(!reports.at(2).outcome.isFailure());
    QCOMPARE(reports.at(3).outcome, FileOutcome::failed(Reason::workerException(QStringLiteral("exception inconnue"))));
    QCOMPARE(reports.at(4).outcome, FileOutcome::changed());
    QVERIFY(anyFailed(reports));

    // The files after each throwing worker were treated.
    QCOMPARE(slotValues(readFile(dir + QStringLiteral("/lib/libQtCore.so"))).value("qt_prfxpath="), dir.toLocal8Bit());
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/.qmake.cache.back")));
    QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/bin/qmake.back")));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
