#include "OVHTTPStatus.h"

#include <QCoreApplication>

#include <map>

QString OVHTTPStatus::localizedStringForStatusCode(int statusCode) {
    static const std::map<int, const char*> phrases = {
        {100, "Continue"},
        {101, "Switching Protocols"},
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {203, "Non-Authoritative Information"},
        {204, "No Content"},
        {205, "Reset Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {422, "Unprocessable Content"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    const auto found = phrases.find(statusCode);
    if (found != phrases.end())
        return QCoreApplication::translate("OVHTTPStatus", found->second);
    const char* generic = "Server Error";
    if (statusCode < 200)
        generic = "Informational";
    else if (statusCode < 300)
        generic = "Success";
    else if (statusCode < 400)
        generic = "Redirection";
    else if (statusCode < 500)
        generic = "Client Error";
    return QCoreApplication::translate("OVHTTPStatus", generic);
}
