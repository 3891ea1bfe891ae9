#ifndef ZEL_WINDOWDRIVER_H
#define ZEL_WINDOWDRIVER_H

#include <QString>

class MainWindow;
class QWidget;

// Drives the real window as a user would: presses its buttons and answers the
// dialogs that follow. Needs Qt::AA_DontUseNativeDialogs so the dialogs are widgets.
namespace WindowDriver {

struct BrowseResult {
    bool dialogSeen = false;
    QString dialogStartDirectory; // where the directory dialog opened
    QString dialogCaption;
    bool dialogRefused = false;   // the dialog did not take the directory
    bool boxSeen = false;         // a message box followed the dialog
    QString boxTitle;
    QString boxText;
    bool boxIsCritical = false;
};

// Presses "..." and chooses `directory` in the dialog, or cancels it when `directory` is empty.
BrowseResult browse(MainWindow &window, const QString &directory);

QWidget *patchButton(MainWindow &window);
QWidget *unpatchButton(MainWindow &window);
QWidget *browseButton(MainWindow &window);
QString shownPath(MainWindow &window);
bool commandsEnabled(MainWindow &window);

} // namespace WindowDriver

#endif
