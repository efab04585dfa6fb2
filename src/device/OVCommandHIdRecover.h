#pragma once

#include "OVCommand.h"
#include "OVCommandFirmwareWrite.h"

/**
 * Writes a firmware image to a device in recovery mode; reports progress (status 3) then the
 * outcome. The library's immediate answer is ignored: a write that never starts ends as a lost
 * answer when the library lets the command go.
 */
class OVCommandHIdRecover : public OVCommandFirmwareWrite<OVCommand> {
public:
    std::shared_ptr<OrvaneUSBDevice> getHidDevice() const { return device(); }
    /** The recovery serial: the USB location written "0x%X". */
    QString getSerial() const override;

    void executeInternal() override;

protected:
    QString writeName() const override;
};
