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

    bool operator==(const OVError& other) const {
        return m_domain == other.m_domain && m_code == other.m_code && m_description == other.m_description;
    }

    /** Sets *error when the caller asked for it; every fallible operation reports through this. */
    static void set(OVError* error, const OVError& value) {
        if (error)
            *error = value;
    }

private:
    QString m_domain;
    int m_code = 0;
    QString m_description;
};
