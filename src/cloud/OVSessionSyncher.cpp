#include "OVSessionSyncher.h"

#include "OVException.h"
#include "OVHTTPStatus.h"
#include "OVHelper.h"
#include "OVLogger.h"
#include "OVMainThread.h"
#include "OVNotificationCenter.h"
#include "OVPropertyList.h"
#include "OVRecordFilter.h"
#include "OVService.h"
#include "OVSessionFileRepository.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <thread>

const QString OVSessionSyncher::kErrorDomain = QStringLiteral("com.pellwick.sessionsyncher");

namespace {

constexpr int kSyncherErrorCode = 1;

// The web API answers a chunk it stored with 200 and nothing else: a redirect or any other status
// means the bytes are not on the server.
constexpr qint64 kChunkStoredStatus = 200;

bool isChunkStored(qint64 status) {
    return status == kChunkStoredStatus;
}

// What a stored chunk's answer says the record holds: {"size": bytes held, "total": declared size}.
struct HeldBytes {
    std::optional<qint64> size;
    std::optional<qint64> total;
};

HeldBytes heldBytesFromAnswer(const QByteArray& body) {
    const QJsonObject answer = QJsonDocument::fromJson(body).object();
    const auto number = [&answer](const char* key) -> std::optional<qint64> {
        const QJsonValue value = answer.value(QLatin1String(key));
        return value.isDouble() ? std::optional<qint64>(value.toInteger()) : std::nullopt;
    };
    return {number("size"), number("total")};
}

QString chunkPath(const QString& directory, int index, qint64 first, qint64 last) {
    return QString::asprintf("%s/part_%i_%lli_%lli.dat", qUtf8Printable(directory), index, first, last);
}

int chunkCount(qint64 fileSize) {
    return fileSize <= 0 ? 0
                         : int((fileSize + OVSessionSyncher::kChunkSize - 1) / OVSessionSyncher::kChunkSize);
}

qint64 chunkLength(qint64 fileSize, int index) {
    return std::min(OVSessionSyncher::kChunkSize, fileSize - index * OVSessionSyncher::kChunkSize);
}

} // namespace

OVSessionSyncher::OVSessionSyncher(OVServiceProtocol* service, std::shared_ptr<OVSession> session)
    : m_service(service)
    , m_session(std::move(session)) {}

OVSessionSyncher::~OVSessionSyncher() {
    // Nothing else references the operation any more, so no main-thread callback can be using it.
    if (m_uploadConnection)
        m_uploadConnection->deleteLater();
}

// ---- Setup ------------------------------------------------------------------------------------

void OVSessionSyncher::setService(OVServiceProtocol* service) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_service = service;
}

OVServiceProtocol* OVSessionSyncher::service() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_service;
}

void OVSessionSyncher::setSession(std::shared_ptr<OVSession> session) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_session = std::move(session);
}

std::shared_ptr<OVSession> OVSessionSyncher::session() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_session;
}

void OVSessionSyncher::setRepo(std::shared_ptr<OVSessionRepositoryProtocol> repo) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repo = std::move(repo);
}

std::shared_ptr<OVSessionRepositoryProtocol> OVSessionSyncher::repo() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_repo;
}

std::shared_ptr<OVSessionRepositoryProtocol> OVSessionSyncher::ensureRepo() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_repo)
        m_repo = std::make_shared<OVSessionFileRepository>();
    return m_repo;
}

OVDate OVSessionSyncher::startSyncDate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_startSyncDate;
}

QStringList OVSessionSyncher::splitFilesPath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_splitFilesPath;
}

std::optional<OVRecord> OVSessionSyncher::recordUploading() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recordUploading;
}

QString OVSessionSyncher::serial() const {
    const auto s = session();
    return s ? s->deviceSerial() : QString();
}

QString OVSessionSyncher::sessionDescription() const {
    const auto s = session();
    return s ? s->description() : QString();
}

// ---- Operation --------------------------------------------------------------------------------

void OVSessionSyncher::start() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_startSyncDate = OVDate::now();
    }
    if (!session()) { // nothing to report on: only the queue needs to hear of it
        OVLog("A session syncher was queued without a session");
        m_ended.store(true);
        setFinished(true);
        return;
    }
    if (isCancelled()) {
        onCancelSyncOperation();
        return;
    }
    setExecuting(true);
    auto self = std::static_pointer_cast<OVSessionSyncher>(shared_from_this());
    std::thread([self] { self->main(); }).detach();
}

