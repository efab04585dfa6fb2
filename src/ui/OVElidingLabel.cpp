#include "OVElidingLabel.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace {
// Room for a letter and the "…": less says nothing.
constexpr int kMinimumWidth = 40;
} // namespace

OVElidingLabel::OVElidingLabel(QWidget* parent)
    : QLabel(parent) {}

QSize OVElidingLabel::minimumSizeHint() const {
    return {std::min(kMinimumWidth, sizeHint().width()), QLabel::minimumSizeHint().height()};
}

void OVElidingLabel::paintEvent(QPaintEvent*) {
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
    setToolTip(shown == text() ? QString() : text());
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                          palette(), isEnabled(), shown, foregroundRole());
}
