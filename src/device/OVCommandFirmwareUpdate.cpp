#include "OVCommandFirmwareUpdate.h"

#include "OVException.h"

void OVCommandFirmwareUpdate::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    writeFirmware(device, false);
}

QString OVCommandFirmwareUpdate::writeName() const {
    return QStringLiteral("firmware update");
}
