#include "OVService.h"

#include "OVConfiguration.h"
#include "OVCredentialManagerProtocol.h"
#include "OVException.h"
#include "OVHTTPStatus.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVModelBuilder.h"
#include "OVNetworkClock.h"
#include "OVPreferencesManagerProtocol.h"
#include "OVReplyLimits.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstdio>

const QString& OVService::kErrorDomain = OVError::serviceDomain();
const QString& OVService::kTransportErrorDomain = OVError::networkDomain();

namespace {

constexpr int kNoDataCode = 1;
constexpr int kExceptionCode = 5;
// Asynchronous sends wait on the network, not on the processor: more of them may be in flight than
// there are cores.
constexpr int kAsyncThreads = 8;
// Enough for any honest chain of redirects; a longer one is a loop.
constexpr int kMaxRedirects = 10;
// 5 MiB in an hour is 1.5 KB/s: slower than that, a session of a few chunks would take a day.
constexpr int kChunkDeadlineSeconds = 3600;

const QString kAthletesBundle = QStringLiteral("/api/bundle/1/");

OVError noDataError() {
    return OVError(OVService::kErrorDomain, kNoDataCode, QStringLiteral("No data returned from server"));
}

OVError statusError(int status, const QString& body) {
    return OVError(
        OVService::kErrorDomain, status,
        OVLogFormat::format("Error: %@, %@", OVHTTPStatus::localizedStringForStatusCode(status), body));
}

void logException(std::exception_ptr exception) {
    OVLog("Unhandled exception occurred. Exception: %@. Stack:%@", OVException::describe(exception),
          OVException::callStackOf(exception));
}

// The one boundary for exceptions of the resource calls: what escapes work is logged with its stack
// and becomes *error; the call then answers its empty value (none, false).
template <typename Work> auto guarded(OVError* error, Work work) -> decltype(work()) {
    try {
        return work();
    } catch (...) {
        const std::exception_ptr exception = std::current_exception();
        logException(exception);
        OVError::set(error, OVService::createErrorFromException(exception));
        return {};
    }
}

/** Every resource of the web API needs them; setBasicAuth leaves them out while nobody is signed in. */
bool carriesCredentials(const OVURLRequest& request) {
    return request.valueForHTTPHeaderField(QStringLiteral("Authorization")).has_value();
}

bool sameText(const std::optional<QString>& a, const std::optional<QString>& b) {
    return a && b && *a == *b;
}

bool sameNumber(const std::optional<qint64>& a, const std::optional<qint64>& b) {
    return a && b && *a == *b;
}

} // namespace

/** What came back from one exchange: an HTTP answer (status present), or a transport failure. */
struct OVService::Answer {
    std::optional<int> status;
    QByteArray body;
    /** The "Location" header of a redirect. */
    QByteArray location;
    /** Qt's error, or the limit (deadline, answer cap) that ended the exchange. */
    OVError failure;

    // The server refused the credentials: Qt reports the 401 as a failed authentication. Only that
    // code of Qt's, never a bare number: its other codes mean other things (2: the connection closed).
    bool isUnauthorized() const {
        return failure.code() == QNetworkReply::AuthenticationRequiredError || (status && *status == 401);
    }
    bool isTransportError() const { return !status || isUnauthorized(); }
    OVError transportError() const {
        return isUnauthorized() ? OVService::createUnauthorizedError() : failure;
    }
};

OVService::OVService(OVCredentialManagerProtocol* credentialMgr, OVPreferencesManagerProtocol* prefMgr)
    : m_credentialMgr(credentialMgr)
    , m_prefMgr(prefMgr)
    , m_networkClock(&OVNetworkClock::getNetworkDate)
    , m_asyncQueue(QStringLiteral("com.pellwick.service.async"), kAsyncThreads) {}

OVService::~OVService() {
    // Every completion handed over is called: the queue would cancel sends not started yet.
    m_asyncQueue.waitUntilAllOperationsAreFinished();
}

