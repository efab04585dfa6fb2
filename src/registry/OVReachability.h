#pragma once

#include <atomic>
#include <memory>

/**
 * A watch on whether the network can be reached. When its answer changes after startNotifier(), it
 * posts "kNetworkReachabilityChangedNotification" with itself as sender. Create it, start and stop
 * it on the main thread; isReachable() may be read from any thread.
 */
class OVReachability : public std::enable_shared_from_this<OVReachability> {
public:
    virtual ~OVReachability() = default;

    bool isReachable() const { return m_reachable.load(); }
    /** Starts watching; false when nothing can be watched (the probe then keeps its answer). */
    virtual bool startNotifier() = 0;
    virtual void stopNotifier() = 0;

protected:
    explicit OVReachability(bool initiallyReachable)
        : m_reachable(initiallyReachable) {}
    /** Records the new answer; posts the change notification when it differs from the last one. */
    void setReachable(bool reachable);

private:
    std::atomic<bool> m_reachable;
};
