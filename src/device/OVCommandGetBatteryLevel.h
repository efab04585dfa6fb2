#pragma once

#include "OVCommandCDC.h"

/** Reads the battery level; succeeds with the level (int, percent). */
class OVCommandGetBatteryLevel : public OVCommandCDC {
public:
    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;
};
