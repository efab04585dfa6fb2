#include "OVDeviceCommandExecutor.h"

#include "OVCommandAssignDefaultUser.h"
#include "OVCommandErase.h"
#include "OVCommandFirmwareUpdate.h"
#include "OVCommandGetBatteryLevel.h"
#include "OVCommandGetDefaultUser.h"
#include "OVCommandGetSessionList.h"
#include "OVCommandHIdRecover.h"
#include "OVCommandIdentify.h"
#include "OVCommandReset.h"
#include "OVCommandSetClock.h"
#include "OVDeviceInfo.h"
#include "OVException.h"
#include "OVLogFormat.h"
#include "OVLogger.h"
#include "OrvaneCDCDevice.h"

namespace {
constexpr int kNoRetry = 0;
constexpr int kRetries = 5;
constexpr quint64 kNoUser = ~quint64(0);

/** A completion's success, or nothing for a status that is neither success nor failure. */
std::optional<bool> outcome(int status) {
    if (status == OVCommandStatusSuccess)
        return true;
    if (status == OVCommandStatusFailed)
        return false;
    return std::nullopt;
}
} // namespace

OVDeviceCommandExecutor::OVDeviceCommandExecutor(OVCommandSetClock::NetworkDateSource networkDate)
    : m_commandNotifyer(std::make_unique<OVDeviceCommandNotifyer>())
    , m_networkDate(std::move(networkDate)) {}

void OVDeviceCommandExecutor::run(const std::shared_ptr<OVCommand>& command,
                                  const std::shared_ptr<OrvaneUSBDevice>& device, int retries) {
    command->setCommandDelegate(weak_from_this());
    command->setDevice(device);
    command->setAllowRetry(retries > 0);
    command->setRetryNumber(retries);
    command->execute();
}

void OVDeviceCommandExecutor::getBatteryCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandGetBatteryLevel>(), device, kNoRetry);
}

void OVDeviceCommandExecutor::setClockCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandSetClock>(m_networkDate), device, kNoRetry);
}

void OVDeviceCommandExecutor::identifyCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandIdentify>(), device, kNoRetry);
}

void OVDeviceCommandExecutor::eraseCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandErase>(), device, kRetries);
}

void OVDeviceCommandExecutor::resetCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandReset>(), device, kRetries);
}

void OVDeviceCommandExecutor::updateCommandForDevice(const std::shared_ptr<OrvaneCDCDevice>& device,
                                                     const QString& firmwareFilePath) {
    auto command = std::make_shared<OVCommandFirmwareUpdate>();
    command->setFirmwareFilePath(firmwareFilePath);
    run(command, device, kNoRetry);
}

void OVDeviceCommandExecutor::recoverDevice(const std::shared_ptr<OrvaneUSBDevice>& device,
                                            const QString& firmwareFilePath) {
    auto command = std::make_shared<OVCommandHIdRecover>();
    command->setFirmwareFilePath(firmwareFilePath);
    run(command, device, kNoRetry);
}

void OVDeviceCommandExecutor::getSessionList(const std::shared_ptr<OrvaneCDCDevice>& device,
                                             const OVDate& fromDate, const OVDate& toDate) {
    auto command = std::make_shared<OVCommandGetSessionList>();
    command->setFromDate(fromDate);
    command->setToDate(toDate);
    run(command, device, kRetries);
}

void OVDeviceCommandExecutor::assignDefaultUser(const std::shared_ptr<OrvaneCDCDevice>& device,
                                                quint64 userId) {
    auto command = std::make_shared<OVCommandAssignDefaultUser>();
    command->setUserId(userId);
    run(command, device, kRetries);
}

void OVDeviceCommandExecutor::getDefaultUser(const std::shared_ptr<OrvaneCDCDevice>& device) {
    run(std::make_shared<OVCommandGetDefaultUser>(), device, kRetries);
}

void OVDeviceCommandExecutor::addDeviceCommandDelegate(
    const std::shared_ptr<OVDeviceCommandDelegate>& delegate) {
    m_commandNotifyer->addDeviceCommandDelegate(delegate);
}

void OVDeviceCommandExecutor::removeDeviceCommandDelegate(
    const std::shared_ptr<OVDeviceCommandDelegate>& delegate) {
    m_commandNotifyer->removeDeviceCommandDelegate(delegate);
}

void OVDeviceCommandExecutor::onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                                const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                                const std::any& result) {
    OVDeviceCommandNotifyer& notifyer = *m_commandNotifyer;
    if (!device) {
        // A command sent without a device (it failed to send): no subscriber can place its report.
        OVLog("%@ command ended without a device, report %i dropped", command, status);
        return;
    }
    const auto cdc = std::dynamic_pointer_cast<OrvaneCDCDevice>(device);
    if (!cdc) {
        // Only a recovery talks to a device that is not in data mode.
        if (status == OVCommandStatusProgress)
            notifyer.notifyRecoverDeviceInProgress(device, std::any_cast<double>(result));
        else if (const std::optional<bool> success = outcome(status))
            notifyer.notifyRecoverDeviceCompleted(device, *success);
        return;
    }
    const std::shared_ptr<OVDeviceInfo> info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*cdc);
    OVCommand* c = command.get();
    const std::optional<bool> success = outcome(status);
    if (dynamic_cast<OVCommandGetBatteryLevel*>(c)) {
        if (!success)
            return;
        // A failed query shows -1, never a level read earlier.
        const int level = *success ? std::any_cast<int>(result) : -1;
        info->setBatteryLevel(level);
        notifyer.notifyGotBatteryLevelForDevice(info, level);
    } else if (dynamic_cast<OVCommandSetClock*>(c)) {
        if (success)
            notifyer.notifySetClockForDeviceCompleted(info, *success);
    } else if (dynamic_cast<OVCommandIdentify*>(c)) {
        if (success)
            notifyer.notifyIdentifyDeviceCompleted(info, *success);
    } else if (dynamic_cast<OVCommandErase*>(c)) {
        if (success)
            notifyer.notifyEraseDeviceCompleted(info, *success);
    } else if (dynamic_cast<OVCommandReset*>(c)) {
        if (success)
            notifyer.notifyResetDeviceCompleted(info, *success);
    } else if (dynamic_cast<OVCommandFirmwareUpdate*>(c)) {
        if (status == OVCommandStatusProgress)
            notifyer.notifyUpdateDeviceInProgress(info, std::any_cast<double>(result));
        else if (success)
            notifyer.notifyUpdateDeviceCompleted(info, *success);
    } else if (dynamic_cast<OVCommandGetSessionList*>(c)) {
        if (success && *success)
            notifyer.notifyGetSessionListForDeviceCompleted(
                info, true, std::any_cast<QList<std::shared_ptr<OVSession>>>(result));
        else if (success)
            notifyer.notifyGetSessionListForDeviceCompleted(info, false, std::nullopt);
    } else if (dynamic_cast<OVCommandAssignDefaultUser*>(c)) {
        if (success)
            notifyer.notifyAssignDefaultUser(info, *success,
                                             *success ? std::any_cast<quint64>(result) : kNoUser);
    } else if (dynamic_cast<OVCommandGetDefaultUser*>(c)) {
        if (success)
            notifyer.notifyGetDefaultUser(info, *success,
                                          *success ? std::any_cast<quint64>(result) : kNoUser);
    } else {
        throw OVException(OVLogFormat::format("Unknown Command %@", command));
    }
}
