#pragma once

#include <QBrush>
#include <QPointer>
#include <QWidget>

#include <functional>

/**
 * A plain view filled with one colour (or pattern) that can act as a click target: menu entries,
 * back buttons, badges, bars. Without a colour it paints nothing, so what lies behind shows through.
 * A click target also answers Space and Return once it has the keyboard focus, and is a button
 * with a press action on the accessibility bus, so that a screen reader can name and press it.
 */
class OVView : public QWidget {
    Q_OBJECT
public:
    using ClickAction = std::function<void(OVView* sender)>;

    explicit OVView(QWidget* parent = nullptr);

    /** A brush with no style (QBrush()) means no colour: fully transparent. Repaints. */
    void setBackgroundColor(const QBrush& color);
    const QBrush& backgroundColor() const { return m_backgroundColor; }

    /** Clicks run action with this view as sender while target lives; the view becomes focusable. */
    void onClick(QObject* target, ClickAction action);
    bool isClickable() const { return m_clickTarget && m_clickAction; }
    /** Runs the click action, as a mouse click, a key or an assistive technology's press does. */
    void click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QBrush m_backgroundColor;
    /** Not owned: a destroyed target silences the click. */
    QPointer<QObject> m_clickTarget;
    ClickAction m_clickAction;
};
