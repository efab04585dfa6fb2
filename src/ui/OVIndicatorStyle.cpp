#include "OVIndicatorStyle.h"

#include "OVStyleManager.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

OVIndicatorStyle::OVIndicatorStyle(const QString& baseStyleKey)
    : QProxyStyle(baseStyleKey)
    , m_redrawsFrames(baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0) {}

void OVIndicatorStyle::install() {
    // The key of the style in use, not the desktop's default: "-style" and QT_STYLE_OVERRIDE hold.
    if (!dynamic_cast<OVIndicatorStyle*>(QApplication::style()))
        QApplication::setStyle(new OVIndicatorStyle(QApplication::style()->name()));
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
    QColor colour = OVStyleManager::getIndicator_FrameColor(option->palette);
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
