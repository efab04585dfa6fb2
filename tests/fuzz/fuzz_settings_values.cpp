// What the service reads back from its settings and the update feed: the appcast (its items and
// their versions) and the stored, encrypted credential.
#include "OVCipher.h"
#include "SUAppcast.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (data[0] % 2 == 0) {
        OVError error;
        if (const auto items = SUAppcast::parse(body, &error))
            (void)SUAppcast::bestUpdate(*items, QStringLiteral("1.0.0"));
    } else {
        (void)OVCipher::decryptString(body, QStringLiteral("fuzz-key"));
    }
    return 0;
}
