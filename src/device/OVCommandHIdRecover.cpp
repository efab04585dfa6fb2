#include "OVCommandHIdRecover.h"

#include "OVException.h"
#include "OVHelper.h"
#include "OVLogger.h"

QString OVCommandHIdRecover::firmwareFilePath() const {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    return m_firmwareFilePath;
}

void OVCommandHIdRecover::setFirmwareFilePath(const QString& path) {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    m_firmwareFilePath = path;
}

QString OVCommandHIdRecover::getSerial() const {
    const std::shared_ptr<OrvaneUSBDevice> device = getHidDevice();
    return device ? OVHelper::getSerialForHID(device->locationID()) : QString();
}

void OVCommandHIdRecover::executeInternal() {
    const std::shared_ptr<OrvaneUSBDevice> device = getHidDevice();
    if (!device)
        throw OVException(QStringLiteral("no recovery-mode device"));
    const QString path = firmwareFilePath();
    sendFirmware(
        [&](std::shared_ptr<OrvaneFirmwareUpdateProtocol> target) {
            return device->flashFirmware(path, std::move(target));
        },
        true);
}

void OVCommandHIdRecover::firmwareProgress(double level) {
    OVLog("recover update on device %@ progress: %@", getSerial(), level);
    reportProgress(level);
}

void OVCommandHIdRecover::firmwareComplete(int status) {
    markCallbackReceived();
    if (status == 0) {
        OVLog("recover update on device %@ success!", getSerial());
        onCommandSucceed(std::any());
        return;
    }
    OVLog("recover update on device %@ failed with status : %i!", getSerial(), status);
    onCommandFailed();
}
