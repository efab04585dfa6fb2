// A process that lets an exception escape, for the test of what the service logs then:
// "handler" throws past everything (the uncaught-exception handler logs and the process aborts),
// "guard" throws out of what main's guard wraps (it logs and the process returns 0).
#include "AppDelegate.h"
#include "OVConsoleSink.h"
#include "OVException.h"
#include "OVLogger.h"

#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    OVLogger::sharedInstance().addSink(std::make_shared<OVConsoleSink>());
    OVLogger::sharedInstance().turnLogOn();
    AppDelegate::installUncaughtExceptionHandler();
    if (argc > 1 && std::strcmp(argv[1], "guard") == 0) {
        try {
            throw OVException(QStringLiteral("escaped the loop"));
        } catch (...) {
            AppDelegate::logUnhandledException(std::current_exception());
            return 0;
        }
    }
    throw OVException(QStringLiteral("nobody caught this"));
}
