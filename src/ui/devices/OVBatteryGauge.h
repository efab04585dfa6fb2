#pragma once

#include "OVDeviceViewColor.h"
#include <QCoreApplication>

#include <QString>

/**
 * The battery panel of the device detail: percentage text, bar width and colour (the charge text
 * is the device list's, OVOrvaneCellModel::batteryText).
 * The level is the device's 32-bit value; -1 (all bits set) means unknown. Pure, any thread.
 */
class OVBatteryGauge {
    Q_DECLARE_TR_FUNCTIONS(OVBatteryGauge)

public:
    /** The bar's width at 100 %. */
    static constexpr int kFullWidth = 21;

    /** "42%", or "N/A" when unknown. */
    static QString levelText(int level);
    /** level × 21 / 100 in whole points; 0 when unknown. */
    static int barWidth(int level);
    /** Low at 15 % and below, and when unknown. */
    static OVDeviceViewColor barColor(int level);
};
