#include "OVCommandHIdRecover.h"

#include "OVException.h"
#include "OVHelper.h"

QString OVCommandHIdRecover::getSerial() const {
    const std::shared_ptr<OrvaneUSBDevice> device = getHidDevice();
    return device ? OVHelper::getSerialForHID(device->locationID()) : QString();
}

void OVCommandHIdRecover::executeInternal() {
    const std::shared_ptr<OrvaneUSBDevice> device = getHidDevice();
    if (!device)
        throw OVException(QStringLiteral("no recovery-mode device"));
    writeFirmware(device, true);
}

QString OVCommandHIdRecover::writeName() const {
    return QStringLiteral("recover update");
}
