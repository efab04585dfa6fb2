#include "OVDeviceViewPalette.h"

#include "OVStyleManager.h"

#include <QIcon>

QColor OVDeviceViewPalette::color(OVDeviceViewColor color) {
    switch (color) {
    case OVDeviceViewColor::Brand:
        return OVStyleManager::getOrvaneColor();
    case OVDeviceViewColor::Connected:
        return OVStyleManager::getOrvane_SessionSyncCompletedColor();
    case OVDeviceViewColor::Disconnected:
        return OVStyleManager::getOrvaneList_DisconnectedColor();
    case OVDeviceViewColor::SyncFailed:
        return OVStyleManager::getOrvane_SessionSyncFailedColor();
    case OVDeviceViewColor::SessionGray:
        return OVStyleManager::getOrvane_SessionGray();
    case OVDeviceViewColor::GoodBattery:
        return OVStyleManager::getGoodBatteryColor();
    case OVDeviceViewColor::LowBattery:
        return OVStyleManager::getLowBatteryColor();
    case OVDeviceViewColor::Clear:
        break;
    }
    return QColor();
}

QPixmap OVDeviceViewPalette::image(const QString& name, int size) {
    if (name.isEmpty())
        return QPixmap();
    return QIcon(QStringLiteral(":/images/%1.svg").arg(name)).pixmap(size, size);
}