void OVSessionSyncher::cancelNow() {
    cancel();
    if (OVMainThread::isMainThread() && m_uploading.load())
        onCancelSyncOperation();
}

void OVSessionSyncher::main() {
    try {
        OVLog("(%@)-main begin", serial());
        if (!service())
            throw OVException(QStringLiteral("The session syncher was queued without a web API client"));
        ensureRepo();
        const auto s = session();
        OVLog("(%@)-START SYNC FOR SESSION : %@", serial(), s);
        notiySyncStarted();
        if (isCancelled())
            onCancelSyncOperation();
        else
            [&] {
                OVLog("(%@)-Find record begin. session:[%@]", serial(), s);
                OVError error;
                const std::optional<OVRecord> found = findRecord(&error);
                OVLog("(%@)-Find record end. session:[%@]", serial(), s);
                if (isCancelled())
                    return onCancelSyncOperation();
                if (error.isSet()) {
                    OVLog("(%@)-Error during fetching session over the web server. Error : %@", serial(),
                          error.fullDescription());
                    return onCompleteOperation(error);
                }
                if (found && found->status == OVRecordStatusComplete) {
                    OVLog("(%@)-Session already created and all data have been uploaded. [%@]", serial(), s);
                    return onCompleteOperation(std::nullopt);
                }
                if (found && found->status == OVRecordStatusIncomplete) {
                    OVLog("(%@)-Session already created and sync is incomplete. [%@]", serial(), s);
                    if (isCancelled())
                        return onCancelSyncOperation();
                    return startSyncing(*found);
                }
                OVLog("(%@)-Session doesn't exist. Will create one. %@", serial(), s);
                OVRecord record = OVRecord::buildRecordFromSession(*s);
                if (isCancelled())
                    return onCancelSyncOperation();
                OVError createError;
                service()->createRecord(record, &createError);
                if (isCancelled())
                    return onCancelSyncOperation();
                if (createError.isSet()) {
                    OVLog("(%@)-Record creation failed for session: [%@]. Error: %@", serial(), s,
                          createError.description());
                    return onCompleteOperation(createError);
                }
                OVLog("(%@)-Record creation success for session: [%@]", serial(), s);
                if (isCancelled())
                    return onCancelSyncOperation();
                startSyncing(record);
            }();
    } catch (...) {
        logException("main");
        onCompleteOperation(unexpectedExceptionError());
    }
    OVLog("(%@)-main end", serial());
}

std::optional<OVRecord> OVSessionSyncher::findRecord(OVError* error) {
    const auto s = session();
    OVRecordFilter filter;
    filter.exact_device = s->deviceSerial();
    filter.exact_startTimestamp = s->start();
    filter.exact_userUri = QString::asprintf("%i", static_cast<int>(s->userId()));
    OVError searchError;
    const std::optional<OVRecordsPage> page = service()->getRecordsByFilter(filter, &searchError);
    if (searchError.isSet() || !page) {
        OVError::set(error, searchError.isSet() ? searchError
                                                : OVError(OVService::kErrorDomain, 0,
                                                          QStringLiteral("No data returned from server")));
        return std::nullopt;
    }
    // Only a record that is this session's counts, whatever the server did with the filter; a deleted
    // one is the same as none, and a later record of the session may follow it.
    for (const OVRecord& record : page->second)
        if (record.matchesSession(*s) && record.status != OVRecordStatusDeleted)
            return record;
    return std::nullopt;
}

// ---- Preparing the chunks ---------------------------------------------------------------------

void OVSessionSyncher::startSyncing(const OVRecord& record) {
    try {
        OVLog("(%@)-startSyncing %@ begin", serial(), record);
        [&] {
            OVError error;
            const QString dataFilePath = ensureRepo()->getSessionDataFilePath(*session(), &error);
            if (error.isSet()) {
                OVLog("(%@)-Error while finding record data file. Error: %@", serial(),
                      error.fullDescription());
                return onCompleteOperation(error);
            }
            m_sessionDataFileSize.store(
                static_cast<quint64>(std::max<qint64>(0, QFileInfo(dataFilePath).size())));
            if (m_sessionDataFileSize.load() == 0 && !rebuildDataFile(dataFilePath))
                return;
            const QStringList chunks = splitFile(dataFilePath, &error, chunksHeld(record));
            if (error.isSet())
                return onCompleteOperation(error);
            if (chunks.isEmpty())
                throw OVException(QStringLiteral("The session data file gave no chunk to upload"));
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_splitFilesPath = chunks;
                m_recordUploading = record;
            }
            upload(chunks.first());
        }();
    } catch (...) {
        logException("startSyncing");
        onCompleteOperation(unexpectedExceptionError());
    }
    OVLog("(%@)-startSyncing %@ end", serial(), record);
}

