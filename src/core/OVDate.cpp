#include "OVDate.h"

#include "OVFormatArg.h"

#include <QTimeZone>

#include <chrono>
#include <cmath>

OVDate OVDate::fromDateTime(const QDateTime& dateTime) {
    return OVDate(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

OVDate OVDate::now() {
    using namespace std::chrono;
    const auto since = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return OVDate(static_cast<double>(since) / 1e6);
}

QDateTime OVDate::toDateTime() const {
    // Dates come from devices and files too: one beyond what a 64-bit millisecond count holds (or
    // not a number) has no calendar date, rather than an undefined conversion.
    constexpr double kLimitMs = 9.2e18;
    const double ms = std::floor(m_seconds * 1000.0);
    if (!(std::fabs(ms) < kLimitMs))
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), QTimeZone::utc());
}

QString OVDate::description() const {
    return OVFormatArg::describeDate(toDateTime());
}
