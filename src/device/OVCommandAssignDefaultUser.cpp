#include "OVCommandAssignDefaultUser.h"

#include "OVException.h"
#include "OVLogger.h"

void OVCommandAssignDefaultUser::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    const auto user = static_cast<quint32>(userId());
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->setDefaultUser(user, std::move(target), std::move(callback));
    });
}

void OVCommandAssignDefaultUser::callback(const std::shared_ptr<OrvaneUSBDevice>&, int status,
                                          const std::any&, const QVariantMap&) {
    markCallbackReceived();
    if (status != 0) {
        OVLog("%@ command on device %@ failed! with status %i", this, getSerial(), status);
        onCommandFailed();
        return;
    }
    OVLog("%@ command on device %@ success!", this, getSerial());
    onCommandSucceed(userId());
}
