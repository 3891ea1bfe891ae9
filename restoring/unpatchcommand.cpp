#include "app/mainwindow.h"

// Placeholder until the unpatch command lands.
void MainWindow::unpatchQt() {}
