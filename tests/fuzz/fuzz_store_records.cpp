// The store's files as read back from disk: a session record ("session.dat", a binary property
// list) and a page record, either of which a crash or a full disk may have left damaged.
#include "OVPropertyList.h"
#include "OVSessionFileRepository.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    OVError error;
    switch (data[0] % 3) {
    case 0:
        (void)OVSessionFileRepository::convertToSession(body, &error);
        break;
    case 1:
        (void)OVSessionFileRepository::convertToPage(body, &error);
        break;
    default:
        (void)OVPropertyList::fromBinary(body, &error);
        break;
    }
    return 0;
}
