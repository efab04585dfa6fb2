#include "OVButton.h"

#include <QLinearGradient>
#include <QPainter>

OVButton::OVButton(QWidget* parent)
    : QPushButton(parent) {
    setFlat(true);
}

void OVButton::setBorderColor(const QColor& color) {
    m_borderColor = color;
    update();
}

void OVButton::setGradient(const QGradientStops& stops) {
    m_gradient = stops;
    update();
}

void OVButton::setTextColor(const QColor& color) {
    m_textColor = color;
    update();
}

void OVButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_gradient.size() >= 2) {
        // At 90 degrees: the first stop at the bottom, the last at the top.
        QLinearGradient gradient(rect().bottomLeft(), rect().topLeft());
        gradient.setStops(m_gradient);
        painter.fillRect(rect(), gradient);
    }
    if (m_borderColor) {
        painter.setPen(*m_borderColor);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    // The title colour is applied to the painter, never to the button: changing the button's own
    // palette here would schedule another paint, and so on for ever.
    painter.setPen(m_textColor ? *m_textColor
                               : palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                                 QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}
