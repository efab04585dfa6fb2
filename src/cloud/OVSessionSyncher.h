#pragma once

#include "OVDate.h"
#include "OVError.h"
#include "OVOperation.h"
#include "OVRecord.h"
#include "OVServiceProtocol.h"
#include "OVSession.h"
#include "OVSessionRepositoryProtocol.h"
#include "OVURLConnection.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

/**
 * Uploads one stored session to the web API. A concurrent queued operation: start() runs main() on a
 * thread of its own, which finds or creates the session's record and splits the data file into 5 MiB
 * chunk files; the chunks then go up one after another through connections on the main thread.
 *
 *   start ─► main: find record ─┬─ complete (status 0) ───────────────────────────► synced
 *                               ├─ incomplete (status 1) ─► startSyncing ─┐
 *                               └─ none / deleted ─► create ─► startSyncing ─┤
 *   startSyncing: (empty data file: rebuild it from the page files) ─► split, leaving out the chunks
 *                 an incomplete record already holds (chunksToSend) ─► upload the first chunk left
 *   chunk i answered ─► delete its file ─► upload chunk i+1 … last chunk answered:
 *                       (not 200, not last: queued once more after the others)
 *     200 and the record holds every byte of the data file ─► synced, else ─► failed
 *   an error at any step ─► failed;   cancelled at a check point ─► cancelled
 *
 * The session's sync status moves 2 → 3 (repeated, with percentage) → 4, 5 or 6, each change posted
 * as "OnSessionSyncStatusChanged" with the session. Every chunk request is built and signed on a
 * worker thread (signing may wait for the network clock), never on the main thread. Memory stays at
 * one piece of kSplitPieceSize bytes whatever the session's size. Create with std::make_shared.
 */
class OVSessionSyncher : public OVOperation, public OVURLConnectionDelegate {
public:
    static const QString kErrorDomain;
    static constexpr qint64 kChunkSize = 5242880;
    /** The bytes splitFile holds at a time while it writes the chunk files. */
    static constexpr qint64 kSplitPieceSize = 65536;

    OVSessionSyncher() = default;
    /** The service is not owned and must outlive the operation. */
    OVSessionSyncher(OVServiceProtocol* service, std::shared_ptr<OVSession> session);
    ~OVSessionSyncher() override;

    void setService(OVServiceProtocol* service);
    OVServiceProtocol* service() const;
    void setSession(std::shared_ptr<OVSession> session);
    std::shared_ptr<OVSession> session() const;
    /** The store; main() makes a file repository when none was set. */
    void setRepo(std::shared_ptr<OVSessionRepositoryProtocol> repo);
    std::shared_ptr<OVSessionRepositoryProtocol> repo() const;

    bool isConcurrent() const override { return true; }
    /** Called by the queue: reports a cancellation at once, or runs main() on a new thread. */
    void start() override;
    void main() override;
    /**
     * cancel(), and when called on the main thread once the chunks are under way, also stops the
     * chunk and ends the operation as cancelled at once: a main thread about to wait for the queue
     * to drain would otherwise wait for callbacks only it can deliver. cancel() alone is cooperative.
     */
    void cancelNow();

    /**
     * The session's record (device, start and user, OVRecord::matchesSession) among those the query
     * for them returns, deleted ones left out; none when there is none.
     */
    std::optional<OVRecord> findRecord(OVError* error);
    void startSyncing(const OVRecord& record);
    /**
     * Writes the chunk files "part_%i_%lli_%lli.dat" next to the data file; their paths in order. The
     * chunks whose indexes are in skipped are left out, and a file of theirs left by an earlier attempt
     * is removed.
     */
    QStringList splitFile(const QString& path, OVError* error, const QSet<int>& skipped = {});
    /**
     * The indexes of the chunks of a data file of fileSize bytes to send to the record. All of them,
     * unless the record is incomplete, declares fileSize as its total and lists the byte ranges it
     * holds: then a chunk lying wholly inside a held range is left out. At least one chunk always goes
     * (the last one not held, else the last chunk): its answer decides whether the session is synced.
     */
    static QList<int> chunksToSend(qint64 fileSize, const OVRecord& record);
    void upload(const QString& chunkPath);
    void onCompleteOperation(const std::optional<OVError>& error);
    void onCancelSyncOperation();
    static OVError createError(const QString& description, int errorCode, const QString& errorDomain);

