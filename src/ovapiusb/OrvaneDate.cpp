#include "OrvaneDate.h"

#include <cmath>

quint64 orvaneTime(const OVDate& date) {
    const double units = std::floor(date.secondsSince1970() * 256.0);
    if (!(units > 0.0))
        return 0;
    // Beyond 2^64 units (far past any device's life) the value saturates rather than wrapping.
    if (units >= 18446744073709551615.0)
        return ~quint64(0);
    return static_cast<quint64>(units);
}

OVDate dateWithOrvaneTime(quint64 orvaneTime) {
    return OVDate::fromSecondsSince1970(static_cast<double>(orvaneTime) / 256.0);
}
