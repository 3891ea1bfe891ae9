#include "app/mainwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo_zel.png")));

    MainWindow window;
    window.setWindowTitle(QStringLiteral("ZEL - Qt patcher"));
    window.show();

    return app.exec();
}
