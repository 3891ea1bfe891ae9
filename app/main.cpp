#include "app/language.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QIcon>
#include <QThreadPool>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installTranslation();
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN); // a write over the file-size limit fails with its reason instead
#endif
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo_zel.png")));
    // File jobs run on the global pool, which Qt also uses to paint; with a single
    // pool thread a long job would stop the window from repainting.
    if (QThreadPool::globalInstance()->maxThreadCount() < 2)
        QThreadPool::globalInstance()->setMaxThreadCount(2);

    MainWindow window;
    window.setWindowTitle(QStringLiteral("ZEL - Qt patcher"));
    window.show();

    return app.exec();
}