    void notiySyncStarted();
    void notiySyncProgress(int percentage);
    void notiySyncCompleted();
    void notiySyncFailed(const OVError& error);
    void notiySyncCancelled();

    /** The whole percentage of total that written bytes make, never above 100. */
    static int percentageForBytes(quint64 written, quint64 total);

    void connectionDidReceiveResponse(OVURLConnection* connection, qint64 statusCode) override;
    void connectionDidReceiveData(OVURLConnection* connection, const QByteArray& data) override;
    void connectionDidSendBodyData(OVURLConnection* connection, qint64 bytesWritten, qint64 totalBytesWritten,
                                   qint64 totalBytesExpectedToWrite) override;
    void connectionDidFinishLoading(OVURLConnection* connection) override;
    void connectionDidFailWithError(OVURLConnection* connection, const OVError& error) override;

    OVDate startSyncDate() const;
    quint64 sessionDataFileSize() const { return m_sessionDataFileSize.load(); }
    qint64 uploadResponseStatusCode() const { return m_uploadResponseStatusCode.load(); }
    quint64 realTotalBytesWritten() const { return m_realTotalBytesWritten.load(); }
    QStringList splitFilesPath() const;
    std::optional<OVRecord> recordUploading() const;

private:
    bool rebuildDataFile(const QString& dataFilePath);
    /** The chunks left out because the record holds them; logs them and counts them as stored. */
    QSet<int> chunksHeld(const OVRecord& record);
    void sendChunk(const QString& chunkPath);
    void startConnection(const OVURLRequest& request);
    bool isCurrentConnection(OVURLConnection* connection) const;
    OVError unexpectedExceptionError() const;
    void logException(const char* step);
    void stopConnection();
    int progressPercentage();
    /** None when the last stored chunk's answer says the record holds the whole data file. */
    std::optional<OVError> serverHoldsEveryByte(const QByteArray& lastAnswer);
    /** Marks the end once; false when the operation had already ended. */
    bool end();
    void postStatusChanged();
    std::shared_ptr<OVSessionRepositoryProtocol> ensureRepo();
    QString serial() const;
    QString sessionDescription() const;

    mutable std::mutex m_mutex;
    /** Not owned. */
    OVServiceProtocol* m_service = nullptr;
    std::shared_ptr<OVSession> m_session;
    std::shared_ptr<OVSessionRepositoryProtocol> m_repo;
    OVDate m_startSyncDate;
    QStringList m_splitFilesPath;
    /** Refused chunks already queued a second time. */
    QSet<QString> m_resentChunks;
    std::optional<OVRecord> m_recordUploading;
    /** The body of the latest chunk answer, from its response on. */
    QByteArray m_uploadReceivedData;
    /** Main thread only: created, started, cancelled and deleted there. */
    OVURLConnection* m_uploadConnection = nullptr;

    std::atomic<quint64> m_sessionDataFileSize{0};
    std::atomic<qint64> m_uploadResponseStatusCode{0};
    std::atomic<quint64> m_realTotalBytesWritten{0};
    /** Bytes of the chunks the server answered as stored, or held before this upload and left out. */
    std::atomic<quint64> m_storedBytes{0};
    /** Bytes of the chunk under way, as its connection counts them. */
    std::atomic<quint64> m_chunkBytesWritten{0};
    std::atomic<int> m_percentageShown{0};
    std::atomic<bool> m_ended{false};
    /** Set once the first chunk is being sent: from then on the main thread drives the operation. */
    std::atomic<bool> m_uploading{false};
};
