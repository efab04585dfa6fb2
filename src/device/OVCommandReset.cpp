#include "OVCommandReset.h"

#include "OVException.h"
#include "OVLogger.h"

void OVCommandReset::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    OVLog("%@ command sent for device : %@", this, getSerial());
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->resetToFactoryDefaultAndNotify(std::move(target), std::move(callback));
    });
}
