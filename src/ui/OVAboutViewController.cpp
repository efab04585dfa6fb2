#include "OVAboutViewController.h"

#include "OVHelper.h"
#include "OVStyleManager.h"
#include "ui_OVAboutViewController.h"

OVAboutViewController::OVAboutViewController(QWidget* parent)
    : OVBaseViewController(parent)
    , m_ui(std::make_unique<Ui::OVAboutViewController>()) {
    m_ui->setupUi(this);
    paintColours();
    QFont title = m_ui->labelName->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setBold(true);
    m_ui->labelName->setFont(title);
    m_ui->labelVersion->setText(tr("Version %1").arg(OVHelper::getApplicationVersion()));
}

OVAboutViewController::~OVAboutViewController() = default;

void OVAboutViewController::paintColours() {
    m_ui->viewAbout->setBackgroundColor(OVStyleManager::getAccount_SignInBackgroundColor());
    QPalette text = m_ui->viewAbout->palette();
    text.setColor(QPalette::WindowText, OVStyleManager::getContent_TextColor());
    m_ui->viewAbout->setPalette(text);
}
