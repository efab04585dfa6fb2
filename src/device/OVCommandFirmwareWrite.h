#pragma once

#include "OVCommand.h"
#include "OVLogger.h"

#include <QString>

#include <mutex>

/**
 * What a firmware update (data mode) and a recovery (recovery mode) have in common: the image file
 * to write, the write itself, and turning the library's progress and completion into reports.
 * Base is OVCommandCDC or OVCommand; the subclass names the write in its log lines.
 */
template <typename Base> class OVCommandFirmwareWrite : public Base {
public:
    QString firmwareFilePath() const {
        std::lock_guard<std::mutex> lock(m_pathMutex);
        return m_firmwareFilePath;
    }
    void setFirmwareFilePath(const QString& path) {
        std::lock_guard<std::mutex> lock(m_pathMutex);
        m_firmwareFilePath = path;
    }

protected:
    /** "firmware update" or "recover update": how log lines name the write. */
    virtual QString writeName() const = 0;

    void writeFirmware(const std::shared_ptr<OrvaneUSBDevice>& device, bool ignoreRefusal) {
        const QString path = firmwareFilePath();
        this->sendFirmware(
            [&](std::shared_ptr<OrvaneFirmwareUpdateProtocol> target) {
                return device->flashFirmware(path, std::move(target));
            },
            ignoreRefusal);
    }

    void firmwareProgress(double level) override {
        OVLog("%@ on device %@ progress: %@", writeName(), this->getSerial(), level);
        this->reportProgress(level);
    }

    void firmwareComplete(int status) override {
        this->markCallbackReceived();
        if (status == 0) {
            OVLog("%@ on device %@ success!", writeName(), this->getSerial());
            this->onCommandSucceed(std::any());
            return;
        }
        OVLog("%@ on device %@ failed with status : %i!", writeName(), this->getSerial(), status);
        this->onCommandFailed();
    }

private:
    mutable std::mutex m_pathMutex;
    QString m_firmwareFilePath;
};