QList<int> OVSessionSyncher::chunksToSend(qint64 fileSize, const OVRecord& record) {
    const int count = chunkCount(fileSize);
    QList<int> chunks;
    const bool resumable = record.status == OVRecordStatusIncomplete && record.timelineRanges &&
                           record.timelineTotal == fileSize;
    for (int index = 0; index < count; ++index) {
        const qint64 first = index * kChunkSize;
        const qint64 last = first + chunkLength(fileSize, index) - 1;
        const auto holds = [&](const QPair<qint64, qint64>& range) {
            return range.first <= first && last <= range.second;
        };
        if (!resumable || std::none_of(record.timelineRanges->begin(), record.timelineRanges->end(), holds))
            chunks << index;
    }
    if (chunks.isEmpty() && count > 0)
        chunks << count - 1;
    return chunks;
}

// The chunks the record holds are not sent again: they count as stored from the start, so the
// progress begins at what the server holds. The last answer still decides whether every byte is there.
QSet<int> OVSessionSyncher::chunksHeld(const OVRecord& record) {
    const auto fileSize = static_cast<qint64>(m_sessionDataFileSize.load());
    const QList<int> toSend = chunksToSend(fileSize, record);
    QSet<int> held;
    quint64 heldBytes = 0;
    for (int index = 0; index < chunkCount(fileSize); ++index)
        if (!toSend.contains(index)) {
            held.insert(index);
            heldBytes += static_cast<quint64>(chunkLength(fileSize, index));
        }
    if (held.isEmpty())
        return held;
    OVLog("(%@)-Resuming upload of %@: the server holds %@ of %@ bytes; %@ of %@ chunks left to send",
          serial(), session(), QString::number(record.timelineSize.value_or(0)), QString::number(fileSize),
          QString::number(toSend.size()), QString::number(chunkCount(fileSize)));
    m_storedBytes.store(heldBytes);
    notiySyncProgress(progressPercentage());
    return held;
}

// The page files kept by the download hold the same bytes as the data file; they make it again when
// the data file was lost. A missing or unreadable page file is thrown and ends the operation.
bool OVSessionSyncher::rebuildDataFile(const QString& dataFilePath) {
    const auto s = session();
    OVError error;
    if (!ensureRepo()->doesSessionHaveAllData(*s, &error)) {
        onCompleteOperation(createError(
            QCoreApplication::translate("OVSessionSyncher", "Session doesn't have all the data to sync"),
            kSyncherErrorCode, kErrorDomain));
        return false;
    }
    const QString directory = QFileInfo(dataFilePath).absolutePath();
    const QString scratchPath = directory + QStringLiteral("/tmp.dat");
    QFile::remove(scratchPath);
    QFile scratch(scratchPath);
    if (!scratch.open(QIODevice::WriteOnly))
        throw OVException(QStringLiteral("Cannot create %1: %2").arg(scratchPath, scratch.errorString()));
    for (quint64 n = s->startPage(); n <= s->endPage(); ++n) {
        const QString pagePath =
            directory + QStringLiteral("/PAGES/") + QString::asprintf("ov_%ld.dat", long(n));
        QFile pageFile(pagePath);
        if (!pageFile.open(QIODevice::ReadOnly))
            throw OVException(QStringLiteral("Cannot read %1: %2").arg(pagePath, pageFile.errorString()));
        const auto list = OVPropertyList::fromBinary(pageFile.readAll(), &error);
        const auto bytes = list ? list->data("data", &error) : std::nullopt;
        if (!bytes)
            throw OVException(QStringLiteral("No page data in %1").arg(pagePath));
        if (scratch.write(*bytes) != bytes->size())
            throw OVException(QStringLiteral("Cannot write %1: %2").arg(scratchPath, scratch.errorString()));
    }
    scratch.close();
    QFile::remove(dataFilePath);
    if (!QFile::rename(scratchPath, dataFilePath)) {
        onCompleteOperation(createError(
            QCoreApplication::translate("OVSessionSyncher", "Error while copying session data file"),
            kSyncherErrorCode, kErrorDomain));
        return false;
    }
    m_sessionDataFileSize.store(static_cast<quint64>(QFileInfo(dataFilePath).size()));
    return true;
}

