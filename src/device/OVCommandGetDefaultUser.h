#pragma once

#include "OVCommandCDC.h"

/** Reads the device's default user; succeeds with the id (quint64; 4294967295 means none). */
class OVCommandGetDefaultUser : public OVCommandCDC {
public:
    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;
};
