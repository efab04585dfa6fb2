#pragma once

#include "OVCommandCDC.h"

/** Makes the device show itself. */
class OVCommandIdentify : public OVCommandCDC {
public:
    void executeInternal() override;
};
