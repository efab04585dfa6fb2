#include "OVCommandFirmwareUpdate.h"

#include "OVException.h"
#include "OVLogger.h"

QString OVCommandFirmwareUpdate::firmwareFilePath() const {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    return m_firmwareFilePath;
}

void OVCommandFirmwareUpdate::setFirmwareFilePath(const QString& path) {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    m_firmwareFilePath = path;
}

void OVCommandFirmwareUpdate::executeInternal() {
    const std::shared_ptr<OrvaneCDCDevice> device = getCDCDevice();
    if (!device)
        throw OVException(QStringLiteral("no data-mode device"));
    const QString path = firmwareFilePath();
    sendFirmware([&](std::shared_ptr<OrvaneFirmwareUpdateProtocol> target) {
        return device->flashFirmware(path, std::move(target));
    });
}

void OVCommandFirmwareUpdate::firmwareProgress(double level) {
    OVLog("firmware update on device %@ progress: %@", getSerial(), level);
    reportProgress(level);
}

void OVCommandFirmwareUpdate::firmwareComplete(int status) {
    markCallbackReceived();
    if (status == 0) {
        OVLog("firmware update on device %@ success!", getSerial());
        onCommandSucceed(std::any());
        return;
    }
    OVLog("firmware update on device %@ failed with status : %i!", getSerial(), status);
    onCommandFailed();
}
