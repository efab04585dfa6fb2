#include "OVHTTPStatus.h"

#include <QCoreApplication>

#include <map>

QString OVHTTPStatus::localizedStringForStatusCode(int statusCode) {
    static const std::map<int, const char*> phrases = {
        {100, QT_TRANSLATE_NOOP("OVHTTPStatus", "Continue")},
        {101, QT_TRANSLATE_NOOP("OVHTTPStatus", "Switching Protocols")},
        {200, QT_TRANSLATE_NOOP("OVHTTPStatus", "OK")},
        {201, QT_TRANSLATE_NOOP("OVHTTPStatus", "Created")},
        {202, QT_TRANSLATE_NOOP("OVHTTPStatus", "Accepted")},
        {203, QT_TRANSLATE_NOOP("OVHTTPStatus", "Non-Authoritative Information")},
        {204, QT_TRANSLATE_NOOP("OVHTTPStatus", "No Content")},
        {205, QT_TRANSLATE_NOOP("OVHTTPStatus", "Reset Content")},
        {206, QT_TRANSLATE_NOOP("OVHTTPStatus", "Partial Content")},
        {300, QT_TRANSLATE_NOOP("OVHTTPStatus", "Multiple Choices")},
        {301, QT_TRANSLATE_NOOP("OVHTTPStatus", "Moved Permanently")},
        {302, QT_TRANSLATE_NOOP("OVHTTPStatus", "Found")},
        {303, QT_TRANSLATE_NOOP("OVHTTPStatus", "See Other")},
        {304, QT_TRANSLATE_NOOP("OVHTTPStatus", "Not Modified")},
        {307, QT_TRANSLATE_NOOP("OVHTTPStatus", "Temporary Redirect")},
        {308, QT_TRANSLATE_NOOP("OVHTTPStatus", "Permanent Redirect")},
        {400, QT_TRANSLATE_NOOP("OVHTTPStatus", "Bad Request")},
        {401, QT_TRANSLATE_NOOP("OVHTTPStatus", "Unauthorized")},
        {402, QT_TRANSLATE_NOOP("OVHTTPStatus", "Payment Required")},
        {403, QT_TRANSLATE_NOOP("OVHTTPStatus", "Forbidden")},
        {404, QT_TRANSLATE_NOOP("OVHTTPStatus", "Not Found")},
        {405, QT_TRANSLATE_NOOP("OVHTTPStatus", "Method Not Allowed")},
        {406, QT_TRANSLATE_NOOP("OVHTTPStatus", "Not Acceptable")},
        {407, QT_TRANSLATE_NOOP("OVHTTPStatus", "Proxy Authentication Required")},
        {408, QT_TRANSLATE_NOOP("OVHTTPStatus", "Request Timeout")},
        {409, QT_TRANSLATE_NOOP("OVHTTPStatus", "Conflict")},
        {410, QT_TRANSLATE_NOOP("OVHTTPStatus", "Gone")},
        {411, QT_TRANSLATE_NOOP("OVHTTPStatus", "Length Required")},
        {412, QT_TRANSLATE_NOOP("OVHTTPStatus", "Precondition Failed")},
        {413, QT_TRANSLATE_NOOP("OVHTTPStatus", "Content Too Large")},
        {414, QT_TRANSLATE_NOOP("OVHTTPStatus", "URI Too Long")},
        {415, QT_TRANSLATE_NOOP("OVHTTPStatus", "Unsupported Media Type")},
        {416, QT_TRANSLATE_NOOP("OVHTTPStatus", "Range Not Satisfiable")},
        {417, QT_TRANSLATE_NOOP("OVHTTPStatus", "Expectation Failed")},
        {422, QT_TRANSLATE_NOOP("OVHTTPStatus", "Unprocessable Content")},
        {429, QT_TRANSLATE_NOOP("OVHTTPStatus", "Too Many Requests")},
        {500, QT_TRANSLATE_NOOP("OVHTTPStatus", "Internal Server Error")},
        {501, QT_TRANSLATE_NOOP("OVHTTPStatus", "Not Implemented")},
        {502, QT_TRANSLATE_NOOP("OVHTTPStatus", "Bad Gateway")},
        {503, QT_TRANSLATE_NOOP("OVHTTPStatus", "Service Unavailable")},
        {504, QT_TRANSLATE_NOOP("OVHTTPStatus", "Gateway Timeout")},
        {505, QT_TRANSLATE_NOOP("OVHTTPStatus", "HTTP Version Not Supported")},
    };
    const auto found = phrases.find(statusCode);
    if (found != phrases.end())
        return QCoreApplication::translate("OVHTTPStatus", found->second);
    const char* generic = QT_TRANSLATE_NOOP("OVHTTPStatus", "Server Error");
    if (statusCode < 200)
        generic = QT_TRANSLATE_NOOP("OVHTTPStatus", "Informational");
    else if (statusCode < 300)
        generic = QT_TRANSLATE_NOOP("OVHTTPStatus", "Success");
    else if (statusCode < 400)
        generic = QT_TRANSLATE_NOOP("OVHTTPStatus", "Redirection");
    else if (statusCode < 500)
        generic = QT_TRANSLATE_NOOP("OVHTTPStatus", "Client Error");
    return QCoreApplication::translate("OVHTTPStatus", generic);
}
