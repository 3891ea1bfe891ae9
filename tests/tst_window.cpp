#include "app/commandreport.h"
#include "app/mainwindow.h"
#include "patching/store/runlock.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTemporaryDir>

#include <algorithm>

namespace {
QAbstractButton *button(MainWindow &window, const char *text)
{
    const QList<QAbstractButton *> buttons = window.findChildren<QAbstractButton *>();
    return *std::find_if(buttons.cbegin(), buttons.cend(), [text](QAbstractButton *b) { return b->text() == QLatin1String(text); });
}

// The path shown, and whether both commands can be pressed.
QString state(MainWindow &window)
{
    const bool enabled = button(window, "patcher")->isEnabled() && button(window, "unpatcher")->isEnabled();
    return window.findChild<QLineEdit *>()->text() + (enabled ? QStringLiteral(" | enabled") : QStringLiteral(" | disabled"));
}

// Presses a button and answers what follows: the directory dialog takes `directory` (cancelled
// when empty); each box is told as "icon | title | text | over <busy dialog>". A command still runs
// while its end box is up: choosing a directory or starting a command then must do nothing.
QString press(MainWindow &window, const char *text, const QString &directory = QString())
{
    QStringList seen;
    QList<QPointer<QWidget>> answered;
    const auto answer = [&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        const QProgressDialog *progress = window.findChild<QProgressDialog *>();
        if (!box && !progress && !directory.isEmpty()) {
            auto *dialog = static_cast<QFileDialog *>(modal);
            dialog->setDirectory(directory);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->clear();
            return static_cast<QDialog *>(dialog)->accept(); // QFileDialog's own accept() is not public
        }
        if (!box) {
            seen << (progress ? QStringLiteral("a directory dialog during a command") : QString());
            return static_cast<QDialog *>(modal)->reject();
        }
        const char *icon = box->icon() == QMessageBox::Critical ? "critical" : box->icon() == QMessageBox::Warning ? "warning" : "information";
        seen << QLatin1String(icon) + QStringLiteral(" | ") + box->windowTitle() + QStringLiteral(" | ") + box->text()
                    + (progress ? QStringLiteral(" | over ") + progress->labelText() : QString());
        if (progress && seen.size() == 1) {
            window.getQtPath();
            window.patchQt();
            window.unpatchQt();
        }
        box->button(QMessageBox::Ok)->click();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || answered.contains(modal) || qobject_cast<QProgressDialog *>(modal))
            return;
        answered << modal;
        // Posted, so that a dialog opened while this one is answered is met too.
        QMetaObject::invokeMethod(&poll, [&answer, modal] { if (modal) answer(modal); }, Qt::QueuedConnection);
    });
    poll.start(20);
    QTest::mouseClick(button(window, text), Qt::LeftButton);
    return seen.join(QStringLiteral("; "));
}

// The bytes of every file below `dir`, links to files read through.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> entries;
    for (QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        entries.insert(path.mid(dir.size() + 1), readFile(path));
    }
    return entries;
}

// Lays out the Linux-shaped sample (symbolic links, .so libraries) with scripts/make-sample.sh; a
// Windows program cannot run the shell script, so the test is skipped there.
#ifdef Q_OS_WIN
#define LAY_OUT_SAMPLE(dir) QSKIP("the sample installation is Linux-shaped and laid out by a shell script")
#else
#define LAY_OUT_SAMPLE(dir) QVERIFY(QProcess::execute(QStringLiteral(ZEL_MAKE_SAMPLE), {dir}) == 0)
#endif

const QString notQt = QStringLiteral("critical | repertoire incorect | le repertoire ne contient pas de version de Qt.");
const QString notAscii = QStringLiteral(
    "critical | repertoire incorect | le repertoire qt doit être exclusivement compos?de caractère ASCII et sans espace.");