QStringList OVSessionSyncher::splitFile(const QString& path, OVError* error, const QSet<int>& skipped) {
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        OVError::set(error, OVError(kErrorDomain, kSyncherErrorCode, source.errorString()));
        return {};
    }
    const QString directory = QFileInfo(path).absolutePath();
    const qint64 size = source.size();
    QStringList chunks;
    // Copied a piece at a time: a team of devices uploading at once holds a few pieces each, not a
    // chunk each.
    QByteArray piece(kSplitPieceSize, Qt::Uninitialized);
    const auto failed = [error](const QString& name, const QFile& file) {
        OVError::set(error, OVError(kErrorDomain, kSyncherErrorCode,
                                    QStringLiteral("%1: %2").arg(name, file.errorString())));
        return QStringList();
    };
    for (qint64 offset = 0, index = 0; offset < size; offset += kChunkSize, ++index) {
        const qint64 length = chunkLength(size, int(index));
        const QString chunk = chunkPath(directory, int(index), offset, offset + length - 1);
        if (skipped.contains(int(index))) {
            QFile::remove(chunk);
            continue;
        }
        if (!source.seek(offset))
            return failed(path, source);
        QFile out(chunk);
        // The recording's bytes, as the store's own files: its owner's alone.
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return failed(chunk, out);
        for (qint64 copied = 0; copied < length;) {
            const qint64 n = source.read(piece.data(), std::min<qint64>(piece.size(), length - copied));
            // A data file shorter than it was a moment ago: no chunk may claim bytes it lacks.
            if (n <= 0)
                return failed(path, source);
            if (out.write(piece.constData(), n) != n)
                return failed(chunk, out);
            copied += n;
        }
        if (!out.flush())
            return failed(chunk, out);
        chunks << chunk;
    }
    return chunks;
}

// ---- Uploading --------------------------------------------------------------------------------

void OVSessionSyncher::upload(const QString& chunkPath) {
    // Signing may wait for the network clock: never on the main thread.
    if (!OVMainThread::isMainThread())
        return sendChunk(chunkPath);
    auto self = std::static_pointer_cast<OVSessionSyncher>(shared_from_this());
    std::thread([self, chunkPath] { self->sendChunk(chunkPath); }).detach();
}

void OVSessionSyncher::sendChunk(const QString& chunkPath) {
    m_uploading.store(true);
    if (isCancelled())
        return onCancelSyncOperation();
    const std::optional<OVRecord> record = recordUploading();
    OVError error;
    const std::optional<OVURLRequest> request =
        service()->createUploadRecordRequest(*record, chunkPath, m_sessionDataFileSize.load(), &error);
    if (!request)
        return onCompleteOperation(error);
    auto self = std::static_pointer_cast<OVSessionSyncher>(shared_from_this());
    OVMainThread::async([self, request] { self->startConnection(*request); });
}

void OVSessionSyncher::startConnection(const OVURLRequest& request) {
    if (m_ended.load())
        return;
    stopConnection();
    auto self = std::static_pointer_cast<OVSessionSyncher>(shared_from_this());
    m_uploadConnection = new OVURLConnection(request, std::weak_ptr<OVURLConnectionDelegate>(self));
    m_uploadConnection->start();
}

void OVSessionSyncher::stopConnection() {
    if (!m_uploadConnection)
        return;
    m_uploadConnection->cancel();
    m_uploadConnection->deleteLater();
    m_uploadConnection = nullptr;
}

bool OVSessionSyncher::isCurrentConnection(OVURLConnection* connection) const {
    return connection && connection == m_uploadConnection && !m_ended.load();
}

int OVSessionSyncher::percentageForBytes(quint64 written, quint64 total) {
    if (total == 0)
        return 0;
    return static_cast<int>(static_cast<double>(std::min(written, total)) * 100.0 /
                            static_cast<double>(total));
}

void OVSessionSyncher::connectionDidReceiveResponse(OVURLConnection* connection, qint64 statusCode) {
    if (!isCurrentConnection(connection))
        return;
    OVLog("(%@)-Upload didReceiveResponse. Session: %@. HTTP Code: %ld", serial(), session(),
          long(statusCode));
    m_uploadResponseStatusCode.store(statusCode);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uploadReceivedData.clear();
}

