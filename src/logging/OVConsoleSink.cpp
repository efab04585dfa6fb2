#include "OVConsoleSink.h"

#include <cstdio>

void OVConsoleSink::write(const OVLogMessage& message) {
    const QByteArray line = message.text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}
