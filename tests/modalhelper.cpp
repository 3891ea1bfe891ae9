#include "modalhelper.h"

#include <QApplication>

ModalAnswerer::ModalAnswerer(Answer answer, QWidget *skip)
    : m_answer(std::move(answer)), m_skip(skip)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::answerEach()
{
    m_each = true;
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == m_skip || !modal->isVisible() || m_done.contains(modal))
        return;
    if (m_each)
        m_done.append(modal);
    else
        m_timer.stop();
    m_seen = true;
    ++m_answered;
    m_className = QString::fromLatin1(modal->metaObject()->className());
    if (!m_each) {
        m_answer(modal);
        return;
    }
    // A timer does not fire again while its own handler runs; answering from a posted call
    // keeps the polling alive for a further dialog opened while this one is being answered.
    QPointer<QWidget> target(modal);
    QMetaObject::invokeMethod(
        this,
        [this, target] {
            if (target)
                m_answer(target);
        },
        Qt::QueuedConnection);
}
