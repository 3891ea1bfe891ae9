#include "app/mainwindow.h"

// Placeholder until the patch command lands.
void MainWindow::patchQt() {}
