#ifndef ZEL_MODALHELPER_H
#define ZEL_MODALHELPER_H

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

    bool seen() const { return m_seen; }
    QString className() const { return m_className; }

private:
    void poll();

    Answer m_answer;
    QPointer<QWidget> m_skip;
    QTimer m_timer;
    bool m_seen = false;
    QString m_className;
};

#endif
