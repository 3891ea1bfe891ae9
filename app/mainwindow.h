#ifndef ZEL_MAINWINDOW_H
#define ZEL_MAINWINDOW_H

#include <QMainWindow>
#include <QString>

class QLineEdit;
class QWidget;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

public slots:
    void patchQt();   // body in patching/patchcommand.cpp
    void unpatchQt(); // body in restoring/unpatchcommand.cpp
    void getQtPath();

private:
    QString qtPath;
    QLineEdit *pathEdit;
    QWidget *actionPanel;
    // Set while a command runs: its waits process events, and nothing may start another command then.
    bool commandRunning = false;
};

#endif
