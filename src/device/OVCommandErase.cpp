#include "OVCommandErase.h"

#include "OVException.h"
#include "OVLogger.h"

#include <chrono>
#include <thread>

void OVCommandErase::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    OVLog("%@ command sent for device : %@", this, getSerial());
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->eraseSDCardAndNotify(std::move(target), std::move(callback));
    });
}

void OVCommandErase::callback(const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                              const std::any& response, const QVariantMap& userInfo) {
    markCallbackReceived();
    // The device answers before its flash has settled; a session list read at once would still
    // show what was erased.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    OVCommand::callback(device, status, response, userInfo);
}