void OVService::setNetworkAccessFactory(NetworkAccessFactory factory) {
    m_networkAccessFactory = std::move(factory);
}

void OVService::setNetworkClock(NetworkClock clock) {
    m_networkClock = std::move(clock);
}

OVDate OVService::signingDate() const {
    const std::optional<OVDate> networkDate = m_networkClock ? m_networkClock() : std::nullopt;
    return networkDate.value_or(OVDate::now());
}

// ---- Requests ---------------------------------------------------------------------------------

OVURLRequest OVService::buildRequest(const QString& path, const QString& HTTPMethod,
                                     const std::optional<QString>& HTTPBody,
                                     const std::optional<QString>& filter) const {
    const QString serverUrl = m_prefMgr->getServerUrl();
    const QString url = filter ? OVLogFormat::format("%@%@/?%@", serverUrl, path, *filter)
                               : OVLogFormat::format("%@%@/", serverUrl, path);
    OVURLRequest request{QUrl(url)};
    request.setHTTPMethod(HTTPMethod);
    request.setValue(QStringLiteral("application/json"), QStringLiteral("Content-Type"));
    request.setValue(QStringLiteral("application/json"), QStringLiteral("Accept"));
    if (HTTPBody && !HTTPBody->isEmpty())
        request.setHTTPBody(HTTPBody->toUtf8());
    setBasicAuthForRequest(request);
    return request;
}

void OVService::setBasicAuthForRequest(OVURLRequest& request) const {
    setBasicAuth(m_credentialMgr->getUsername(), m_credentialMgr->getPassword(), request);
}

void OVService::setBasicAuth(const std::optional<QString>& username, const std::optional<QString>& password,
                             OVURLRequest& request) {
    // Nobody signed in: no header at all, and exchange() does not send the request (see there).
    if (!username || !password || username->isEmpty())
        return;
    const QByteArray credentials = OVLogFormat::format("%@:%@", username, password).toUtf8();
    request.setValue(OVLogFormat::format("Basic %@", QString::fromLatin1(credentials.toBase64())),
                     QStringLiteral("Authorization"));
}

QString OVService::integerPart(double value) {
    const QString text = QString::asprintf("%f", value);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    return point < 0 ? text : text.left(point);
}

void OVService::setApiKey(OVURLRequest& request, const OVDate& date) const {
    const QString timestamp = integerPart(date.secondsSince1970());
    const QString input =
        OVLogFormat::format("%@%@%@", OVConfiguration::apiSecret(), timestamp, request.absoluteURLString());
    const QByteArray digest = QCryptographicHash::hash(input.toUtf8(), QCryptographicHash::Sha1);
    QString signature;
    for (const char byte : digest)
        signature += QString::asprintf("%02x", static_cast<unsigned>(static_cast<unsigned char>(byte)));
    request.setValue(timestamp, QStringLiteral("X-ORVATIMESTAMP"));
    request.setValue(OVConfiguration::apiKey(), QStringLiteral("X-ORVAAPIKEY"));
    request.setValue(signature, QStringLiteral("X-ORVAAPISIGNATURE"));
    request.setValue(m_prefMgr->getApiVersion(), QStringLiteral("X-ORVAAPIVERSION"));
}

void OVService::setApiKey(OVURLRequest& request) const {
    setApiKey(request, signingDate());
}

void OVService::printUrlRequest(const OVURLRequest& request) {
    OVLog("URL: %@", request.absoluteURLString());
    OVLog("HTTP Method: %@", request.HTTPMethod());
    // Only these two headers: the signature, the API key and the credentials never reach a log.
    for (const char* field : {"X-ORVAAPIVERSION", "X-ORVATIMESTAMP"}) {
        const QString value =
            request.valueForHTTPHeaderField(QLatin1String(field)).value_or(QStringLiteral("(null)"));
        std::fprintf(stderr, "%s: %s\n", field, value.toUtf8().constData());
    }
}

// ---- Sending ----------------------------------------------------------------------------------

