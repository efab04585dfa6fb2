#include "OVBatteryGauge.h"

namespace {

constexpr int kUnknownLevel = -1;
constexpr int kLowLevel = 15;

} // namespace

QString OVBatteryGauge::levelText(int level) {
    return level == kUnknownLevel ? tr("N/A") : QStringLiteral("%1%").arg(level);
}

int OVBatteryGauge::barWidth(int level) {
    // Integer arithmetic truncates toward zero, so the unknown -1 draws no bar at all.
    return level * kFullWidth / 100;
}

OVDeviceViewColor OVBatteryGauge::barColor(int level) {
    return level > kLowLevel ? OVDeviceViewColor::GoodBattery : OVDeviceViewColor::LowBattery;
}
