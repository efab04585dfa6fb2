#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <list>
#include <optional>

class QMessageBox;
class QWidget;

/**
 * The prompts of one window, one at a time. A prompt posted while another is shown, or while the
 * window is hidden, waits: the next one comes when the shown one is answered, or when the window is
 * shown again. A prompt may name the device it is about (its subject, a serial) so that it can be
 * withdrawn when the device leaves.
 *
 * One per top-level window, a child of it (of()); GUI thread.
 */
class OVPromptQueue : public QObject {
public:
    /** Shows the prompt; its owner calls done() with the prompt's ticket once it is answered. */
    using Show = std::function<void()>;
    /** Takes the prompt off when it is withdrawn, shown or still waiting; no answer follows. */
    using Withdraw = std::function<void()>;

    /** The queue of widget's window, made on first use. */
    static OVPromptQueue& of(QWidget* widget);

    /** Queues a prompt and shows it at once when nothing else is shown; answers its ticket. */
    quint64 post(const QString& subject, Show show, Withdraw withdraw = {});
    /**
     * Queues a message box of this window: it is opened window-modal in its turn and deleted once
     * answered or withdrawn. Its finished() signal carries the answer.
     */
    void post(const QString& subject, QMessageBox* box);
    /** The prompt of ticket was answered, or its owner took it off before its turn. */
    void done(quint64 ticket);
    /** Takes off every prompt about subject, the shown one and the waiting ones. */
    void withdraw(const QString& subject);

    bool isShowing() const { return m_shown.has_value(); }
    int waitingCount() const { return int(m_waiting.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Prompt {
        quint64 ticket = 0;
        QString subject;
        Show show;
        Withdraw withdraw;
    };
    explicit OVPromptQueue(QWidget* window);
    void showNext();
    /** After an answer: the next prompt comes once the answered one has closed. */
    void showNextLater();

    QWidget* const m_window;
    std::list<Prompt> m_waiting;
    std::optional<Prompt> m_shown;
    quint64 m_lastTicket = 0;
};
