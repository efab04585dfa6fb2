#include "OVPromptQueue.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {
const char* const kQueueName = "OVPromptQueue";
} // namespace

OVPromptQueue::OVPromptQueue(QWidget* window)
    : QObject(window)
    , m_window(window) {
    setObjectName(QLatin1String(kQueueName));
    m_window->installEventFilter(this);
}

OVPromptQueue& OVPromptQueue::of(QWidget* widget) {
    QWidget* window = widget->window();
    auto* queue = window->findChild<OVPromptQueue*>(QLatin1String(kQueueName), Qt::FindDirectChildrenOnly);
    return queue ? *queue : *new OVPromptQueue(window);
}

quint64 OVPromptQueue::post(const QString& subject, Show show, Withdraw withdraw) {
    const quint64 ticket = ++m_lastTicket;
    m_waiting.push_back({ticket, subject, std::move(show), std::move(withdraw)});
    showNext();
    return ticket;
}

void OVPromptQueue::post(const QString& subject, QMessageBox* box) {
    const QPointer<QMessageBox> prompt(box);
    // A sheet on this window: it blocks the window only, and the event loop goes on.
    box->setWindowModality(Qt::WindowModal);
    // The buttons say what the window's own say, in the window's string table rather than Qt's.
    for (QAbstractButton* button : box->buttons()) {
        if (box->standardButton(button) == QMessageBox::Ok)
            button->setText(QCoreApplication::translate("MessageBoxViewController", "OK"));
        else if (box->standardButton(button) == QMessageBox::Cancel)
            button->setText(QCoreApplication::translate("MessageBoxViewController", "Cancel"));
    }
    const quint64 ticket = post(
        subject,
        [prompt] {
            if (prompt)
                prompt->open();
        },
        [prompt] {
            if (prompt) {
                prompt->blockSignals(true); // withdrawn: no answer
                prompt->close();
                prompt->deleteLater();
            }
        });
    connect(box, &QMessageBox::finished, this, [this, prompt, ticket] {
        if (prompt)
            prompt->deleteLater();
        done(ticket);
    });
}

void OVPromptQueue::done(quint64 ticket) {
    if (m_shown && m_shown->ticket == ticket) {
        m_shown.reset();
        showNextLater();
        return;
    }
    m_waiting.remove_if([ticket](const Prompt& prompt) { return prompt.ticket == ticket; });
}

void OVPromptQueue::withdraw(const QString& subject) {
    std::list<Prompt> withdrawn;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->subject == subject)
            withdrawn.splice(withdrawn.end(), m_waiting, it++);
        else
            ++it;
    }
    if (m_shown && m_shown->subject == subject) {
        withdrawn.push_back(std::move(*m_shown));
        m_shown.reset();
        showNextLater();
    }
    for (const Prompt& prompt : withdrawn) {
        if (prompt.withdraw)
            prompt.withdraw();
    }
}

void OVPromptQueue::showNext() {
    // A closed window keeps its prompts until it is shown again.
    if (m_shown || m_waiting.empty() || !m_window->isVisible())
        return;
    m_shown = std::move(m_waiting.front());
    m_waiting.pop_front();
    const Show show = m_shown->show;
    show();
}

void OVPromptQueue::showNextLater() {
    QTimer::singleShot(0, this, [this] { showNext(); });
}

bool OVPromptQueue::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Show)
        showNextLater();
    return QObject::eventFilter(watched, event);
}