void OVSessionSyncher::connectionDidReceiveData(OVURLConnection* connection, const QByteArray& data) {
    if (!isCurrentConnection(connection))
        return;
    OVLog("(%@)-Upload didReceiveData. Session: %@. HTTP Body: %@", serial(), session(),
          QString::fromUtf8(data));
    session()->addTransferredBytes(data.size());
    // The whole answer of this chunk, however it arrives: the last one is read for the bytes held.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uploadReceivedData += data;
}

void OVSessionSyncher::connectionDidSendBodyData(OVURLConnection* connection, qint64 bytesWritten,
                                                 qint64 totalBytesWritten, qint64) {
    if (!isCurrentConnection(connection))
        return;
    if (isCancelled())
        return onCancelSyncOperation();
    m_realTotalBytesWritten.fetch_add(static_cast<quint64>(bytesWritten));
    m_chunkBytesWritten.store(static_cast<quint64>(totalBytesWritten));
    session()->addTransferredBytes(bytesWritten);
    notiySyncProgress(progressPercentage());
    if (isCancelled())
        onCancelSyncOperation();
}

// Bytes the server stored plus those of the chunk under way: a chunk sent again is not counted twice,
// and what a refused chunk had counted is never taken back, so the value only grows and reaches 100
// only with the last missing byte.
int OVSessionSyncher::progressPercentage() {
    const int percentage =
        percentageForBytes(m_storedBytes.load() + m_chunkBytesWritten.load(), m_sessionDataFileSize.load());
    int shown = m_percentageShown.load();
    while (percentage > shown && !m_percentageShown.compare_exchange_weak(shown, percentage)) {
    }
    return std::max(shown, percentage);
}

void OVSessionSyncher::connectionDidFinishLoading(OVURLConnection* connection) {
    if (!isCurrentConnection(connection))
        return;
    const qint64 status = m_uploadResponseStatusCode.load();
    const quint64 chunkBytes = m_chunkBytesWritten.exchange(0);
    if (isChunkStored(status))
        m_storedBytes.fetch_add(chunkBytes);
    QString next;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const QString done = m_splitFilesPath.isEmpty() ? QString() : m_splitFilesPath.takeFirst();
        // A refused chunk that is not the last goes again once, after the others: a single refusal
        // then costs no new sync. Whether the session is synced is decided by what the server holds.
        if (!isChunkStored(status) && !m_splitFilesPath.isEmpty() && !m_resentChunks.contains(done)) {
            m_resentChunks.insert(done);
            m_splitFilesPath.append(done);
        } else if (!done.isEmpty()) {
            QFile::remove(done);
        }
        if (!m_splitFilesPath.isEmpty())
            next = m_splitFilesPath.first();
    }
    if (!next.isEmpty())
        return upload(next);
    OVLog("(%@)-Upload connectionDidFinishLoading. Session: %@.", serial(), session());
    QByteArray body;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        body = m_uploadReceivedData;
    }
    if (!isChunkStored(status)) {
        const QString description =
            QStringLiteral("Error: %1, %2")
                .arg(OVHTTPStatus::localizedStringForStatusCode(int(status)), QString::fromUtf8(body));
        return onCompleteOperation(createError(description, int(status), OVService::kErrorDomain));
    }
    m_uploadResponseStatusCode.store(0);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_uploadReceivedData.clear();
    }
    onCompleteOperation(serverHoldsEveryByte(body));
}

// The last answer is not enough: an earlier chunk may have been refused twice, or redirected. The
// record's own count of the bytes it holds, given with every stored chunk, decides.
std::optional<OVError> OVSessionSyncher::serverHoldsEveryByte(const QByteArray& lastAnswer) {
    const HeldBytes held = heldBytesFromAnswer(lastAnswer);
    const auto expected = static_cast<qint64>(m_sessionDataFileSize.load());
    if (held.size == expected && held.total == expected)
        return std::nullopt;
    const QString heldText = held.size ? QString::number(*held.size) : QStringLiteral("?");
    OVLog("(%@)-Upload incomplete on the server. Session: %@. Bytes held: %@ of %@", serial(), session(),
          heldText, QString::number(expected));
    return createError(
        QCoreApplication::translate("OVSessionSyncher",
                                    "The server does not hold every byte of the session (%1 of %2 bytes)")
            .arg(heldText, QString::number(expected)),
        kSyncherErrorCode, kErrorDomain);
}