OVService::Answer OVService::exchange(const OVURLRequest& request) const {
    // Sent without credentials (a request built just after a sign-out), it could only be refused, and the
    // server counts each refusal against this address.
    if (!carriesCredentials(request)) {
        OVLog("Not sent, nobody is signed in: %@", request.absoluteURLString());
        Answer answer;
        answer.failure = OVError(kTransportErrorDomain, QNetworkReply::AuthenticationRequiredError,
                                 QStringLiteral("Nobody is signed in"));
        return answer;
    }
    OVURLRequest current = request;
    Answer answer = exchangeOnce(current);
    for (int hop = 0; hop < kMaxRedirects && answer.status; ++hop) {
        std::optional<OVURLRequest> next = current.redirectedTo(*answer.status, answer.location);
        if (!next)
            break;
        current = std::move(*next);
        // The signature covers the URL: the new one is signed at the same time as the first.
        const QString timestamp =
            current.valueForHTTPHeaderField(QStringLiteral("X-ORVATIMESTAMP")).value_or(QString());
        setApiKey(current, OVDate::fromSecondsSince1970(timestamp.toDouble()));
        printUrlRequest(current);
        answer = exchangeOnce(current);
    }
    return answer;
}

OVService::Answer OVService::exchangeOnce(const OVURLRequest& request) const {
    Answer answer;
    const std::unique_ptr<QNetworkAccessManager> manager =
        m_networkAccessFactory ? m_networkAccessFactory() : std::make_unique<QNetworkAccessManager>();
    // Made before the request: on a thread Qt did not start, the loop gives the thread the event
    // dispatcher that the request's timeout and deadline timers need to run at all.
    QEventLoop loop;
    if (!manager) {
        answer.failure = OVError(kTransportErrorDomain, QNetworkReply::ProtocolFailure,
                                 QStringLiteral("No network access"));
        return answer;
    }
    OVError openError;
    QNetworkReply* reply = request.send(*manager, &openError);
    if (!reply) {
        answer.failure = openError;
        return answer;
    }
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    answer.failure = OVReplyLimits::transportError(reply);
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // An answer cut at a limit is no answer, whatever its status line said.
    if (status.isValid() && !OVReplyLimits::exceeded(reply))
        answer.status = status.toInt();
    if (reply->isOpen())
        answer.body = reply->readAll();
    answer.location = reply->rawHeader("Location");
    delete reply;
    return answer;
}

std::optional<QByteArray> OVService::sendSync(OVURLRequest request, OVError* error) const {
    setApiKey(request);
    printUrlRequest(request);
    const Answer answer = exchange(request);
    if (answer.isTransportError()) {
        OVError::set(error, answer.transportError());
        return std::nullopt;
    }
    const int status = *answer.status;
    OVLog("HTTP Response code : %ld", status);
    if (status < 200 || status > 399) {
        // Difference 1 from sendAsync, kept on purpose: a 500 is described as "Internal Server
        // Error", not by its body; sendAsync passes every body on as it came.
        const QString body =
            status == 500 ? QStringLiteral("Internal Server Error") : QString::fromUtf8(answer.body);
        OVError::set(error, statusError(status, body));
        return std::nullopt;
    }
    if (!answer.body.isEmpty()) {
        OVLog("Request json returned : %@", QString::fromUtf8(answer.body));
        OVError::set(error, OVError());
        return answer.body;
    }
    // Difference 2 from sendAsync, kept on purpose: a 204 without body is a success without data
    // (callers tell it from a failure by the empty error); sendAsync reports every empty body as
    // "No data returned from server".
    if (status == 204) {
        OVError::set(error, OVError());
        return std::nullopt;
    }
    OVLog("Request failed error: Nothing was downloaded.");
    OVError::set(error, noDataError());
    return std::nullopt;
}

