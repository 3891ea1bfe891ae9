#include "modalhelper.h"

#include <QApplication>

ModalAnswerer::ModalAnswerer(Answer answer, QWidget *skip)
    : m_answer(std::move(answer)), m_skip(skip)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start();
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || modal == m_skip || !modal->isVisible())
        return;
    m_timer.stop();
    m_seen = true;
    m_className = QString::fromLatin1(modal->metaObject()->className());
    m_answer(modal);
}
