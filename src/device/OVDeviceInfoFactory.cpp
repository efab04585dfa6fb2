// The device records' factories need the device library, which the model layer lies below.
#include "OVDeviceInfo.h"
#include "OVHelper.h"
#include "OrvaneCDCDevice.h"

std::shared_ptr<OVDeviceInfo> OVDeviceInfo::buildDeviceInfoFromUSBDevice(const OrvaneCDCDevice& device) {
    const OrvaneDeviceInformations& informations = device.deviceInformations();
    auto info = std::make_shared<OVDeviceInfo>();
    info->setSerial(informations.serial);
    info->setName(nameForSerial(informations.serial));
    info->setModelNumber(informations.model);
    info->setHardwareRevision(informations.hwRevision);
    info->setFirmwareRevision(informations.fwRevision);
    info->setSessions({});
    info->setLocationId(static_cast<int>(device.locationID()));
    return info;
}

std::shared_ptr<OVDeviceInfo> OVDeviceInfo::buildDeviceInfoFromHIDDevice(const OrvaneUSBDevice& device) {
    auto info = std::make_shared<OVDeviceInfo>();
    const QString serial = OVHelper::getSerialForHID(device.locationID());
    info->setSerial(serial);
    info->setName(serial);
    info->setIsConnected(false);
    info->setSessions({});
    info->setLocationId(static_cast<int>(device.locationID()));
    return info;
}
