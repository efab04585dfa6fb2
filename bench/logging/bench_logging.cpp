// Logging cost on the calling thread: lines per second with the file sink on, against the same
// loop with logging switched off, in one run. Delivery to disk happens on the logger's thread; the
// flush afterwards is timed separately, so the ratio shows what a device transfer pays per line.
#include "OVFileLogger.h"
#include "OVLogger.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double linesPerSecond(int lines, qint64 nanoseconds) {
    return lines / (static_cast<double>(nanoseconds) / 1e9);
}

qint64 timeLoop(int lines) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i)
        OVLog("(%@)-Storing page %@ of session [%@] (%i%%)", QStringLiteral("OVR00000000123"), 4000 + i,
              QStringLiteral("SD:2016-05-05 10:00:00 +0000"), i % 100);
    return timer.nsecsElapsed();
}

} // namespace

int main() {
    constexpr int kLines = 200000;
    QTemporaryDir dir;
    OVLogger& logger = OVLogger::sharedInstance();
    auto manager = std::make_shared<OVFileLoggerManager>(dir.path());
    manager->setMaximumNumberOfLogFiles(10);
    logger.addSink(std::make_shared<OVFileLogger>(manager));

    logger.turnLogOff();
    timeLoop(1000);
    const qint64 off = timeLoop(kLines);

    logger.turnLogOn();
    timeLoop(1000);
    logger.flush();
    const qint64 on = timeLoop(kLines);
    QElapsedTimer drain;
    drain.start();
    logger.flush();
    const qint64 drained = drain.nsecsElapsed();

    std::printf("logging off: %.0f lines/s on the calling thread\n", linesPerSecond(kLines, off));
    std::printf("file sink on: %.0f lines/s on the calling thread (%.2f us/line)\n",
                linesPerSecond(kLines, on), static_cast<double>(on) / kLines / 1000.0);
    std::printf("delivery still pending after the loop: %.1f ms; end to end %.0f lines/s\n", drained / 1e6,
                linesPerSecond(kLines, on + drained));
    std::printf("ratio off/on on the calling thread: %.1fx\n",
                static_cast<double>(on) / static_cast<double>(off));
    return 0;
}
