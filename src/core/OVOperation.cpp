#include "OVOperation.h"

void OVOperation::start() {
    if (!isCancelled()) {
        setExecuting(true);
        main();
        setExecuting(false);
    }
    setFinished(true);
}

QString OVOperation::name() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_name;
}

void OVOperation::setName(const QString& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = name;
}

void OVOperation::setFinishedHandler(std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finishedHandler = std::move(handler);
}

void OVOperation::setFinished(bool finished) {
    if (!finished || m_finished.exchange(true))
        return;
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        handler = std::move(m_finishedHandler);
        m_finishedHandler = nullptr;
    }
    if (handler)
        handler();
}
