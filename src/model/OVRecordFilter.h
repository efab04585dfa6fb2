#pragma once

#include "OVDate.h"

#include <QString>

#include <optional>

/** The query of the record resource; every field optional, absent fields are left out of the query. */
class OVRecordFilter {
public:
    /** The device serial. */
    std::optional<QString> exact_device;
    std::optional<OVDate> exact_startTimestamp;
    std::optional<OVDate> greatherThanOrEqual_startTimestamp;
    std::optional<OVDate> lessThanOrEqual_startTimestamp;
    std::optional<OVDate> exact_endTimestamp;
    std::optional<qint64> exact_npages;
    /** Sent as given: the session syncher puts the numeric user id here. */
    std::optional<QString> exact_userUri;
    std::optional<qint64> limit;
    std::optional<qint64> offset;
};
