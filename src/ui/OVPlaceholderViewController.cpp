#include "OVPlaceholderViewController.h"

#include "OVStyleManager.h"
#include "OVView.h"

#include <QLabel>
#include <QVBoxLayout>

OVPlaceholderViewController::OVPlaceholderViewController(const QString& title, const QString& text,
                                                         QWidget* parent)
    : OVBaseViewController(parent) {
    setAccessibleName(title);
    auto* card = new OVView(this);
    auto* heading = new QLabel(title, card);
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    heading->setFont(font);
    auto* body = new QLabel(text, card);
    body->setWordWrap(true);
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(24, 24, 24, 24);
    cardLayout->addWidget(heading);
    cardLayout->addWidget(body);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->addWidget(card);
    layout->addStretch();
    paintColours();
}

void OVPlaceholderViewController::paintColours() {
    auto* card = findChild<OVView*>();
    card->setBackgroundColor(OVStyleManager::getPreferences_BackgroundColor());
    QPalette palette = card->palette();
    palette.setColor(QPalette::WindowText, OVStyleManager::getContent_TextColor());
    card->setPalette(palette);
}
