#pragma once

#include <memory>
#include <mutex>

class OVReachability;

/**
 * The two probes the registry listens to, the internet's and the web API host's: the work that
 * waits for the network resumes only when both answer reachable. Replace and stop them on the main
 * thread; bothReachable() may be read from any thread.
 */
class OVReachabilityProbes {
public:
    OVReachabilityProbes() = default;
    /** Stops the probes it still holds. */
    ~OVReachabilityProbes();
    OVReachabilityProbes(const OVReachabilityProbes&) = delete;
    OVReachabilityProbes& operator=(const OVReachabilityProbes&) = delete;

    /** Replaces both probes (stopping the old ones) and starts the new ones; either may be null. */
    void replace(std::shared_ptr<OVReachability> internet, std::shared_ptr<OVReachability> host);
    /** False when a probe held says unreachable; an absent probe does not hold the work back. */
    bool bothReachable() const;

private:
    /** Guards both probes; never held while starting or stopping one. */
    mutable std::mutex m_mutex;
    std::shared_ptr<OVReachability> m_internet;
    std::shared_ptr<OVReachability> m_host;
};
