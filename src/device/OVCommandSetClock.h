#pragma once

#include "OVCommandCDC.h"
#include "OVDate.h"

#include <functional>
#include <optional>

/**
 * Sets the device clock from the network date, never from the computer's clock: without a network
 * date nothing is sent and the command fails. The request is sent on the network answer's thread.
 */
class OVCommandSetClock : public OVCommandCDC {
public:
    /** Asks for the network date and answers it (or none) later, on any thread. */
    using NetworkDateSource = std::function<void(std::function<void(std::optional<OVDate>)>)>;

    explicit OVCommandSetClock(NetworkDateSource networkDate);

    void executeInternal() override;

private:
    void sendClock(const OVDate& date);

    const NetworkDateSource m_networkDate;
};
