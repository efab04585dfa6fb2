#include "OVView.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

/** A click target is a button to assistive technologies; any other view stays a plain pane. */
class OVViewAccessible : public QAccessibleWidget {
public:
    explicit OVViewAccessible(OVView* view)
        : QAccessibleWidget(view) {}

    QAccessible::Role role() const override {
        return view()->isClickable() ? QAccessible::Button : QAccessibleWidget::role();
    }
    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (view()->isClickable())
            names.prepend(pressAction());
        return names;
    }
    void doAction(const QString& name) override {
        if (name == pressAction() && view()->isClickable())
            view()->click();
        else
            QAccessibleWidget::doAction(name);
    }

private:
    OVView* view() const { return static_cast<OVView*>(widget()); }
};

QAccessibleInterface* accessibleView(const QString& className, QObject* object) {
    if (className == QLatin1String("OVView") && object && object->isWidgetType())
        return new OVViewAccessible(static_cast<OVView*>(object));
    return nullptr;
}

} // namespace

OVView::OVView(QWidget* parent)
    : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(accessibleView);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
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
    if (isClickable())
        m_clickAction(this);
}
