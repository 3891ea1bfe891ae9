#include "windowdriver.h"

#include "app/mainwindow.h"
#include "modalhelper.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace WindowDriver {

namespace {
QAbstractButton *buttonWithText(MainWindow &window, const QString &text)
{
    for (QAbstractButton *button : window.findChildren<QAbstractButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}
} // namespace

QWidget *patchButton(MainWindow &window) { return buttonWithText(window, QStringLiteral("patcher")); }
QWidget *unpatchButton(MainWindow &window) { return buttonWithText(window, QStringLiteral("unpatcher")); }
QWidget *browseButton(MainWindow &window) { return buttonWithText(window, QStringLiteral("...")); }

QString shownPath(MainWindow &window)
{
    const QLineEdit *edit = window.findChild<QLineEdit *>();
    return edit ? edit->text() : QString();
}

bool commandsEnabled(MainWindow &window)
{
    QWidget *patch = patchButton(window);
    QWidget *unpatch = unpatchButton(window);
    return patch && unpatch && patch->isEnabled() && unpatch->isEnabled();
}

BrowseResult browse(MainWindow &window, const QString &directory)
{
    BrowseResult result;
    // The box, if any, comes after the dialog has closed; this answerer waits for it.
    ModalAnswerer *boxAnswerer = nullptr;
    ModalAnswerer dialogAnswerer([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        result.dialogSeen = true;
        result.dialogStartDirectory = dialog->directory().absolutePath();
        result.dialogCaption = dialog->windowTitle();
        if (directory.isEmpty()) {
            dialog->reject();
            return;
        }
        boxAnswerer = new ModalAnswerer([&](QWidget *box) {
            if (auto *messageBox = qobject_cast<QMessageBox *>(box)) {
                result.boxSeen = true;
                result.boxTitle = messageBox->windowTitle();
                result.boxText = messageBox->text();
                result.boxIsCritical = messageBox->icon() == QMessageBox::Critical;
                if (QAbstractButton *ok = messageBox->button(QMessageBox::Ok))
                    ok->click();
                else
                    messageBox->close();
            } else {
                box->close();
            }
        }, dialog);
        dialog->setDirectory(directory);
        // A start directory that no longer exists stays in the name field and would be taken instead.
        if (QLineEdit *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->clear();
        static_cast<QDialog *>(dialog)->accept(); // QFileDialog's override is protected
        // A dialog that refused the choice would otherwise leave the test waiting for ever.
        if (dialog->isVisible()) {
            result.dialogRefused = true;
            dialog->reject();
        }
    });
    QTest::mouseClick(browseButton(window), Qt::LeftButton);
    // A message box is shown only after the dialog; give a pending one its chance to be answered.
    delete boxAnswerer;
    return result;
}

} // namespace WindowDriver