void OVService::sendAsync(OVURLRequest request, SendCompletion completionHandler) {
    m_asyncQueue.addOperationWithBlock(
        [this, request = std::move(request), completionHandler = std::move(completionHandler)]() mutable {
            // The network clock is asked here, on the background thread, so the caller returns at once.
            setApiKey(request, signingDate());
            printUrlRequest(request);
            const Answer answer = exchange(request);
            OVLog("HTTP Response code : %ld", answer.status.value_or(0));
            if (answer.isTransportError()) {
                OVLog("Request error:%@", answer.failure.description());
                completionHandler(std::nullopt, answer.transportError());
                return;
            }
            const int status = *answer.status;
            if (status >= 200 && status <= 399) {
                if (!answer.body.isEmpty()) {
                    OVLog("Request json returned : %@", QString::fromUtf8(answer.body));
                    completionHandler(answer.body, std::nullopt);
                } else { // even a 204: see difference 2 in sendSync
                    OVLog("Request failed error: Nothing was downloaded.");
                    completionHandler(std::nullopt, noDataError());
                }
                return;
            }
            // The body as it came, 500 included: see difference 1 in sendSync.
            completionHandler(std::nullopt, statusError(status, QString::fromUtf8(answer.body)));
        });
}

// ---- Errors and helpers -----------------------------------------------------------------------

OVError OVService::createUnauthorizedError() {
    return OVError::unauthorized();
}

OVError OVService::createErrorFromException(std::exception_ptr exception) {
    return OVError(
        kErrorDomain, kExceptionCode,
        OVLogFormat::format("Unhandled exception occurred. Exception: %@", OVException::describe(exception)));
}

QString OVService::getResourceIdFromUri(const QString& uri) {
    const QStringList pieces = uri.split(QLatin1Char('/'));
    return pieces.size() < 2 ? QString() : pieces.at(pieces.size() - 2);
}

QString OVService::buildStringRecordFilter(const OVRecordFilter& filter) {
    const auto deviceTime = [](const OVDate& date) {
        return integerPart(OVHelper::convertDateToOrvatimestamp(date));
    };
    QString query;
    if (filter.exact_startTimestamp)
        query += OVLogFormat::format("&start__exact=%@", deviceTime(*filter.exact_startTimestamp));
    if (filter.greatherThanOrEqual_startTimestamp)
        query +=
            OVLogFormat::format("&start__gte=%@", deviceTime(*filter.greatherThanOrEqual_startTimestamp));
    if (filter.lessThanOrEqual_startTimestamp)
        query += OVLogFormat::format("&start__lte=%@", deviceTime(*filter.lessThanOrEqual_startTimestamp));
    if (filter.exact_endTimestamp)
        query += OVLogFormat::format("&end__exact=%@", deviceTime(*filter.exact_endTimestamp));
    if (filter.offset)
        query += OVLogFormat::format("&offset=%@", *filter.offset);
    if (filter.limit)
        query += OVLogFormat::format("&limit=%@", *filter.limit);
    if (filter.exact_userUri)
        query += OVLogFormat::format("&user__exact=%@", *filter.exact_userUri);
    if (filter.exact_device)
        query += OVLogFormat::format("&device__exact=%@", *filter.exact_device);
    if (filter.exact_npages)
        query += OVLogFormat::format("&npages__exact=%@", *filter.exact_npages);
    if (!query.isEmpty())
        query.remove(0, 1);
    return query;
}

// ---- Resources --------------------------------------------------------------------------------

void OVService::authenticate(const QString& username, const QString& password,
                             AuthenticateCompletion completionHandler) {
    OVURLRequest request = buildRequest(QStringLiteral("account"), QStringLiteral("GET"));
    // The credentials being tried, not the stored ones.
    setBasicAuth(username, password, request);
    sendAsync(std::move(request), [completionHandler = std::move(completionHandler)](
                                      std::optional<QByteArray> data, std::optional<OVError> sendError) {
        if (sendError) {
            completionHandler(std::nullopt, sendError);
            return;
        }
        std::optional<OVError> error;
        OVError failure;
        const std::optional<OVUser> user = guarded(&failure, [&]() -> std::optional<OVUser> {
            const std::optional<QList<OVUser>> users =
                OVModelBuilder::buildUsersFromJson(data.value_or(QByteArray()), &failure);
            if (!users) {
                OVLog("Error in building the model User. Error:%@", failure.description());
                return std::nullopt;
            }
            if (users->isEmpty())
                throw OVException(QStringLiteral("The account answer holds no user"));
            return users->first();
        });
        if (!user)
            error = failure;
        completionHandler(user, error);
    });
}

