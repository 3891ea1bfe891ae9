#include "app/commandreport.h"

#include "app/reasontext.h"
#include "patching/store/runlock.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include <memory>

namespace {

// A run cannot be stopped half-way, so the busy dialog stays up until the run is over:
// Escape and the title bar's close button are ignored. The window's own guard
// keeps a second command from starting in any case.
class BusyDialog : public QProgressDialog
{
public:
    BusyDialog(const QString &label, QWidget *parent)
        : QProgressDialog(label, QString(), 0, 0, parent)
    {
        setWindowModality(Qt::WindowModal);
    }

    void reject() override {}

protected:
    void closeEvent(QCloseEvent *event) override { event->ignore(); }
};

QString progressLabel(Command command)
{
    return command == Command::Patch ? QCoreApplication::translate("CommandReport", "Patche en cours...")
                                     : QCoreApplication::translate("CommandReport", "Suppression du patche en cours...");
}

QString doneText(Command command)
{
    return command == Command::Patch ? QCoreApplication::translate("CommandReport", "Application du patch termin?")
                                     : QCoreApplication::translate("CommandReport", "Patch enlev?");
}

QString failedHeading(Command command)
{
    return command == Command::Patch ? QCoreApplication::translate("CommandReport", "Le patch n'a pas pu être appliqué à certains fichiers :")
                                     : QCoreApplication::translate("CommandReport", "Certains fichiers n'ont pas pu être restaurés :");
}

} // namespace

void runCommandInWindow(QWidget *window, Command command, const QString &qtPath)
{
    // Another window or a script may be running on the same installation.
    auto lock = std::make_unique<RunLock>(qtPath, RunAccess::Writes);
    if (!lock->refusal().isNone()) {
        QMessageBox box(QMessageBox::Warning, QString(),
                        QCoreApplication::translate("CommandReport", "%1 : %2").arg(qtPath, reasonText(lock->refusal())),
                        QMessageBox::Ok, window);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    BusyDialog progress(progressLabel(command), window);
    progress.show();
    const QVector<FileReport> reports = runCommand(command, qtPath);
    // The run is over: the tree is free while the user reads the end box, the busy dialog under it.
    lock.reset();
    showCommandEnd(window, command, reports);
}

void showCommandEnd(QWidget *parent, Command command, const QVector<FileReport> &reports)
{
    if (!anyFailed(reports)) {
        QMessageBox::information(parent, QString(), doneText(command), QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    // The same box as QMessageBox::warning, but a file name must never be taken for markup.
    QMessageBox box(QMessageBox::Warning, QString(), failedFilesText(command, reports), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(failedFilesDetails(reports));
    box.exec();
}

namespace {
// The failures a box lists itself: more would make it taller than a screen, its button out of reach.
constexpr int failuresInBox = 12;

QStringList failureLines(const QVector<FileReport> &reports)
{
    QStringList lines;
    for (const FileReport &report : reports) {
        if (report.outcome.isFailure())
            lines << QCoreApplication::translate("CommandReport", "%1 : %2").arg(report.relativePath, reasonText(report.outcome.reason));
    }
    return lines;
}
} // namespace

QString failedFilesText(Command command, const QVector<FileReport> &reports)
{
    const QStringList lines = failureLines(reports);
    QString text = failedHeading(command) + QLatin1Char('\n') + lines.mid(0, failuresInBox).join(QLatin1Char('\n'));
    if (lines.size() > failuresInBox)
        text += QLatin1Char('\n')
            + QCoreApplication::translate("CommandReport", "… et %n autre(s) fichier(s) en échec : voir les détails.", nullptr,
                                          int(lines.size() - failuresInBox));
    return text;
}

QString failedFilesDetails(const QVector<FileReport> &reports)
{
    const QStringList lines = failureLines(reports);
    return lines.size() > failuresInBox ? lines.join(QLatin1Char('\n')) : QString();
}
