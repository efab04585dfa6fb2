#include "OVContentPalette.h"
#include "OVStyleManager.h"
#include <QPalette>
#include <QWidget>

void OVContentPalette::apply(QWidget* container, const QColor& background) {
    const QColor text = OVStyleManager::getContent_TextColor();
    QColor disabledText = text;
    disabledText.setAlpha(110);
    QPalette palette = container->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor& groupText = group == QPalette::Disabled ? disabledText : text;
        palette.setColor(group, QPalette::WindowText, groupText);
        palette.setColor(group, QPalette::Text, groupText);
        palette.setColor(group, QPalette::PlaceholderText, disabledText);
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Window, background);
    }
    container->setPalette(palette);
}
