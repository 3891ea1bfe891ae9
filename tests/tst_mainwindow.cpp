#include "app/mainwindow.h"
#include "app/qtpathcheck.h"
#include "modalhelper.h"
#include "windowdriver.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace WindowDriver;

Q_DECLARE_METATYPE(QtPathCheck)

// The window as a user meets it, and the directory choice driven through the real dialogs.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void layoutAndInitialState();
    void choiceAfterAnAcceptedOne_data();
    void choiceAfterAnAcceptedOne();
    void cancelAfterAcceptForgetsEverything();

private:
    QString makeQtDir(const QString &relative, bool withLib = true);
    QTemporaryDir m_root;
};

void TestMainWindow::initTestCase()
{
    QVERIFY2(m_root.isValid(), qPrintable(m_root.errorString()));
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void TestMainWindow::cleanup()
{
    // No dialog or box may outlive the test that opened it.
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), w->metaObject()->className());
}

QString TestMainWindow::makeQtDir(const QString &relative, bool withLib)
{
    const QString dir = m_root.path() + QLatin1Char('/') + relative;
    if (!QDir().mkpath(dir + QStringLiteral("/bin")))
        return QString();
    if (withLib && !QDir().mkpath(dir + QStringLiteral("/lib")))
        return QString();
    return dir;
}

void TestMainWindow::layoutAndInitialState()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(shownPath(window).isEmpty());
    QVERIFY(!patchButton(window)->isEnabled());
    QVERIFY(!unpatchButton(window)->isEnabled());
    QVERIFY(browseButton(window)->isEnabled());
    QVERIFY(window.findChild<QLineEdit *>()->isReadOnly());

    auto *grid = qobject_cast<QGridLayout *>(window.centralWidget()->layout());
    QVERIFY(grid);
    auto positionOf = [grid](QWidget *w) {
        int row, column, rowSpan, columnSpan;
        grid->getItemPosition(grid->indexOf(w), &row, &column, &rowSpan, &columnSpan);
        return QList<int>{row, column, rowSpan, columnSpan};
    };
    QLabel *label = window.findChild<QLabel *>();
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("Qt Path : "));
    QCOMPARE(positionOf(label), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(positionOf(window.findChild<QLineEdit *>()), (QList<int>{0, 1, 1, 4}));
    QCOMPARE(positionOf(browseButton(window)), (QList<int>{0, 5, 1, 1}));
    QVERIFY(qobject_cast<QToolButton *>(browseButton(window)));

    QWidget *panel = patchButton(window)->parentWidget();
    QCOMPARE(unpatchButton(window)->parentWidget(), panel);
    QCOMPARE(positionOf(panel), (QList<int>{1, 0, 1, 7}));
    auto *column = qobject_cast<QVBoxLayout *>(panel->layout());
    QVERIFY(column);
    QCOMPARE(column->indexOf(patchButton(window)), 0);
    QCOMPARE(column->indexOf(unpatchButton(window)), 1);

    // The slots, in their declared order, and nothing else of the window's own.
    const QMetaObject *meta = window.metaObject();
    QCOMPARE(QString::fromLatin1(meta->className()), QStringLiteral("MainWindow"));
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 3);
    QCOMPARE(meta->method(meta->methodOffset()).methodSignature(), QByteArray("patchQt()"));
    QCOMPARE(meta->method(meta->methodOffset() + 1).methodSignature(), QByteArray("unpatchQt()"));
    QCOMPARE(meta->method(meta->methodOffset() + 2).methodSignature(), QByteArray("getQtPath()"));
}

void TestMainWindow::choiceAfterAnAcceptedOne_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("withLib");
    QTest::addColumn<QtPathCheck>("check");

    QTest::newRow("another installation is taken") << QStringLiteral("other/qt-4.8") << true << QtPathCheck::Accepted;
    QTest::newRow("bin without lib") << QStringLiteral("nolib") << false << QtPathCheck::NotAnInstallation;
    QTest::newRow("201 characters") << QString(201 - m_root.path().size() - 1, QLatin1Char('l')) << true
                                    << QtPathCheck::TooLong;
    QTest::newRow("a space in a parent directory") << QStringLiteral("my qt/4.8") << true << QtPathCheck::NotAsciiOrSpace;
}

void TestMainWindow::choiceAfterAnAcceptedOne()
{
    QFETCH(QString, relative);
    QFETCH(bool, withLib);
    QFETCH(QtPathCheck, check);

    const QString first = makeQtDir(QStringLiteral("first/qt"));
    const QString dir = makeQtDir(relative, withLib);
    QVERIFY(!first.isEmpty() && !dir.isEmpty());
    MainWindow window;
    window.show();
    QVERIFY(!browse(window, first).boxSeen);
    QVERIFY(commandsEnabled(window));

    const BrowseResult result = browse(window, dir);
    QVERIFY(result.dialogSeen);
    QVERIFY(!result.dialogRefused);
    QCOMPARE(result.dialogCaption, QStringLiteral("Qt path"));
    QCOMPARE(result.boxSeen, check != QtPathCheck::Accepted);
    QCOMPARE(commandsEnabled(window), !result.boxSeen);
    if (!result.boxSeen) {
        QCOMPARE(shownPath(window), dir);
        return;
    }
    QVERIFY(result.boxIsCritical);
    QCOMPARE(result.boxTitle, QStringLiteral("repertoire incorect"));
    QCOMPARE(result.boxText, qtPathCheckMessage(check));
    QVERIFY(shownPath(window).isEmpty());
}

// Makes the dialog's own notion of the last visited directory point at `directory`,
// so that it differs from what the window remembers.
static void visitWithPlainDialog(const QString &directory)
{
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(directory);
        static_cast<QDialog *>(dialog)->accept();
    });
    QCOMPARE(QFileDialog::getExistingDirectory(nullptr, QString(), directory, QFileDialog::ShowDirsOnly), directory);
}

void TestMainWindow::cancelAfterAcceptForgetsEverything()
{
    const QString first = makeQtDir(QStringLiteral("remembered/first"));
    const QString elsewhere = makeQtDir(QStringLiteral("remembered/elsewhere"));
    QVERIFY(!first.isEmpty() && !elsewhere.isEmpty());
    MainWindow window;
    window.show();

    QVERIFY(!browse(window, first).boxSeen);
    QVERIFY(commandsEnabled(window));

    // The next dialog opens where the window's last dialog ended, not where the last file dialog did.
    visitWithPlainDialog(elsewhere);
    const BrowseResult cancelled = browse(window, QString());
    QCOMPARE(cancelled.dialogStartDirectory, first);
    QVERIFY(!cancelled.boxSeen);
    QVERIFY(shownPath(window).isEmpty());
    QVERIFY(!commandsEnabled(window));

    // After the cancel the window remembers nothing and the dialog opens at its own default.
    visitWithPlainDialog(elsewhere);
    const BrowseResult afterCancel = browse(window, QString());
    QCOMPARE(afterCancel.dialogStartDirectory, elsewhere);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