void OVSessionSyncher::connectionDidFailWithError(OVURLConnection* connection, const OVError& error) {
    if (!isCurrentConnection(connection))
        return;
    OVLog("(%@)-Upload didFailWithError. Session: %@. Error: %@", serial(), session(),
          error.fullDescription());
    onCompleteOperation(error);
}

// ---- Endings ----------------------------------------------------------------------------------

bool OVSessionSyncher::end() {
    if (m_ended.exchange(true))
        return false;
    if (OVMainThread::isMainThread())
        stopConnection();
    setExecuting(false);
    setFinished(true);
    return true;
}

void OVSessionSyncher::onCompleteOperation(const std::optional<OVError>& error) {
    if (!end())
        return;
    const auto s = session();
    if (error) {
        OVLog("(%@)-SYNC SESSION FAILED! %@. Error : %@", serial(), s, error->description());
        return notiySyncFailed(*error);
    }
    OVLog("(%@)-SYNC SESSION COMPLETED Success! %@", serial(), s);
    s->setAlreadySynced(true);
    OVError ignored;
    ensureRepo()->updateSession(*s, &ignored);
    notiySyncCompleted();
    const double seconds = OVDate::now().secondsSince1970() - startSyncDate().secondsSince1970();
    OVLog("(%@)-SYNC SESSION [%@] took : %@", serial(), s, OVHelper::formattedStringForDuration(seconds));
}

void OVSessionSyncher::onCancelSyncOperation() {
    if (!end())
        return;
    OVLog("(%@)-SYNC SESSION CANCELLED! %@.", serial(), session());
    notiySyncCancelled();
}

OVError OVSessionSyncher::createError(const QString& description, int errorCode, const QString& errorDomain) {
    return OVHelper::createError(description, errorCode, errorDomain);
}

OVError OVSessionSyncher::unexpectedExceptionError() const {
    return createError(
        QCoreApplication::translate(
            "OVSessionSyncher", "An unexpected exception occurred during session SYNCHER. Please try again"),
        kSyncherErrorCode, kErrorDomain);
}

void OVSessionSyncher::logException(const char* step) {
    const std::exception_ptr exception = std::current_exception();
    const QString what = OVException::describe(exception);
    const QString stack = OVException::callStackOf(exception);
    if (qstrcmp(step, "main") == 0)
        OVLog("(%@)-An exception occurred during session SYNCHER main. Exception: %@, Stack: %@", serial(),
              what, stack);
    else
        OVLog("(%@)-An exception occurred during session SYNCHER startSyncing. Exception: %@, Stack: %@",
              serial(), what, stack);
}

// ---- State reports ----------------------------------------------------------------------------

void OVSessionSyncher::postStatusChanged() {
    OVNotificationCenter::defaultCenter().post(OVNotificationName::OnSessionSyncStatusChanged, session());
}

void OVSessionSyncher::notiySyncStarted() {
    session()->setTransferredBytes(0);
    session()->setSyncStatus(OVSessionSyncStatusSyncStarted);
    postStatusChanged();
}

void OVSessionSyncher::notiySyncProgress(int percentage) {
    const auto s = session();
    s->setSyncStatus(OVSessionSyncStatusSyncing);
    s->setPercentage(percentage);
    postStatusChanged();
}

void OVSessionSyncher::notiySyncCompleted() {
    const auto s = session();
    // A session found complete on the server sends nothing: it must not keep an earlier attempt's value.
    s->setPercentage(100);
    s->setSyncStatus(OVSessionSyncStatusSynced);
    postStatusChanged();
}

void OVSessionSyncher::notiySyncFailed(const OVError& error) {
    const auto s = session();
    s->setSyncStatus(OVSessionSyncStatusSyncFailed);
    s->setSyncErrorInformation(
        QCoreApplication::translate("OVSessionSyncher", "Failed Syncing. Please try again. Error details: %1")
            .arg(error.description()));
    s->setSyncErrorCode(error.code());
    s->setSyncErrorDomain(error.domain());
    postStatusChanged();
}

void OVSessionSyncher::notiySyncCancelled() {
    session()->setSyncStatus(OVSessionSyncStatusSyncCancelled);
    postStatusChanged();
}
