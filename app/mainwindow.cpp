#include "app/mainwindow.h"

#include "app/qtpathcheck.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

MainWindow::MainWindow()
{
    QWidget *central = new QWidget;
    QGridLayout *grid = new QGridLayout(central);

    grid->addWidget(new QLabel(tr("Qt Path : ")), 0, 0);

    pathEdit = new QLineEdit;
    pathEdit->setReadOnly(true);
    grid->addWidget(pathEdit, 0, 1, 1, 4);

    QToolButton *browseButton = new QToolButton;
    browseButton->setText(QStringLiteral("..."));
    connect(browseButton, SIGNAL(clicked()), this, SLOT(getQtPath()));
    grid->addWidget(browseButton, 0, 5);

    actionPanel = new QWidget;
    actionPanel->setEnabled(false);
    QVBoxLayout *buttons = new QVBoxLayout(actionPanel);

    QPushButton *patchButton = new QPushButton(tr("patcher"));
    connect(patchButton, SIGNAL(clicked()), this, SLOT(patchQt()));
    buttons->addWidget(patchButton);

    QPushButton *unpatchButton = new QPushButton(tr("unpatcher"));
    connect(unpatchButton, SIGNAL(clicked()), this, SLOT(unpatchQt()));
    buttons->addWidget(unpatchButton);

    grid->addWidget(actionPanel, 1, 0, 1, 7);

    setCentralWidget(central);
}

MainWindow::~MainWindow() = default;

void MainWindow::getQtPath()
{
    if (commandRunning)
        return;
    // The last dialog's result, whatever it was, is where the next dialog opens.
    static QString startDirectory;

    actionPanel->setEnabled(false);
    pathEdit->clear();

    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Qt path"), startDirectory,
                                                             QFileDialog::ShowDirsOnly);
    startDirectory = chosen;
    if (chosen.isEmpty())
        return;

    const QtPathCheck check = checkQtPath(chosen);
    if (check != QtPathCheck::Accepted) {
        QMessageBox::critical(this, qtPathCheckTitle(), qtPathCheckMessage(check, chosen), QMessageBox::Ok,
                              QMessageBox::NoButton);
        return;
    }

    actionPanel->setEnabled(true);
    qtPath = chosen;
    pathEdit->setText(qtPath);
}
