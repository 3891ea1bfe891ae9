#include "app/mainwindow.h"

#include "app/commandreport.h"

#include <QScopedValueRollback>

void MainWindow::patchQt()
{
    // The run's waits process events, so a click or a timer could try to start another command.
    if (commandRunning)
        return;
    const QScopedValueRollback<bool> running(commandRunning, true);
    runCommandInWindow(this, Command::Patch, qtPath);
}
