#pragma once

#include "OVError.h"
#include "OVOperationQueue.h"
#include "OVTeam.h"
#include "OVUser.h"

#include <QHash>
#include <QList>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

class OVServiceProtocol;

/**
 * The process-wide cache of the users and teams the signed-in account sees, loaded lazily from the
 * web API and kept until reset (sign-out). Loads and look-ups with a completion are serialised on two
 * width-1 queues, so each cache is loaded at most once at a time; the synchronous reads may be called
 * from any thread and see the current cache.
 */
class OVDataLookup {
public:
    using LoadCompletion = std::function<void(std::optional<OVError>)>;
    using UserCompletion = std::function<void(std::optional<OVUser>, std::optional<OVError>)>;
    using TeamsCompletion = std::function<void(std::optional<QList<OVTeam>>, std::optional<OVError>)>;

    static OVDataLookup& sharedInstance();

    /** Not owned; set once at start-up. */
    OVServiceProtocol* service() const { return m_service.load(); }
    void setService(OVServiceProtocol* service) { m_service.store(service); }
    /**
     * Before the web client goes (at exit): no load starts with it any more, and those under way have
     * ended when this returns. Their exchanges must already fail at once (the in-flight requests closed).
     */
    void detachService();

    bool areUsersLoaded() const;
    /** From the cache only; never loads. */
    std::optional<OVUser> findUserById(quint64 userId) const;
    /** Loads the users when needed, then looks up; the handler runs on the user queue's thread. */
    void findUserById(quint64 userId, UserCompletion completionHandler);
    /**
     * findUserById with a completion, waiting on the calling thread for its answer. Never call it from
     * the user queue itself.
     */
    std::pair<std::optional<OVUser>, std::optional<OVError>> findUserByIdAndWait(quint64 userId);
    /** On the calling thread: the users from the web API unless already loaded. */
    void loadUsers(const LoadCompletion& callback);
    /** Loads the teams when needed on the team queue, then calls back there. */
    void getTeams(TeamsCompletion callback);
    /** On the calling thread: the teams sorted by name, with the "All" team first. */
    void loadTeams(const LoadCompletion& callback);
    /** Snapshot of the teams cache; absent when not loaded. */
    std::optional<QList<OVTeam>> teams() const;
    /** Forgets users and teams (sign-out). */
    void reset();
    void resetTeams();

    OVOperationQueue& loadUserQueue() { return m_loadUserQueue; }
    OVOperationQueue& loadTeamQueue() { return m_loadTeamQueue; }

    OVDataLookup();
    ~OVDataLookup();
    OVDataLookup(const OVDataLookup&) = delete;
    OVDataLookup& operator=(const OVDataLookup&) = delete;

private:
    static OVTeam buildAllTeam(const QList<OVTeam>& teams);

    std::atomic<OVServiceProtocol*> m_service{nullptr};
    mutable std::mutex m_mutex;
    std::optional<QHash<quint64, OVUser>> m_users;
    std::optional<QList<OVTeam>> m_teams;
    OVOperationQueue m_loadUserQueue;
    OVOperationQueue m_loadTeamQueue;
};
