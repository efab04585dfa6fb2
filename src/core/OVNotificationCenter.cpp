#include "OVNotificationCenter.h"

#include <algorithm>
#include <atomic>

struct OVNotificationCenter::Observer {
    const void* owner;
    QString name;
    Handler handler;
    std::atomic<bool> active{true};
};

OVNotificationCenter& OVNotificationCenter::defaultCenter() {
    static OVNotificationCenter* center = new OVNotificationCenter();
    return *center;
}

void OVNotificationCenter::addObserver(const void* owner, const QString& name, Handler handler) {
    auto observer = std::make_shared<Observer>();
    observer->owner = owner;
    observer->name = name;
    observer->handler = std::move(handler);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observers.push_back(std::move(observer));
}

void OVNotificationCenter::removeObserver(const void* owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto gone = std::remove_if(m_observers.begin(), m_observers.end(), [owner](const auto& o) {
        if (o->owner != owner)
            return false;
        o->active = false;
        return true;
    });
    m_observers.erase(gone, m_observers.end());
}

void OVNotificationCenter::removeObserver(const void* owner, const QString& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto gone = std::remove_if(m_observers.begin(), m_observers.end(), [&](const auto& o) {
        if (o->owner != owner || o->name != name)
            return false;
        o->active = false;
        return true;
    });
    m_observers.erase(gone, m_observers.end());
}

void OVNotificationCenter::post(const QString& name, std::any object) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& o : m_observers)
            if (o->name == name)
                targets.push_back(o);
    }
    const OVNotification notification{name, std::move(object)};
    for (const auto& o : targets)
        if (o->active)
            o->handler(notification);
}

int OVNotificationCenter::observerCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_observers.size());
}