std::optional<QByteArray> OVService::sendForBody(OVURLRequest request, OVError* error,
                                                 const char* failureLog) const {
    OVError sendError;
    const std::optional<QByteArray> data = sendSync(std::move(request), &sendError);
    if (!data && sendError.isSet()) {
        if (failureLog)
            OVLog(failureLog, sendError.description());
        OVError::set(error, sendError);
        return std::nullopt;
    }
    return data.value_or(QByteArray());
}

std::optional<QList<OVUser>> OVService::getAtheletes(OVError* error) {
    const QString query =
        OVLogFormat::format("%@=%@&%@", QStringLiteral("bundle"), kAthletesBundle, QStringLiteral("limit=0"));
    const std::optional<QByteArray> data = sendForBody(
        buildRequest(QStringLiteral("bundle_permission"), QStringLiteral("GET"), std::nullopt, query), error,
        "get bundle permissions error:%@");
    if (!data)
        return std::nullopt;
    return guarded(error, [&]() -> std::optional<QList<OVUser>> {
        OVError parseError;
        const std::optional<QList<OVBundlePermission>> permissions =
            OVModelBuilder::buildBundlePermissionsFromJson(*data, &parseError);
        if (!permissions) {
            OVError::set(error, parseError);
            return std::nullopt;
        }
        const std::optional<OVUser> signedIn = m_credentialMgr->currentUser();
        if (!signedIn) { // signed out while the answer came
            OVError::set(error, createUnauthorizedError());
            return std::nullopt;
        }
        QList<OVUser> athletes{*signedIn};
        for (const OVBundlePermission& permission : *permissions) {
            const std::optional<QString> allowed =
                permission.user_allowed ? permission.user_allowed->uri : std::nullopt;
            if (sameText(allowed, signedIn->uri) && permission.user_target)
                athletes.append(*permission.user_target);
        }
        return athletes;
    });
}

std::optional<QList<OVTeam>> OVService::getTeams(OVError* error) {
    const std::optional<QByteArray> data = sendForBody(
        buildRequest(QStringLiteral("team"), QStringLiteral("GET"), std::nullopt, QStringLiteral("limit=0")),
        error, "getTeams error:%@");
    if (!data)
        return std::nullopt;
    return guarded(error, [&]() -> std::optional<QList<OVTeam>> {
        OVError parseError;
        std::optional<QList<OVTeam>> teams = OVModelBuilder::buildTeamsFromJson(*data, &parseError);
        if (!teams) {
            OVLog("Error in building the model Team. Error:%@", parseError.description());
            OVError::set(error, parseError);
            return std::nullopt;
        }
        OVError athletesError;
        const std::optional<QList<OVUser>> athletes = getAtheletes(&athletesError);
        if (!athletes) {
            OVLog("getTeams error:%@", athletesError.description());
            OVError::set(error, athletesError);
            return std::nullopt;
        }

        QList<OVTeam> result;
        for (OVTeam& team : *teams) {
            team.members.removeIf([&](const OVUser& member) {
                return std::none_of(athletes->begin(), athletes->end(),
                                    [&](const OVUser& athlete) { return sameText(member.uri, athlete.uri); });
            });
            if (!team.members.isEmpty())
                result.append(team);
        }
        OVTeam others;
        others.name = QCoreApplication::translate("OVService", "Athletes not part of any team");
        for (const OVUser& athlete : *athletes) {
            const bool inATeam = std::any_of(result.begin(), result.end(), [&](const OVTeam& team) {
                return std::any_of(team.members.begin(), team.members.end(), [&](const OVUser& member) {
                    return sameNumber(member.identifier, athlete.identifier);
                });
            });
            if (!inATeam)
                others.members.append(athlete);
        }
        result.append(others);
        return result;
    });
}

