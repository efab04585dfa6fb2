#include "OVSleepLock.h"

#include "OVSyslogSink.h"
#include "SleepManager.h"

OVSleepLock::~OVSleepLock() {
    SleepManager::sharedInstance().unregisterToPreventSleep(this);
}

void OVSleepLock::hold(bool wanted) {
    if (wanted == m_held)
        return;
    m_held = wanted;
    if (wanted)
        PreventFromSleep();
    else
        AllowToSleep();
}

void OVSleepLock::PreventFromSleep() {
    OVSyslogSink::writeDirect(QStringLiteral("PreventFromSleep"));
    SleepManager::sharedInstance().registerToPreventSleep(this);
}

void OVSleepLock::AllowToSleep() {
    OVSyslogSink::writeDirect(QStringLiteral("AllowToSleep"));
    SleepManager::sharedInstance().unregisterToPreventSleep(this);
}
