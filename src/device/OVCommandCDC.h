#pragma once

#include "OVCommand.h"
#include "OrvaneCDCDevice.h"

/** A command to a device in data mode. */
class OVCommandCDC : public OVCommand {
public:
    /** The device as a data-mode device; null when the device is not one. */
    std::shared_ptr<OrvaneCDCDevice> getCDCDevice() const;
    /** The device's serial. */
    QString getSerial() const override;

protected:
    OVCommandCDC() = default;
};
