#pragma once

#include "OVBaseViewController.h"

#include <functional>
#include <memory>

namespace Ui {
class MessageBoxViewController;
}
class OVView;
class QLabel;
class QProgressBar;
class QPushButton;

/**
 * A panel inside a view, over a dimmed copy of it: a message, OK and Cancel, a progress bar and a
 * busy indicator. It never hides itself: the owner's callbacks do (hideMessage). Created once per
 * owning view and reused for every message; lives on the GUI thread.
 */
class MessageBoxViewController : public OVBaseViewController {
    Q_OBJECT
public:
    using Block = std::function<void()>;

    explicit MessageBoxViewController(QWidget* parent = nullptr);
    ~MessageBoxViewController() override;

    /** Only makes sure the view is loaded. */
    void initializeView() override;

    /** Covers the whole of owner with the panel (the box becomes owner's child) and shows text. */
    void showMessage(QWidget* owner, const QString& text, bool showOkButton, bool showCancelButton);
    /** Takes the panel off and clears both callbacks. */
    void hideMessage();

    /** Run by the buttons; a button without a callback does nothing. */
    void setOnOkBlock(Block block) { m_onOkBlock = std::move(block); }
    void setOnCancelBlock(Block block) { m_onCancelBlock = std::move(block); }

    QLabel* labelMessage() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;
    OVView* messageView() const;
    QProgressBar* progressIndicator() const;
    QProgressBar* circularProgressIndicator() const;

    void onOkClick();
    void onCancelClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::MessageBoxViewController> m_ui;
    Block m_onOkBlock;
    Block m_onCancelBlock;
};
