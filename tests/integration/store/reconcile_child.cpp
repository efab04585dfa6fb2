// The child of tst_KilledReconcile: reconciles every session of the store under $XDG_DATA_HOME with a
// web API that holds a complete record of each, so that each record is rewritten as uploaded. Prints
// "ready" just before the reconcile starts, and exits 0 once it has returned.
#include "OVHelper.h"
#include "OVServiceProtocol.h"
#include "OVSessionFileRepository.h"
#include "OVSessionStatusInquirer.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// Answers the record query with a complete record for each session, in one page.
class CompleteRecords : public OVServiceProtocol {
public:
    explicit CompleteRecords(const OVSessionList& sessions) {
        for (const auto& session : sessions) {
            OVRecord record;
            record.startTimestamp = session->start();
            record.device = OVHelper::getDeviceURIFromSerial(session->deviceSerial());
            OVUser user;
            user.identifier = qint64(session->userId());
            record.user = user;
            record.status = OVRecordStatusComplete;
            m_records.append(record);
        }
    }

    void authenticate(const QString&, const QString&, AuthenticateCompletion) override {}
    std::optional<QList<OVTeam>> getTeams(OVError*) override { return std::nullopt; }
    std::optional<QList<OVUser>> getAtheletes(OVError*) override { return std::nullopt; }
    std::optional<OVRecordsPage> getRecordsByFilter(const OVRecordFilter&, OVError*) override {
        return OVRecordsPage{OVGetMetaData(), m_records};
    }
    bool createRecord(OVRecord&, OVError*) override { return false; }
    std::optional<OVURLRequest> createUploadRecordRequest(const OVRecord&, const QString&, quint64,
                                                          OVError*) override {
        return std::nullopt;
    }

private:
    QList<OVRecord> m_records;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    OVSessionFileRepository repository;
    OVError error;
    const std::optional<OVSessionList> sessions = repository.getAllSessions(&error);
    if (!sessions || sessions->isEmpty()) {
        std::fprintf(stderr, "no sessions to reconcile: %s\n", qPrintable(error.description()));
        return 2;
    }
    CompleteRecords service(*sessions);
    OVSessionStatusInquirer inquirer;
    inquirer.setService(&service);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    inquirer.updateSessionsStatus(*sessions);
    return 0;
}
