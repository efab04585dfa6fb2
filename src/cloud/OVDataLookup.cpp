#include "OVDataLookup.h"

#include "OVHelper.h"
#include "OVServiceProtocol.h"

#include <QCoreApplication>

#include <algorithm>
#include <future>

namespace {

OVError noServiceError() {
    return OVHelper::createError(QStringLiteral("No web API client"), -1,
                                 QStringLiteral("com.pellwick.service"));
}

// The error of a failed load; a load that failed without saying why still fails.
OVError loadError(const OVError& error) {
    return error.isSet() ? error : noServiceError();
}

} // namespace

OVDataLookup& OVDataLookup::sharedInstance() {
    static OVDataLookup instance;
    return instance;
}

OVDataLookup::OVDataLookup()
    : m_loadUserQueue(QStringLiteral("OVDataLookup loadUserQueue"), 1)
    , m_loadTeamQueue(QStringLiteral("OVDataLookup loadTeamQueue"), 1) {}

OVDataLookup::~OVDataLookup() = default;

void OVDataLookup::detachService() {
    m_service.store(nullptr);
    // The queues outlive the client (this object lives until the process ends): a load on them may
    // hold the client's pointer between two of its exchanges.
    m_loadUserQueue.waitUntilAllOperationsAreFinished();
    m_loadTeamQueue.waitUntilAllOperationsAreFinished();
}

bool OVDataLookup::areUsersLoaded() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_users.has_value();
}

std::optional<OVUser> OVDataLookup::findUserById(quint64 userId) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_users)
        return std::nullopt;
    const auto found = m_users->constFind(userId);
    return found == m_users->constEnd() ? std::nullopt : std::optional<OVUser>(*found);
}

void OVDataLookup::findUserById(quint64 userId, UserCompletion completionHandler) {
    m_loadUserQueue.addOperationWithBlock([this, userId, completionHandler] {
        std::optional<OVError> error;
        loadUsers([&error](std::optional<OVError> loadError) { error = std::move(loadError); });
        completionHandler(findUserById(userId), error);
    });
}

std::pair<std::optional<OVUser>, std::optional<OVError>> OVDataLookup::findUserByIdAndWait(quint64 userId) {
    auto answer = std::make_shared<std::promise<std::pair<std::optional<OVUser>, std::optional<OVError>>>>();
    std::future<std::pair<std::optional<OVUser>, std::optional<OVError>>> result = answer->get_future();
    findUserById(userId, [answer](std::optional<OVUser> user, std::optional<OVError> error) {
        answer->set_value({std::move(user), std::move(error)});
    });
    try {
        return result.get();
    } catch (const std::future_error&) {
        // The queue let go of the look-up without running it (it is being torn down at exit).
        return {std::nullopt, OVHelper::createError(QStringLiteral("User look-up cancelled"), -1,
                                                    QStringLiteral("com.pellwick.service"))};
    }
}

void OVDataLookup::loadUsers(const LoadCompletion& callback) {
    if (areUsersLoaded()) {
        callback(std::nullopt);
        return;
    }
    OVServiceProtocol* const svc = service();
    if (!svc) {
        callback(noServiceError());
        return;
    }
    OVError error;
    const std::optional<QList<OVUser>> users = svc->getAtheletes(&error);
    if (error.isSet() || !users) {
        callback(loadError(error));
        return;
    }
    QHash<quint64, OVUser> byId;
    for (const OVUser& user : *users) {
        if (user.identifier)
            byId.insert(static_cast<quint64>(*user.identifier), user);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_users = std::move(byId);
    }
    callback(std::nullopt);
}

void OVDataLookup::getTeams(TeamsCompletion callback) {
    m_loadTeamQueue.addOperationWithBlock([this, callback] {
        std::optional<OVError> error;
        loadTeams([&error](std::optional<OVError> loadError) { error = std::move(loadError); });
        if (error)
            callback(std::nullopt, error);
        else
            callback(teams(), std::nullopt);
    });
}

void OVDataLookup::loadTeams(const LoadCompletion& callback) {
    if (teams()) {
        callback(std::nullopt);
        return;
    }
    OVServiceProtocol* const svc = service();
    if (!svc) {
        callback(noServiceError());
        return;
    }
    OVError error;
    std::optional<QList<OVTeam>> loaded = svc->getTeams(&error);
    if (error.isSet() || !loaded) {
        callback(loadError(error));
        return;
    }
    std::stable_sort(loaded->begin(), loaded->end(), [](const OVTeam& a, const OVTeam& b) {
        return a.name.value_or(QString()) < b.name.value_or(QString());
    });
    loaded->insert(0, buildAllTeam(*loaded));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_teams = std::move(loaded);
    }
    callback(std::nullopt);
}

OVTeam OVDataLookup::buildAllTeam(const QList<OVTeam>& teams) {
    OVTeam all;
    all.name = QCoreApplication::translate("OVDataLookup", "All");
    for (const OVTeam& team : teams) {
        for (const OVUser& member : team.members) {
            const bool known = std::any_of(all.members.cbegin(), all.members.cend(),
                                           [&member](const OVUser& m) { return m.uri == member.uri; });
            if (!known)
                all.members.append(member);
        }
    }
    std::stable_sort(all.members.begin(), all.members.end(),
                     [](const OVUser& a, const OVUser& b) { return a.firstName < b.firstName; });
    return all;
}

std::optional<QList<OVTeam>> OVDataLookup::teams() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_teams;
}

void OVDataLookup::reset() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_users.reset();
    }
    resetTeams();
}

void OVDataLookup::resetTeams() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_teams.reset();
}
