#pragma once

#include "OVLogSink.h"

/** Standard error: the bare message text, one line each. */
class OVConsoleSink : public OVLogSink {
public:
    void write(const OVLogMessage& message) override;
};