std::optional<OVRecordsPage> OVService::getRecordsByFilter(const OVRecordFilter& filter, OVError* error) {
    const std::optional<QByteArray> data =
        sendForBody(buildRequest(QStringLiteral("record"), QStringLiteral("GET"), std::nullopt,
                                 buildStringRecordFilter(filter)),
                    error, nullptr);
    if (!data)
        return std::nullopt;
    return guarded(error, [&]() -> std::optional<OVRecordsPage> {
        OVError parseError;
        std::optional<OVGetMetaData> meta = OVModelBuilder::buildMetaDataFromJson(*data, &parseError);
        if (!meta) {
            OVLog("Create MetaData MODEL error:%@", parseError.description());
            OVError::set(error, parseError);
            return std::nullopt;
        }
        std::optional<QList<OVRecord>> records = OVModelBuilder::buildRecordsFromJson(*data, &parseError);
        if (!records) {
            OVLog("Create record MODEL error:%@", parseError.description());
            OVError::set(error, parseError);
            return std::nullopt;
        }
        return OVRecordsPage(std::move(*meta), std::move(*records));
    });
}

bool OVService::createRecord(OVRecord& record, OVError* error) {
    return guarded(error, [&] {
        OVError buildError;
        const std::optional<QString> body = OVModelBuilder::buildJsonFromRecord(record, &buildError);
        if (!body) {
            OVError::set(error, buildError);
            return false;
        }
        const std::optional<QByteArray> data =
            sendForBody(buildRequest(QStringLiteral("record"), QStringLiteral("POST"), body), error,
                        "Create record error:%@");
        if (!data)
            return false;
        OVError parseError;
        const std::optional<OVRecord> created = OVModelBuilder::buildRecordFromJson(*data, &parseError);
        if (!created) {
            OVError::set(error, parseError);
            OVLog("Create record MODEL error:%@", parseError.description());
            return false;
        }
        record.resource_uri = created->resource_uri;
        return true;
    });
}

std::optional<OVURLRequest> OVService::createUploadRecordRequest(const OVRecord& record,
                                                                 const QString& recordDataFile,
                                                                 quint64 totalFileSize, OVError* error) {
    return guarded(error, [&]() -> std::optional<OVURLRequest> {
        if (!record.resource_uri)
            throw OVException(QStringLiteral("The record to upload to has no resource URI"));
        const QString recordId = getResourceIdFromUri(*record.resource_uri);
        const QString url = OVLogFormat::format("%@%@%@/", m_prefMgr->getServerUrl(),
                                                QStringLiteral("sync/timeline/"), recordId);
        OVURLRequest request{QUrl(url)};
        // A chunk is sent for as long as its bytes keep moving (the inactivity timeout ends the rest):
        // the deadline only ends a link slower than any user would wait for.
        request.setDeadline(kChunkDeadlineSeconds);
        request.setHTTPMethod(QStringLiteral("POST"));
        request.setValue(QStringLiteral("application/octet-stream"), QStringLiteral("Content-Type"));
        request.setValue(QStringLiteral("application/json"), QStringLiteral("Accept"));
        // "part_<index>_<first>_<last>": the chunk's byte range within the whole data file.
        const QStringList pieces = QFileInfo(recordDataFile).completeBaseName().split(QLatin1Char('_'));
        if (pieces.size() < 4)
            throw OVException(OVLogFormat::format("No byte range in the chunk file name %@", recordDataFile));
        request.setValue(OVLogFormat::format("bytes %@-%@/%llu", pieces.at(2), pieces.at(3), totalFileSize),
                         QStringLiteral("Content-Range"));
        request.setHTTPBodyFilePath(recordDataFile);
        setBasicAuthForRequest(request);
        if (!carriesCredentials(request)) { // signed out: see exchange()
            OVError::set(error, createUnauthorizedError());
            return std::nullopt;
        }
        setApiKey(request);
        printUrlRequest(request);
        return request;
    });
}
