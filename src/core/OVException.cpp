#include "OVException.h"

#include <QStringList>

#include <execinfo.h>

#include <cstdlib>

OVException::OVException(const QString& description)
    : std::runtime_error(description.toStdString())
    , m_callStack(currentCallStack()) {}

QString OVException::currentCallStack() {
    void* frames[64];
    const int count = backtrace(frames, 64);
    char** symbols = backtrace_symbols(frames, count);
    if (!symbols)
        return QString();
    QStringList lines;
    for (int i = 1; i < count; ++i)
        lines << QString::fromLocal8Bit(symbols[i]);
    std::free(symbols);
    return lines.join(QLatin1Char('\n'));
}

QString OVException::describe(std::exception_ptr error) {
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
    return QString();
}

QString OVException::callStackOf(std::exception_ptr error) {
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const OVException& e) {
        return e.callStack();
    } catch (...) {
    }
    return currentCallStack();
}
