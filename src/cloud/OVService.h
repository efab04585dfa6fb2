#pragma once

#include "OVServiceProtocol.h"

#include "OVOperationQueue.h"

#include <QByteArray>

#include <exception>
#include <functional>
#include <memory>

class OVCredentialManagerProtocol;
class OVPreferencesManagerProtocol;
class QNetworkAccessManager;

/**
 * The client of the web API. Every request carries Basic authentication from the credential manager
 * and a signature (timestamp, API key, SHA-1 of secret + timestamp + URL, API version); errors come
 * back in the domain "com.pellwick.service" (HTTP 401 is code 2 "Unauthorized"), except transport
 * failures, which keep the domain "QNetworkReply" and Qt's error code.
 *
 * Holds no state of its own besides its collaborators: any thread may call it. A synchronous send runs
 * its own event loop on the calling thread; an asynchronous one runs on a thread of the client's own
 * pool, where its completion is called. Destroying the client waits for the asynchronous sends.
 */
class OVService : public OVServiceProtocol {
public:
    using NetworkAccessFactory = std::function<std::unique_ptr<QNetworkAccessManager>()>;
    /** The network time, none when it cannot be had; may block. */
    using NetworkClock = std::function<std::optional<OVDate>()>;
    using SendCompletion = std::function<void(std::optional<QByteArray>, std::optional<OVError>)>;

    static const QString kErrorDomain;
    static const QString kTransportErrorDomain;

    /** Neither collaborator is owned; both must outlive the client. */
    OVService(OVCredentialManagerProtocol* credentialMgr, OVPreferencesManagerProtocol* prefMgr);
    ~OVService() override;
    OVService(const OVService&) = delete;
    OVService& operator=(const OVService&) = delete;

    /**
     * What every send goes through: called on the sending thread for each request, the manager lives
     * for that one exchange. The default makes a plain QNetworkAccessManager. Set it before the first send.
     */
    void setNetworkAccessFactory(NetworkAccessFactory factory);
    /**
     * What requests are signed by: called on the sending thread, the local clock stands in when it
     * answers none. The default asks OVNetworkClock::getNetworkDate. Set it before the first send.
     */
    void setNetworkClock(NetworkClock clock);

    void authenticate(const QString& username, const QString& password,
                      AuthenticateCompletion completionHandler) override;
    std::optional<QList<OVTeam>> getTeams(OVError* error) override;
    std::optional<QList<OVUser>> getAtheletes(OVError* error) override;
    std::optional<OVRecordsPage> getRecordsByFilter(const OVRecordFilter& filter, OVError* error) override;
    bool createRecord(OVRecord& record, OVError* error) override;
    std::optional<OVURLRequest> createUploadRecordRequest(const OVRecord& record,
                                                          const QString& recordDataFile,
                                                          quint64 totalFileSize,
                                                          OVError* error = nullptr) override;

    /** server URL + path + "/", or + "/?" + filter when a filter is given; Basic authentication included. */
    OVURLRequest buildRequest(const QString& path, const QString& HTTPMethod,
                              const std::optional<QString>& HTTPBody = std::nullopt,
                              const std::optional<QString>& filter = std::nullopt) const;
    void setBasicAuthForRequest(OVURLRequest& request) const;
    static void setBasicAuth(const std::optional<QString>& username, const std::optional<QString>& password,
                             OVURLRequest& request);
    /** Signs with the network clock's date, or the local clock when it has none; may block for it. */
    void setApiKey(OVURLRequest& request) const;
    /** The signature headers for that date: X-ORVATIMESTAMP, X-ORVAAPIKEY, X-ORVAAPISIGNATURE,
     * X-ORVAAPIVERSION. */
    void setApiKey(OVURLRequest& request, const OVDate& date) const;

    /**
     * Signs, sends and waits. The body of a 200-399 answer, with *error reset to an empty OVError; none
     * with *error set on failure; none and an empty *error for a 204 answer without body.
     */
    std::optional<QByteArray> sendSync(OVURLRequest request, OVError* error) const;
    /** Signs and sends on a background thread, where completionHandler gets (body, none) or (none, error). */
    void sendAsync(OVURLRequest request, SendCompletion completionHandler);

    static QString buildStringRecordFilter(const OVRecordFilter& filter);
    /** The second-to-last piece of the URI split at "/": "/api/record/471/" gives "471". */
    static QString getResourceIdFromUri(const QString& uri);
    static OVError createUnauthorizedError();
    static OVError createErrorFromException(std::exception_ptr exception);
    /** Logs the URL and the method, and on standard error the API version and timestamp headers. */
    static void printUrlRequest(const OVURLRequest& request);

    /** The whole-second (or whole-unit) digits of value as "%f" writes it, cut at the first ".". */
    static QString integerPart(double value);

private:
    struct Answer;
    /** Sends request and follows up to ten same-origin redirects, signing each anew. */
    Answer exchange(const OVURLRequest& request) const;
    Answer exchangeOnce(const OVURLRequest& request) const;
    OVDate signingDate() const;
    /** sendSync for a resource call: the body (empty for a 204), or none with *error set, logged under
     * failureLog (a "%@" format for the description) when one is given. */
    std::optional<QByteArray> sendForBody(OVURLRequest request, OVError* error, const char* failureLog) const;

    OVCredentialManagerProtocol* const m_credentialMgr;
    OVPreferencesManagerProtocol* const m_prefMgr;
    NetworkAccessFactory m_networkAccessFactory;
    NetworkClock m_networkClock;
    /** Runs the asynchronous sends; its threads get an event loop per exchange. */
    OVOperationQueue m_asyncQueue;
};
