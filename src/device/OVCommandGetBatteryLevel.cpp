#include "OVCommandGetBatteryLevel.h"

#include "OVException.h"
#include "OVLogger.h"

void OVCommandGetBatteryLevel::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->getBatteryInformationsAndNotify(std::move(target), std::move(callback));
    });
}

void OVCommandGetBatteryLevel::callback(const std::shared_ptr<OrvaneUSBDevice>&, int status,
                                        const std::any& response, const QVariantMap&) {
    markCallbackReceived();
    if (status != 0) {
        OVLog("Fail getting battery level for device: %@ with status %i", getSerial(), status);
        onCommandFailed();
        return;
    }
    const int level = std::any_cast<OrvaneBatteryInformation>(response).batteryLevel;
    OVLog("Battery Level for device %@ = %@", getSerial(), level);
    onCommandSucceed(level);
}
