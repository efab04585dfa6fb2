#pragma once

#include "OVCommandCDC.h"
#include "OVCommandFirmwareWrite.h"

/** Writes a firmware image to a data-mode device; reports progress (status 3) then the outcome. */
class OVCommandFirmwareUpdate : public OVCommandFirmwareWrite<OVCommandCDC> {
public:
    void executeInternal() override;

protected:
    QString writeName() const override;
};
