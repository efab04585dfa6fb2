#pragma once

#include "OVError.h"
#include "OVGetMetaData.h"
#include "OVRecord.h"
#include "OVRecordFilter.h"
#include "OVTeam.h"
#include "OVURLRequest.h"
#include "OVUser.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

/** One page of the record resource: its paging metadata, then its records. */
using OVRecordsPage = std::pair<OVGetMetaData, QList<OVRecord>>;

/**
 * The web API as the rest of the service sees it. Every operation may be called from any thread; the
 * synchronous ones block the calling thread and must not be called from the user interface.
 */
class OVServiceProtocol {
public:
    using AuthenticateCompletion = std::function<void(std::optional<OVUser>, std::optional<OVError>)>;

    virtual ~OVServiceProtocol() = default;

    /** Signs in with these credentials (not the stored ones); the completion runs on a background thread. */
    virtual void authenticate(const QString& username, const QString& password,
                              AuthenticateCompletion completionHandler) = 0;
    /** The account's teams, restricted to its athletes, and one team of the athletes in none of them. */
    virtual std::optional<QList<OVTeam>> getTeams(OVError* error) = 0;
    /** The signed-in user first, then every user whose data it may see. */
    virtual std::optional<QList<OVUser>> getAtheletes(OVError* error) = 0;
    virtual std::optional<OVRecordsPage> getRecordsByFilter(const OVRecordFilter& filter, OVError* error) = 0;
    /** On success fills in the record's resource_uri, and nothing else. */
    virtual bool createRecord(OVRecord& record, OVError* error) = 0;
    /**
     * A signed request uploading one chunk file of a session's data file of totalFileSize bytes; the
     * chunk's name "part_<index>_<first>_<last>.<ext>" gives its byte range. Nothing is sent. None, with
     * *error set, when the record has no resource URI or the chunk's name carries no range.
     */
    virtual std::optional<OVURLRequest> createUploadRecordRequest(const OVRecord& record,
                                                                  const QString& recordDataFile,
                                                                  quint64 totalFileSize,
                                                                  OVError* error = nullptr) = 0;
};
