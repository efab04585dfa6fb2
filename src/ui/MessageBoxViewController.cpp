#include "MessageBoxViewController.h"

#include "OVStyleManager.h"
#include "ui_MessageBoxViewController.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QPainter>

MessageBoxViewController::MessageBoxViewController(QWidget* parent)
    : OVBaseViewController(parent)
    , m_ui(std::make_unique<Ui::MessageBoxViewController>()) {
    m_ui->setupUi(this);
    // A click on the dimmed area stops here: nothing under the box reacts.
    setAttribute(Qt::WA_NoMousePropagation);
    // The keyboard stays on the box too: without buttons the box itself holds the focus.
    setFocusPolicy(Qt::StrongFocus);
    m_ui->messageView->setBackgroundColor(OVStyleManager::getMessageBox_PanelColor());
    auto* shadow = new QGraphicsDropShadowEffect(m_ui->messageView);
    shadow->setColor(OVStyleManager::getMessageBox_ShadowColor());
    shadow->setOffset(0, 0);
    shadow->setBlurRadius(10);
    m_ui->messageView->setGraphicsEffect(shadow);
    // As wide as the form draws it: a longer text takes more lines (the panel grows), not more width.
    m_ui->messageView->setFixedWidth(m_ui->messageView->minimumWidth());
    QPalette text = m_ui->labelMessage->palette();
    text.setColor(QPalette::WindowText, OVStyleManager::getMainWindow_MenuFontColorNotSelected());
    m_ui->labelMessage->setPalette(text);
    m_ui->progressIndicator->hide();
    m_ui->circularProgressIndicator->hide();
    connect(m_ui->okButton, &QPushButton::clicked, this, &MessageBoxViewController::onOkClick);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &MessageBoxViewController::onCancelClick);
    hide();
}

MessageBoxViewController::~MessageBoxViewController() = default;

void MessageBoxViewController::initializeView() {}

void MessageBoxViewController::showMessage(QWidget* owner, const QString& text, bool showOkButton,
                                           bool showCancelButton) {
    if (parentWidget() != owner) {
        if (parentWidget())
            parentWidget()->removeEventFilter(this);
        setParent(owner);
        owner->installEventFilter(this);
    }
    setGeometry(owner->rect());
    m_ui->labelMessage->setText(text);
    m_ui->okButton->setVisible(showOkButton);
    m_ui->cancelButton->setVisible(showCancelButton);
    show();
    raise();
    if (showOkButton)
        m_ui->okButton->setFocus();
    else if (showCancelButton)
        m_ui->cancelButton->setFocus();
    else
        setFocus();
}

bool MessageBoxViewController::focusNextPrevChild(bool next) {
    // Tab goes round the box's own buttons: the controls under the dimmed area are out of reach.
    QList<QWidget*> chain;
    for (QWidget* button :
         {static_cast<QWidget*>(m_ui->okButton), static_cast<QWidget*>(m_ui->cancelButton)}) {
        if (button->isVisibleTo(this) && button->isEnabled())
            chain << button;
    }
    if (chain.isEmpty()) {
        setFocus();
        return true;
    }
    const int at = int(chain.indexOf(focusWidget()));
    const int step = next ? 1 : -1;
    chain.at((at + step + int(chain.size())) % int(chain.size()))
        ->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

void MessageBoxViewController::hideMessage() {
    hide();
    m_onOkBlock = nullptr;
    m_onCancelBlock = nullptr;
}

void MessageBoxViewController::onOkClick() {
    // The callback may replace or clear itself (hideMessage): run a copy.
    if (const Block block = m_onOkBlock)
        block();
}

void MessageBoxViewController::onCancelClick() {
    if (const Block block = m_onCancelBlock)
        block();
}

void MessageBoxViewController::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), OVStyleManager::getMessageBox_DimColor());
    QPen border(OVStyleManager::getMessageBox_BorderColor());
    border.setWidthF(0.3);
    painter.setPen(border);
    painter.drawRect(QRectF(m_ui->messageView->geometry()).adjusted(-0.5, -0.5, 0.5, 0.5));
}

bool MessageBoxViewController::eventFilter(QObject* watched, QEvent* event) {
    // The box keeps covering its owner when the owner is resized.
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return OVBaseViewController::eventFilter(watched, event);
}

QLabel* MessageBoxViewController::labelMessage() const {
    return m_ui->labelMessage;
}
QPushButton* MessageBoxViewController::okButton() const {
    return m_ui->okButton;
}
QPushButton* MessageBoxViewController::cancelButton() const {
    return m_ui->cancelButton;
}
OVView* MessageBoxViewController::messageView() const {
    return m_ui->messageView;
}
QProgressBar* MessageBoxViewController::progressIndicator() const {
    return m_ui->progressIndicator;
}
QProgressBar* MessageBoxViewController::circularProgressIndicator() const {
    return m_ui->circularProgressIndicator;
}
