#pragma once

#include <QColor>
#include <QGradientStops>
#include <QPushButton>

#include <optional>

/**
 * A push button that draws only what it is given: a vertical gradient, a border and a title colour,
 * and never the desktop's bezel. With none of the three it draws only its title.
 */
class OVButton : public QPushButton {
    Q_OBJECT
public:
    explicit OVButton(QWidget* parent = nullptr);

    void setBorderColor(const QColor& color);
    /** Two or more stops, bottom to top. */
    void setGradient(const QGradientStops& stops);
    void setTextColor(const QColor& color);

    std::optional<QColor> borderColor() const { return m_borderColor; }
    std::optional<QColor> textColor() const { return m_textColor; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QColor> m_borderColor;
    QGradientStops m_gradient;
    std::optional<QColor> m_textColor;
};
