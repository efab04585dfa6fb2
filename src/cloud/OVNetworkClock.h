#pragma once

#include "OVDate.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

/**
 * Network time: the "Date" header of a HEAD request to the network-time URL. The device clock and
 * the request signatures are set from it, never from the computer's clock. It lives beside the web
 * client rather than with the other class-level helpers so that nothing below the web layer needs
 * Qt Network; the device commands receive getNetworkDateAsync from the registry.
 */
class OVNetworkClock {
public:
    using NetworkAccessFactory = std::function<std::unique_ptr<QNetworkAccessManager>()>;

    /**
     * Makes the network access of every query from now on (none: a plain one each), so that a quit
     * can end a query under way; a factory that gives none fails the query at once.
     */
    static void setNetworkAccessFactory(NetworkAccessFactory factory);
    /** Blocks the calling thread until the answer or the request's timeout; none on failure. */
    static std::optional<OVDate> getNetworkDate();
    /** The same, answered on a background thread; the caller returns at once. */
    static void getNetworkDateAsync(std::function<void(std::optional<OVDate>)> completion);
    /** Parses an HTTP "Date" header text ("Sun, 06 Nov 1994 08:49:37 GMT"). */
    static std::optional<OVDate> parseHttpDate(const QString& text);
};
