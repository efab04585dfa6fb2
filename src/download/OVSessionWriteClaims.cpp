#include "OVSessionWriteClaims.h"

#include <chrono>

OVSessionWriteClaims& OVSessionWriteClaims::shared() {
    static OVSessionWriteClaims claims;
    return claims;
}

QString OVSessionWriteClaims::keyFor(const QString& serial, double startSeconds) {
    return QStringLiteral("%1/%2").arg(serial, QString::number(startSeconds, 'f', 6));
}

bool OVSessionWriteClaims::claim(const QString& key, const std::function<bool()>& giveUp) {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_claimed.contains(key)) {
        // A waiter cancelled meanwhile must not stay blocked behind a pass that is still closing.
        if (giveUp && giveUp())
            return false;
        m_released.wait_for(lock, std::chrono::milliseconds(20));
    }
    m_claimed.insert(key);
    return true;
}

void OVSessionWriteClaims::release(const QString& key) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_claimed.remove(key);
    }
    m_released.notify_all();
}
