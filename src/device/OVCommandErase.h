#pragma once

#include "OVCommandCDC.h"

/** Erases the device's recordings. Its answer is held 2 seconds before it is reported. */
class OVCommandErase : public OVCommandCDC {
public:
    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;
};
