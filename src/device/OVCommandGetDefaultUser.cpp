#include "OVCommandGetDefaultUser.h"

#include "OVException.h"
#include "OVLogger.h"

void OVCommandGetDefaultUser::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->getDefaultUserAndNotify(std::move(target), std::move(callback));
    });
}

void OVCommandGetDefaultUser::callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                       const std::any& response, const QVariantMap&) {
    markCallbackReceived();
    const auto cdc = std::dynamic_pointer_cast<OrvaneCDCDevice>(device);
    const QString serial = cdc ? cdc->deviceInformations().serial : getSerial();
    if (status != 0) {
        OVLog("%@ command on device %@ failed! with status %i", this, serial, status);
        onCommandFailed();
        return;
    }
    const quint64 user = std::any_cast<quint32>(response);
    OVLog("%@ command on device %@ success!", this, serial);
    OVLog("Default User for device %@ = %@", serial, user);
    onCommandSucceed(user);
}
