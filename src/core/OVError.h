#pragma once

#include <QString>

/** An error as a value: the domain ("com.pellwick.service", …), an integer code and a user-facing
 * description. */
class OVError {
public:
    OVError() = default;
    OVError(QString domain, int code, QString description)
        : m_domain(std::move(domain))
        , m_code(code)
        , m_description(std::move(description)) {}

    const QString& domain() const { return m_domain; }
    int code() const { return m_code; }
    const QString& description() const { return m_description; }
    /** Whether an error was reported: a domain or a code; an empty OVError means success. */
    bool isSet() const { return m_code != 0 || !m_domain.isEmpty(); }
    /** "Error Domain=%@ Code=%i \"%@\"", the form log lines print an error in. */
    QString fullDescription() const;

    /**
     * The web API refused the credentials: code 2 of the web client's domain, and only that. Transport
     * failures keep Qt's own codes, where 2 means "remote host closed"; a bare code would sign the user
     * out over a dropped connection.
     */
    bool isUnauthorized() const { return m_code == kUnauthorizedCode && m_domain == serviceDomain(); }
    /** Code 2 "Unauthorized" of the web client's domain: the one way to make the error above. */
    static OVError unauthorized();
    /** "com.pellwick.service", the web client's domain; a function so that any static may use it. */
    static const QString& serviceDomain();
    /** "QNetworkReply": transport failures, with Qt's error code. */
    static const QString& networkDomain();

    bool operator==(const OVError& other) const {
        return m_domain == other.m_domain && m_code == other.m_code && m_description == other.m_description;
    }

    /** Sets *error when the caller asked for it; every fallible operation reports through this. */
    static void set(OVError* error, const OVError& value) {
        if (error)
            *error = value;
    }

private:
    static constexpr int kUnauthorizedCode = 2;

    QString m_domain;
    int m_code = 0;
    QString m_description;
};
