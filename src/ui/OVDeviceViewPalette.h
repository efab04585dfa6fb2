#pragma once

#include "OVDeviceViewColor.h"

#include <QColor>
#include <QPixmap>
#include <QString>

/** The style manager's colour for each meaning the device views paint with, and their images. */
class OVDeviceViewPalette {
public:
    OVDeviceViewPalette() = delete;
    /** An invalid colour for Clear: an OVView given it paints nothing. */
    static QColor color(OVDeviceViewColor color);
    /** An image of the resources by its name ("sync_done"), drawn at size × size; null for "". */
    static QPixmap image(const QString& name, int size);
};
