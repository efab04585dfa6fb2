#pragma once

#include "OVError.h"

#include <QByteArray>

/**
 * A session's data file held open for appending while the pages of one pass arrive. The store
 * hands one out; a test's store can hand out one that fails as a full disk or a torn write would.
 * Used by one owner at a time.
 */
class OVSessionDataAppender {
public:
    virtual ~OVSessionDataAppender() = default;
    /** Appends bytes at the end of the data, whatever was appended meanwhile; false with *error. */
    virtual bool append(const QByteArray& bytes, OVError* error) = 0;
    /** Ends the appending; a deferred write error comes back here. */
    virtual bool close(OVError* error) = 0;
};