// The box of a directory holding `c`, which qmake, make or the shell would read otherwise.
QString unsafe(const char *c)
{
    return QStringLiteral("critical | repertoire incorect | le chemin du repertoire ne doit pas contenir « %1 », que qmake, "
                          "make ou le shell liraient autrement.").arg(QLatin1String(c));
}
const QString patchDone = QStringLiteral("information |  | Application du patch termin? | over Patche en cours...");
const QString unpatchDone = QStringLiteral("information |  | Patch enlev? | over Suppression du patche en cours...");
} // namespace

// The window driven as a user drives it: the directory checks and states, then a whole run of both commands.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    void chooseDirectory_data()
    {
        QTest::addColumn<QString>("relative"); // below a temporary directory; empty: the dialog is cancelled
        QTest::addColumn<int>("length");       // when not 0: the whole path grown to this many characters
        QTest::addColumn<bool>("withLib");
        QTest::addColumn<QString>("box");

        QTest::newRow("exactly 200 characters are accepted") << "long" << 200 << true << QString();
        QTest::newRow("201 characters, a space among them: too long is told first") << "lo ng" << 201 << true
            << QStringLiteral("critical | repertoire incorect | Le chemin du repertoire ne doit pas dépasser 200 caractères.");
        QTest::newRow("201 characters without lib: only the first failed check is told") << "long" << 201 << false << notQt;
        QTest::newRow("a space in a parent directory") << "my qt/4.8" << 0 << true << notAscii;
        QTest::newRow("a character above U+00FF is refused") << QString::fromUtf8("qt-\xc5\x93uvre") << 0 << true << notAscii;
#ifndef Q_OS_WIN // where no file name holds a control character
        // A line break would add a statement of its own to .qmake.cache.
        QTest::newRow("a control character is refused like a space") << "qt\nQMAKE_CXX=x" << 0 << true << notAscii;
#endif
        QTest::newRow("DEL (U+007F) is refused like a space") << "qt\x7f" << 0 << true << notAscii;
        QTest::newRow("a character qmake reads as a comment is refused, named") << "qt#4" << 0 << true << unsafe("#");
        QTest::newRow("a character make expands in qmake's Makefiles is refused") << "qt$HOME" << 0 << true << unsafe("$");
        QTest::newRow("a character after which the shell runs a command of its own is refused") << "qt;4" << 0 << true << unsafe(";");
        QTest::newRow("a character where the rules that find a root again cut a path is refused") << "qt=4" << 0 << true << unsafe("=");
        QTest::newRow("y with diaeresis (U+00FF), the last character a slot can hold, is accepted")
            << QString::fromUtf8("qt-\xc3\xbf") << 0 << true << QString();
        QTest::newRow("cancelling forgets the accepted directory") << QString() << 0 << true << QString();
    }

    void chooseDirectory()
    {
        QFETCH(QString, relative);
        QFETCH(int, length);
        QFETCH(bool, withLib);
        QFETCH(QString, box);

        QTemporaryDir root;
        const QString first = root.filePath(QStringLiteral("first"));
        QString dir = root.filePath(relative);
        while (length - dir.size() > 60)
            dir += QLatin1Char('/') + QString(50, QLatin1Char('d'));
        if (length)
            dir += QLatin1Char('/') + QString(length - dir.size() - 1, QLatin1Char('e'));
        QVERIFY(QDir().mkpath(first + QStringLiteral("/bin")) && QDir().mkpath(first + QStringLiteral("/lib")));
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/bin")) && (!withLib || QDir().mkpath(dir + QStringLiteral("/lib"))));

        MainWindow window;
        window.show();
        QCOMPARE(state(window), QStringLiteral(" | disabled"));
        QCOMPARE(press(window, "...", first), QString());
        QCOMPARE(state(window), first + QStringLiteral(" | enabled"));
        QCOMPARE(press(window, "...", relative.isEmpty() ? QString() : dir), box);
        QCOMPARE(state(window), box.isEmpty() && !relative.isEmpty() ? dir + QStringLiteral(" | enabled") : QStringLiteral(" | disabled"));
    }

    void runCommands()
    {
        QTemporaryDir root;
        const QString dir = root.filePath(QStringLiteral("qt"));
        LAY_OUT_SAMPLE(dir);
        // A second name for the library, listed first: the library is still treated once, its backup beside its own name.
        QVERIFY(QFile::link(QStringLiteral("../lib/libQtCore.so.4.8.7"), dir + QStringLiteral("/bin/QtCore.so")));
        MainWindow window;
        window.show();
        QCOMPARE(press(window, "...", dir), QString());
        const auto original = snapshot(dir);
        {
            // Another run holds the installation: a warning, and nothing written.
            const RunLock other(dir, RunAccess::Writes);
            QVERIFY(press(window, "patcher").startsWith(QStringLiteral("warning |  | ") + dir + QStringLiteral(" : ")));
            auto during = snapshot(dir);
            QVERIFY(during.remove(QStringLiteral(".zel-qt-patcher.lock")) == 1);
            QCOMPARE(during, original);
        }
        QCOMPARE(press(window, "patcher"), patchDone);
        const auto patched = snapshot(dir);
        QStringList files = original.keys() + words(".qmake.cache.back bin/qmake.back "
                                                    "lib/libQtCore.so.4.8.7.back mkspecs/linux-g++/qmake.conf.back");
        files.sort();
        QCOMPARE(patched.keys(), files);
        const QStringList rewritten = words(".qmake.cache bin/QtCore.so bin/qmake lib/libQtCore.so lib/libQtCore.so.4 "
                                            "lib/libQtCore.so.4.8.7 mkspecs/linux-g++/qmake.conf");
        for (const QString &file : original.keys()) {
            QCOMPARE(patched.value(file + QStringLiteral(".back"), original.value(file)), original.value(file));
            QCOMPARE(patched.value(file) != original.value(file), rewritten.contains(file));
        }
        QVERIFY(patched.value(QStringLiteral("bin/qmake")).contains("qt_prfxpath=" + dir.toLocal8Bit() + '\0'));
        QVERIFY(patched.value(QStringLiteral(".qmake.cache")).contains("\nQT_BUILD_TREE =" + dir.toLocal8Bit() + '\n'));
        // Every byte back, every backup kept.
        QCOMPARE(press(window, "unpatcher"), unpatchDone);
        const auto restored = snapshot(dir);
        QCOMPARE(restored.keys(), patched.keys());
        for (const QString &file : patched.keys())
            QCOMPARE(restored.value(file), original.value(file, patched.value(file)));
        QCOMPARE(state(window), dir + QStringLiteral(" | enabled"));
        // A file the run refuses: the end box is the warning that names it and why.
        QVERIFY(writeFile(dir + QStringLiteral("/.qmake.cache"), restored.value(QStringLiteral(".qmake.cache")) + "MY_FLAG = 1\n"));
        QCOMPARE(press(window, "unpatcher"),
                 QStringLiteral("warning |  | Certains fichiers n'ont pas pu être restaurés :\n.qmake.cache : ")
                     + reasonText(Reason(ReasonCode::EditedSincePatch)) + QStringLiteral(" | over Suppression du patche en cours..."));
    }

    // A run in which many files failed: the box lists the first ones and how many more, so that it fits
    // on a screen; its details list them all.
    void manyFailuresFitTheBox()
    {
        QVector<FileReport> reports;
        for (int i = 0; i < 40; ++i)
            reports.append({QString(), QStringLiteral("plugins/lib%1.so").arg(i), FileKind::Binary,
                            i % 2 ? FileOutcome::failed(Reason(ReasonCode::FileNotWritten, Cause::AccessDenied)) : FileOutcome::changed()});
        const QStringList lines = failedFilesText(Command::Unpatch, reports).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 1 + 12 + 1);
        QVERIFY2(lines.last().contains(QLatin1String("8 autre")), qPrintable(lines.last()));
        QCOMPARE(failedFilesDetails(reports).count(QLatin1Char('\n')), 20 - 1);
        reports.resize(10);
        QVERIFY(failedFilesDetails(reports).isEmpty());
    }

};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
