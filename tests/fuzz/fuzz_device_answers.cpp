// Everything the device library decodes from the emulator daemon: frames' bodies, answers, the
// device list, battery and user payloads, the session list with its information blocks.
#include "OrvaneSDSessionInformation.h"
#include "OrvaneWire.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    switch (data[0] % 5) {
    case 0:
        if (const auto answer = OrvaneWire::decodeAnswer(body))
            (void)OrvaneSDSessionInformation::decodeList(answer->payload);
        break;
    case 1:
        (void)OrvaneWire::decodeDevices(body);
        break;
    case 2:
        (void)OrvaneWire::decodeBattery(body);
        (void)OrvaneWire::decodeUserId(body);
        break;
    case 3:
        (void)OrvaneWire::decodeRequest(body);
        break;
    default:
        if (const auto sessions = OrvaneSDSessionInformation::decodeList(body))
            for (const auto& session : *sessions)
                (void)session->description();
        break;
    }
    return 0;
}
