#include "OVNoOrvaneViewController.h"

#include "OVCredentialManagerProtocol.h"
#include "OVStyleManager.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

OVNoOrvaneViewController::OVNoOrvaneViewController(OVCredentialManagerProtocol* credentialMgr,
                                                   QWidget* parent)
    : OVBaseViewController(parent)
    , m_credentialMgr(credentialMgr)
    , m_labelInformation(new QLabel(this)) {
    m_labelInformation->setAlignment(Qt::AlignCenter);
    m_labelInformation->setAccessibleName(tr("Information"));
    QFont font = m_labelInformation->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    m_labelInformation->setFont(font);
    paintColours();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_labelInformation);
}

void OVNoOrvaneViewController::paintColours() {
    QPalette palette = m_labelInformation->palette();
    palette.setColor(QPalette::WindowText, OVStyleManager::getContent_TextColor());
    m_labelInformation->setPalette(palette);
}

void OVNoOrvaneViewController::initializeView() {
    const bool signedIn = m_credentialMgr && m_credentialMgr->isUserSignedIn();
    m_labelInformation->setText(signedIn ? tr("No Orvanes connected!") : tr("Please login!"));
}

void OVNoOrvaneViewController::paintEvent(QPaintEvent*) {
    // A white card with a hairline border, whatever the desktop theme.
    QPainter painter(this);
    painter.fillRect(rect(), OVStyleManager::getPreferences_BackgroundColor());
    painter.setPen(QPen(OVStyleManager::getOrvane_DeviceDetailColor(), 0.2));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
