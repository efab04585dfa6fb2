#pragma once

#include <QString>

#include <exception>
#include <stdexcept>

/**
 * The service's exception: a description and the call stack where it was raised. Thrown where the
 * system raises ("Unknown Command %@", a malformed answer), caught only at the boundaries that log
 * "…Exception: %@. Stack:%@" lines.
 */
class OVException : public std::runtime_error {
public:
    explicit OVException(const QString& description);

    QString description() const { return QString::fromUtf8(what()); }
    const QString& callStack() const { return m_callStack; }

    /** The call stack of the current thread, one frame a line. */
    static QString currentCallStack();
    /** Description and stack of whatever is in flight (call inside a catch block). */
    static QString describe(std::exception_ptr error);
    static QString callStackOf(std::exception_ptr error);

private:
    QString m_callStack;
};
