#pragma once

#include "OVFormatArg.h"

#include <QString>

#include <initializer_list>

/**
 * printf-style formatting with the object placeholder "%@": the log lines and user texts of the
 * service are written with the same format strings everywhere, so they read byte for byte alike.
 * Supports %@ %s %d %i %u %ld %lu %lld %llu %x %X %f %g %e %c %% with flags, width and precision.
 */
class OVLogFormat {
public:
    static QString format(const char* format, std::initializer_list<OVFormatArg> args);

    template <typename... Args> static QString format(const char* fmt, const Args&... args) {
        return format(fmt, {OVFormatArg(args)...});
    }
};
