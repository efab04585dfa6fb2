#include "OVIndicatorStyle.h"

#include "OVStyleManager.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>

namespace {

/** What a control's boundary needs to be seen (non-text contrast). */
constexpr double kFrameContrast = 3.0;

} // namespace

OVIndicatorStyle::OVIndicatorStyle(const QString& baseStyleKey)
    : QProxyStyle(baseStyleKey)
    , m_redrawsFrames(baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0) {}

void OVIndicatorStyle::install() {
    // The key of the style in use, not the desktop's default: "-style" and QT_STYLE_OVERRIDE hold.
    if (!dynamic_cast<OVIndicatorStyle*>(QApplication::style()))
        QApplication::setStyle(new OVIndicatorStyle(QApplication::style()->name()));
}

QColor OVIndicatorStyle::frameColour(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base), window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::Text);
    const auto standsOut = [&](const QColor& colour) {
        return std::min(OVStyleManager::contrast(colour, base), OVStyleManager::contrast(colour, window)) >=
               kFrameContrast;
    };
    // From halfway: the frame stays quieter than the text when the palette allows it.
    for (int step = 10; step <= 20; ++step) {
        const double amount = step / 20.0;
        const QColor colour = QColor::fromRgbF(base.redF() + (text.redF() - base.redF()) * amount,
                                               base.greenF() + (text.greenF() - base.greenF()) * amount,
                                               base.blueF() + (text.blueF() - base.blueF()) * amount);
        if (standsOut(colour))
            return colour;
    }
    return text;
}

void OVIndicatorStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    const bool box = element == PE_IndicatorCheckBox, radio = element == PE_IndicatorRadioButton;
    if (!m_redrawsFrames || !option || !(box || radio))
        return;
    // The keyboard focus has a frame of its own colour.
    if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange))
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    QColor colour = frameColour(option->palette);
    if (!(option->state & State_Enabled))
        colour.setAlphaF(0.5);
    painter->setPen(QPen(colour, 1));
    // Exactly over the frame Fusion drew: the same rectangle, or the same circle.
    const QRect rect = option->rect;
    if (radio) {
        const qreal radius = (rect.width() + (rect.width() + 1) % 2) / 2.0 - 1;
        painter->drawEllipse(QPointF(rect.center() + QPoint(1, 1)), radius, radius);
    } else {
        painter->drawRect(QRectF(rect.adjusted(0, 0, -1, -1)).translated(0.5, 0.5));
    }
    painter->restore();
}
