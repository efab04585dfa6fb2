#include "OVCommandIdentify.h"

#include "OVException.h"

void OVCommandIdentify::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    sendRequest([&](std::shared_ptr<void> target, OrvaneCommandCallback callback) {
        return device->identifyAndNotify(std::move(target), std::move(callback));
    });
}
