#ifndef ZEL_MODALHELPER_H
#define ZEL_MODALHELPER_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal dialog of the application: polls for the active modal
// widget while the code under test sits in the dialog's nested event loop, and
// hands it to `answer` once. Tests check `seen` afterwards.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Answer = std::function<void(QWidget *)>;

    // `skip` is a modal widget that is already up (such as a progress dialog) and not the one awaited.
    explicit ModalAnswerer(Answer answer, QWidget *skip = nullptr);

    // Keeps polling after an answer and hands over every further modal widget, each once,
    // even one that opens while an earlier answer is still running: so that a dialog which
    // ought never to appear is caught and answered instead of leaving the test waiting.
    void answerEach();

    bool seen() const { return m_seen; }
    int answered() const { return m_answered; }
    QString className() const { return m_className; }

private:
    void poll();

    Answer m_answer;
    QPointer<QWidget> m_skip;
    QTimer m_timer;
    bool m_seen = false;
    bool m_each = false;
    int m_answered = 0;
    QList<QPointer<QWidget>> m_done;
    QString m_className;
};

#endif
