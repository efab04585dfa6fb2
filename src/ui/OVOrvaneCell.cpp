#include "OVOrvaneCell.h"

#include "OVDeviceViewPalette.h"
#include "OVElidingLabel.h"
#include "OVStyleManager.h"
#include "OVView.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* field(QWidget* parent, const QString& accessibleName, const QColor& color, QLabel* label = nullptr) {
    label = label ? label : new QLabel(parent);
    label->setAccessibleName(accessibleName);
    OVOrvaneCell::setTextColor(label, color);
    return label;
}

} // namespace

OVOrvaneCell::OVOrvaneCell(QWidget* parent)
    : QWidget(parent) {
    const QColor detail = OVStyleManager::getOrvane_DeviceDetailColor();
    device = field(this, tr("Serial number"), OVStyleManager::getOrvane_DeviceNameColor());
    QFont bold = device->font();
    bold.setBold(true);
    device->setFont(bold);
    user = field(this, tr("Default user"), detail, new OVElidingLabel(this));
    battery = field(this, tr("Battery"), detail, new OVElidingLabel(this));
    batteryIcon = field(this, tr("Battery state"), detail);
    isConnected = field(this, tr("Connection"), detail, new OVElidingLabel(this));
    identify = new QPushButton(tr("IDENTIFY"), this);
    identify->setAccessibleName(tr("Identify"));
    syncStatus = new OVView(this);
    syncStatus->setFixedSize(26, 26);
    syncImage = new QLabel(syncStatus);
    syncImage->setGeometry(3, 3, 20, 20);
    syncInfoText = field(this, tr("Sync state"), detail, new OVElidingLabel(this));
    syncInfoCount = field(this, tr("Synced sessions"), detail);
    syncErrorImage = field(this, tr("Sync error"), detail);
    syncErrorImage->setPixmap(OVDeviceViewPalette::image(QStringLiteral("sync_error"), 18));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(2);
    grid->addWidget(device, 0, 0);
    grid->addWidget(user, 1, 0);
    auto* batteryRow = new QHBoxLayout;
    batteryRow->addWidget(batteryIcon);
    batteryRow->addWidget(battery);
    batteryRow->addStretch();
    grid->addLayout(batteryRow, 0, 1);
    grid->addWidget(isConnected, 1, 1);
    auto* syncRow = new QHBoxLayout;
    syncRow->addWidget(syncStatus);
    syncRow->addWidget(syncInfoCount);
    syncRow->addWidget(syncInfoText);
    syncRow->addWidget(syncErrorImage);
    syncRow->addStretch();
    grid->addLayout(syncRow, 0, 2, 2, 1);
    grid->addWidget(identify, 0, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 2);
}

void OVOrvaneCell::setTextColor(QLabel* label, const QColor& color) {
    // A style sheet keeps the colour when the row is placed in the list; the list makes its rows
    // again when the desktop's palette changes.
    label->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
}

void OVOrvaneCell::setState(OVOrvaneCellState state) {
    m_state = state;
    const QString image = OVOrvaneCellModel::syncImage(state);
    syncImage->setPixmap(OVDeviceViewPalette::image(image, 20));
    syncImage->setVisible(!image.isEmpty());
    syncStatus->setBackgroundColor(OVDeviceViewPalette::color(OVOrvaneCellModel::badgeColor(state)));
    syncStatus->setVisible(!image.isEmpty());
}
