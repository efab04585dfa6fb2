#include "OVCommandCDC.h"

std::shared_ptr<OrvaneCDCDevice> OVCommandCDC::getCDCDevice() const {
    return std::dynamic_pointer_cast<OrvaneCDCDevice>(device());
}

QString OVCommandCDC::getSerial() const {
    const std::shared_ptr<OrvaneCDCDevice> cdc = getCDCDevice();
    return cdc ? cdc->deviceInformations().serial : QString();
}
