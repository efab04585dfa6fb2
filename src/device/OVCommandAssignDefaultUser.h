#pragma once

#include "OVCommandCDC.h"

#include <atomic>

/** Sets the device's default user (sent as 32 bits); succeeds with the user id (quint64). */
class OVCommandAssignDefaultUser : public OVCommandCDC {
public:
    quint64 userId() const { return m_userId.load(); }
    void setUserId(quint64 userId) { m_userId.store(userId); }

    void executeInternal() override;
    void callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status, const std::any& response,
                  const QVariantMap& userInfo) override;

private:
    std::atomic<quint64> m_userId{0};
};
