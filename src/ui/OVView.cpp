#include "OVView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

OVView::OVView(QWidget* parent)
    : QWidget(parent) {
    // The view paints its own background, including none at all.
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void OVView::setBackgroundColor(const QBrush& color) {
    m_backgroundColor = color;
    update();
}

void OVView::onClick(QObject* target, ClickAction action) {
    m_clickTarget = target;
    m_clickAction = std::move(action);
    setFocusPolicy(target && m_clickAction ? Qt::StrongFocus : Qt::NoFocus);
    setCursor(target && m_clickAction ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void OVView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_backgroundColor.style() != Qt::NoBrush)
        painter.fillRect(rect(), m_backgroundColor);
    if (hasFocus()) {
        // Keyboard users need to see where they are.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void OVView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        click();
    QWidget::mousePressEvent(event);
}

void OVView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_clickAction && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OVView::click() {
    if (m_clickTarget && m_clickAction)
        m_clickAction(this);
}
