#pragma once

#include <QString>

/** Texts of HTTP status codes. */
class OVHTTPStatus {
public:
    /** The standard reason phrase of the code ("Not Found"); a generic phrase of its class otherwise. */
    static QString localizedStringForStatusCode(int statusCode);
};
