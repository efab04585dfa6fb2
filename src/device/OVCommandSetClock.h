#pragma once

#include "OVCommandCDC.h"

/**
 * Sets the device clock from the network date (OVHelper::getNetworkDateAsync), never from the
 * computer's clock: without a network date nothing is sent and the command fails. The request
 * is sent on the network answer's thread.
 */
class OVCommandSetClock : public OVCommandCDC {
public:
    void executeInternal() override;

private:
    void sendClock(const OVDate& date);
};
