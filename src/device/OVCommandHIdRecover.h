#pragma once

#include "OVCommand.h"

#include <QString>

/**
 * Writes a firmware image to a device in recovery mode; reports progress (status 3) then the
 * outcome. The library's immediate answer is ignored: a write that never starts ends as a lost
 * answer when the library lets the command go.
 */
class OVCommandHIdRecover : public OVCommand {
public:
    QString firmwareFilePath() const;
    void setFirmwareFilePath(const QString& path);
    std::shared_ptr<OrvaneUSBDevice> getHidDevice() const { return device(); }
    /** The recovery serial: the USB location written "0x%X". */
    QString getSerial() const override;

    void executeInternal() override;

protected:
    void firmwareProgress(double level) override;
    void firmwareComplete(int status) override;

private:
    mutable std::mutex m_pathMutex;
    QString m_firmwareFilePath;
};
