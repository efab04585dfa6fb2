#pragma once

#include "OVCommandDelegate.h"
#include "OVCommandSetClock.h"
#include "OVDate.h"
#include "OVDeviceCommandNotifyer.h"

#include <QString>

#include <memory>

class OrvaneCDCDevice;
class OrvaneUSBDevice;

/**
 * Where maintenance and status commands are issued: each operation makes its command with its
 * retry policy, executes it on the caller's thread and lets it go; the command's report comes back
 * here (the executor is every command's delegate, so it must live in a std::shared_ptr) and is
 * handed to the subscribers as a typed result. Keeps no per-device state.
 */
class OVDeviceCommandExecutor : public OVCommandDelegate,
                                public std::enable_shared_from_this<OVDeviceCommandExecutor> {
public:
    /** networkDate answers the date the clock command sets. */
    explicit OVDeviceCommandExecutor(OVCommandSetClock::NetworkDateSource networkDate);

    OVDeviceCommandNotifyer& commandNotifyer() { return *m_commandNotifyer; }

    void getBatteryCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device);
    void setClockCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device);
    void identifyCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device);
    void eraseCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device);
    void resetCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device);
    void updateCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device,
                                const QString& firmwareFilePath);
    void recoverDevice(const std::shared_ptr<OrvaneUSBDevice>& device, const QString& firmwareFilePath);
    void getSessionList(const std::shared_ptr<OrvaneCDCDevice>& device, const OVDate& fromDate,
                        const OVDate& toDate);
    void assignDefaultUser(const std::shared_ptr<OrvaneCDCDevice>& device, quint64 userId);
    void getDefaultUser(const std::shared_ptr<OrvaneCDCDevice>& device);

    void addDeviceCommandDelegate(const std::shared_ptr<OVDeviceCommandDelegate>& delegate);
    void removeDeviceCommandDelegate(const std::shared_ptr<OVDeviceCommandDelegate>& delegate);

    /**
     * Turns a report into the subscribers' call. Reports of a device that is not in data mode are
     * recoveries. Throws OVException "Unknown Command %@" for a command it did not issue.
     */
    void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                           const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                           const std::any& result) override;

private:
    void run(const std::shared_ptr<OVCommand>& command, const std::shared_ptr<OrvaneUSBDevice>& device,
             int retries);

    const std::unique_ptr<OVDeviceCommandNotifyer> m_commandNotifyer;
    const OVCommandSetClock::NetworkDateSource m_networkDate;
};
