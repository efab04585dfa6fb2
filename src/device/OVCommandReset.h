#pragma once

#include "OVCommandCDC.h"

/** Restores the device's factory state; the device restarts afterwards. */
class OVCommandReset : public OVCommandCDC {
public:
    void executeInternal() override;
};
