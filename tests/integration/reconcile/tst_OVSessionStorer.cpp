// The download of a whole device: emulator devices in process, states from a real ovcloud server, and
// a device manager that records the uploads handed to it.
#include "CloudRig.h"
#include "NullDeviceManager.h"
#include "OVDataLookup.h"
#include "OVSessionStorer.h"
#include "PageStorerTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

const QString kListFailed =
    QStringLiteral("Error in fetching data from the device. Please try to re-insert the device in the usb");
const QString kPagesFailed =
    QStringLiteral("Error occured during the saving of the sessions data pages in the "
                   "local storage. Please try to re-insert the device into the USB");
const QString kQueuedLine = QStringLiteral("doesn't have all the pages in the DB\\. Will store pages$");
constexpr double kDay = 86400;

/** A device manager that only records the uploads handed to it; every other operation does nothing. */
class RecordingDeviceManager : public NullDeviceManager {
public:
    struct Upload {
        double start;
        bool forced;
        bool operator==(const Upload& o) const { return start == o.start && forced == o.forced; }
    };

    QList<Upload> uploads() const { return m_uploads.items(); }
    void syncSession(const std::shared_ptr<OVSession>& session,
                     const std::shared_ptr<OVDeviceInfo>&) override {
        m_uploads.append({session->start().secondsSince1970(), false});
    }
    void forceSyncSession(const std::shared_ptr<OVSession>& session,
                          const std::shared_ptr<OVDeviceInfo>&) override {
        m_uploads.append({session->start().secondsSince1970(), true});
    }

private:
    Recorded<Upload> m_uploads;
};

/** The fetch states a device went through, each with the number of page outcomes posted before it. */
class FetchWatch {
public:
    explicit FetchWatch(QString serial)
        : m_serial(std::move(serial)) {
        auto& center = OVNotificationCenter::defaultCenter();
        center.addObserver(this, OVNotificationName::OnDeviceSessionFetchStatusChanged,
                           [this](const OVNotification& n) {
                               const auto info = n.objectAs<OVDeviceInfo>();
                               if (info && info->serial() == m_serial)
                                   m_changes.append({info->fetchStatus(), m_outcomes.load()});
                           });
        center.addObserver(this, OVNotificationName::OnSessionListChangedForDevice,
                           [this](const OVNotification&) { ++m_listChanges; });
        for (const QString& name :
             {OVNotificationName::OnSessionStoredSuccess, OVNotificationName::OnSessionStoredFailed})
            center.addObserver(this, name, [this](const OVNotification& n) {
                if (n.objectAs<OVSession>()->deviceSerial() == m_serial)
                    ++m_outcomes;
            });
    }
    ~FetchWatch() { OVNotificationCenter::defaultCenter().removeObserver(this); }
    QList<QPair<int, int>> changes() const { return m_changes.items(); }
    int listChanges() const { return m_listChanges.load(); }

private:
    const QString m_serial;
    Recorded<QPair<int, int>> m_changes;
    std::atomic<int> m_outcomes{0}, m_listChanges{0};
};

} // namespace

class tst_OVSessionStorer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(m_cloud.start(&error), qPrintable(error));
        OVDataLookup::sharedInstance().setService(&m_cloud.service());
    }
    void init() {
        m_log = OVLogCapture::install();
        m_manager = std::make_unique<RecordingDeviceManager>();
    }
    void cleanup() {
        OVLogCapture::uninstall();
        m_rig.hub().setLinkModel(SimLinkModel::zeroDelay());
    }

    // Three sessions, one with an unreadable page: the run ends FetchFailed after the last page storer, the
    // others are handed over for upload; a second run reads only the failed session again.
    void downloadsAWholeDevice() {
        const QString serial = QStringLiteral("OVR0000000000301");
        const auto device = m_rig.plug(serial, 3);
        const OVSessionList listed = device ? listSessions(device) : OVSessionList();
        QCOMPARE(listed.size(), 3);
        QVERIFY(m_rig.hub().addFault(
            serial, {SimFault::Kind::FailPage, quint32(listed[1]->startPage() + 3), -1, std::nullopt}));
        const auto info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*device);
        const double s0 = startsOf(listed)[0], s1 = startsOf(listed)[1], s2 = startsOf(listed)[2];
        {
            FetchWatch watch(serial);
            const auto storer = makeStorer(device, info, true);
            storer->storeSessions();
            QVERIFY(waitForEnd(*storer, *info));
            QCOMPARE(watch.changes(), (QList<QPair<int, int>>{{1, 0}, {3, 3}}));
            QCOMPARE(info->fetchErrorInformation(), kPagesFailed);
        }
        QCOMPARE(startsOf(info->sessions()), (QList<double>{s2, s1, s0}));
        QCOMPARE(m_manager->uploads(), (QList<RecordingDeviceManager::Upload>{{s0, false}, {s2, false}}));

        QVERIFY(m_rig.hub().clearFaults(serial));
        m_log->clear();
        const std::shared_ptr<OVSession> kept = info->sessions().last();
        const auto firstListing = kept->ovSession();
        const QString record = OVSessionFileRepository().getSessionFilePath(*kept, nullptr);
        const QDateTime written = QFileInfo(record).lastModified();
        const auto again = makeStorer(device, info, true);
        again->storeSessions();
        QVERIFY(waitForEnd(*again, *info));
        QVERIFY(kept->ovSession() && kept->ovSession() != firstListing);
        QCOMPARE(QFileInfo(record).lastModified(), written);
        QCOMPARE(info->fetchStatus(), int(OVDeviceFetchStatusFetched));
        QCOMPARE(m_log->count(kQueuedLine), 1);
        QVERIFY(storedBytes(*listed[1]) == deviceSessionBytes(m_rig.hub(), serial, 1));
        QCOMPARE(m_manager->uploads().mid(2),
                 (QList<RecordingDeviceManager::Upload>{{s0, false}, {s2, false}, {s1, false}}));
    }

    // The device's list and the store disagree about a session: its record is not in the store while the
    // list has it (another run of the device listed it a moment before this one looked), or the store has
    // it while the list does not (a refresh dropped at a sign-out). Either way the run lists it once.
    void aSessionIsListedOnceWhateverTheStoreHeld_data() {
        QTest::addColumn<bool>("recordMissing");
        QTest::newRow("record missing from the store") << true;
        QTest::newRow("entry missing from the list") << false;
    }
    void aSessionIsListedOnceWhateverTheStoreHeld() {
        QFETCH(bool, recordMissing);
        const QString serial =
            recordMissing ? QStringLiteral("OVR0000000000309") : QStringLiteral("OVR0000000000308");
        const auto device = m_rig.plug(serial, 2);
        QVERIFY(device);
        const auto info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*device);
        const auto first = makeStorer(device, info, false);
        first->storeSessions();
        QVERIFY(waitForEnd(*first, *info));
        const QList<double> starts = startsOf(info->sessions());
        QCOMPARE(starts.size(), 2);
        const QString record =
            OVSessionFileRepository().getSessionFilePath(*info->sessions().first(), nullptr);
        if (recordMissing)
            QVERIFY(QDir(QFileInfo(record).absolutePath()).removeRecursively());
        else
            info->modifySessions([](OVSessionList& sessions) { sessions.removeFirst(); });

        const auto again = makeStorer(device, info, false);
        again->storeSessions();
        QVERIFY(waitForEnd(*again, *info));
        QCOMPARE(startsOf(info->sessions()), starts);
        QVERIFY(QFileInfo::exists(record));
    }

    void removesSessionsTheDeviceNoLongerHolds_data() {
        QTest::addColumn<int>("deviceSessions");
        QTest::addColumn<bool>("alreadySynced");
        QTest::addColumn<qint64>("held");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("recordKept");
        QTest::newRow("uploaded") << 1 << true << 0LL << true << false;
        QTest::newRow("nothing held, can no longer be completed") << 1 << false << 0LL << true << false;
        QTest::newRow("pages held only here") << 1 << false << 512LL << true << true;
        QTest::newRow("complete, not uploaded yet") << 1 << false << 2048LL << false << true;
        QTest::newRow("device lists nothing, uploaded") << 0 << true << 0LL << true << false;
    }

    // Without page storing the run still lists, refreshes, cleans up and ends Fetched at once.
    void removesSessionsTheDeviceNoLongerHolds() {
        QFETCH(int, deviceSessions);
        QFETCH(bool, alreadySynced);
        QFETCH(qint64, held);
        QFETCH(bool, removed);
        QFETCH(bool, recordKept);
        const QString serial =
            QStringLiteral("OVR00000000004%1").arg(++m_serialNumber, 2, 10, QLatin1Char('0'));
        const auto device = m_rig.plug(serial, deviceSessions);
        QVERIFY(device);
        const auto old = storedSession(serial, OVDate::now().secondsSince1970() - 30 * kDay, 101, 4, held);
        old->setAlreadySynced(alreadySynced);
        const auto info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*device);
        info->setSessions({old});
        FetchWatch watch(serial);
        const auto storer = makeStorer(device, info, false);
        storer->setStorePages(false);
        storer->storeSessions();
        QVERIFY(waitForEnd(*storer, *info));

        QCOMPARE(watch.changes(), (QList<QPair<int, int>>{{1, 0}, {2, 0}}));
        QCOMPARE(watch.listChanges(), 1);
        QCOMPARE(info->sessions().size(), deviceSessions + (removed ? 0 : 1));
        QCOMPARE(info->sessions().contains(old), !removed);
        QCOMPARE(OVSessionFileRepository().doesSessionExist(*old, nullptr), recordKept);
    }

    void aRunEndsFailedUnlessReplaced_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::newRow("session list refused") << "refuse" << kListFailed;
        QTest::newRow("destroyed before any answer") << "destroy" << kListFailed;
        QTest::newRow("cancelled while storing") << "cancel" << kPagesFailed;
        // A full disk: the sessions are in no list, and only the failure says the device holds them.
        QTest::newRow("store refuses the listed sessions") << "unwritable" << kPagesFailed;
        // Replugged before its list answered: the status is the newer run's.
        QTest::newRow("replaced by a newer run") << "replace" << QString();
    }

    void aRunEndsFailedUnlessReplaced() {
        QFETCH(QString, how);
        QFETCH(QString, message);
        const QString serial =
            QStringLiteral("OVR00000000005%1").arg(++m_serialNumber, 2, 10, QLatin1Char('0'));
        const auto device = m_rig.plug(serial, 2, 64);
        QVERIFY(device);
        const auto info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*device);
        auto storer = makeStorer(device, info, false);
        if (how == QLatin1String("replace")) {
            info->setFetchStatus(OVDeviceFetchStatusFetching);
            storer->endReports();
            storer.reset();
            QCOMPARE(info->fetchStatus(), int(OVDeviceFetchStatusFetching));
            return;
        }
        if (how == QLatin1String("destroy")) {
            storer.reset();
        } else if (how == QLatin1String("unwritable")) {
            // A file where the device's folder goes: no session record can be written (as root, which
            // the tests may run as, a read-only folder would not stop it).
            const QString folder = OVSessionFileRepository().getStoragePath(nullptr) + u'/' + serial;
            QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            storer->storeSessions();
        } else if (how == QLatin1String("refuse")) {
            QVERIFY(m_rig.hub().addFault(serial, {SimFault::Kind::Refuse, 0, -1, OrvaneOp::SessionList}));
            storer->storeSessions();
        } else {
            SimLinkModel slow = SimLinkModel::zeroDelay();
            slow.latencyUs = 20000;
            m_rig.hub().setLinkModel(slow);
            storer->storeSessions();
            QVERIFY(QTest::qWaitFor([&] { return storer->storageInfoDic().size() == 2; }, 30000));
            storer->cancelStoring();
        }
        QVERIFY(
            QTest::qWaitFor([&] { return info->fetchStatus() == OVDeviceFetchStatusFetchFailed; }, 60000));
        QCOMPARE(info->fetchErrorInformation(), message);
        if (storer)
            QVERIFY(waitForEnd(*storer, *info));
    }

    // A forced store of an uploaded, complete session still runs a page storer and asks for a forced
    // upload; its run ended Fetched, and releasing the storer leaves that so.
    void forcedStoreOfAnUploadedSession() {
        const auto [device, info] = storedOnce(QStringLiteral("OVR0000000000601"));
        QVERIFY(info);
        const std::shared_ptr<OVSession> session = info->sessions().value(0);
        session->setSyncStatus(OVSessionSyncStatusSynced);
        m_log->clear();

        auto forced = makeStorer(device, info, true);
        forced->setForceStoring(true);
        forced->storeSessionPages({session});
        QVERIFY(QTest::qWaitFor([&] { return m_manager->uploads().size() == 1; }, 30000));
        QCOMPARE(m_manager->uploads().first(),
                 (RecordingDeviceManager::Upload{session->start().secondsSince1970(), true}));
        QCOMPARE(m_log->count(kQueuedLine), 1);
        QVERIFY(waitForEnd(*forced, *info));
        QCOMPARE(info->fetchStatus(), int(OVDeviceFetchStatusFetched));
        forced.reset();
        QCOMPARE(info->fetchStatus(), int(OVDeviceFetchStatusFetched));
    }

    // Data held in full was checked when its last page came, unless the service stopped before the check or
    // before the retry of a failed one: it is checked again before its upload is asked for, and a corrupt
    // copy is fetched again from the device.
    void heldDataIsCheckedBeforeItsUpload() {
        const QString serial = QStringLiteral("OVR0000000000701");
        const auto [device, info] = storedOnce(serial);
        QVERIFY(info);
        const std::shared_ptr<OVSession> session = info->sessions().value(0);
        QByteArray corrupt = storedBytes(*session);
        corrupt[600] = char(corrupt[600] ^ 0x5a);
        QVERIFY(writeFileBytes(OVSessionFileRepository().getSessionDataFilePath(*session, nullptr), corrupt));
        m_log->clear();

        const auto again = makeStorer(device, info, true);
        again->storeSessions();
        QVERIFY(waitForEnd(*again, *info));
        QVERIFY(QTest::qWaitFor([&] { return m_manager->uploads().size() == 1; }, 30000));
        QCOMPARE(m_log->count(QStringLiteral("CRC check failed for the data held for session")), 1);
        QVERIFY(storedBytes(*session) == deviceSessionBytes(m_rig.hub(), serial, 0));
    }

private:
    /** A device with one session, stored once without an upload; no record when that failed. */
    std::pair<std::shared_ptr<OrvaneCDCDevice>, std::shared_ptr<OVDeviceInfo>>
    storedOnce(const QString& serial) {
        const auto device = m_rig.plug(serial, 1);
        if (!device)
            return {};
        const auto info = OVDeviceInfo::buildDeviceInfoFromUSBDevice(*device);
        const auto first = makeStorer(device, info, false);
        first->storeSessions();
        if (!waitForEnd(*first, *info) || info->sessions().isEmpty())
            return {};
        return {device, info};
    }

    std::shared_ptr<OVSessionStorer> makeStorer(const std::shared_ptr<OrvaneCDCDevice>& device,
                                                const std::shared_ptr<OVDeviceInfo>& info,
                                                bool syncAfterStoring) {
        auto storer = std::make_shared<OVSessionStorer>();
        storer->setUsbDevice(device);
        storer->setDeviceInfo(info);
        storer->setCommandFactory(m_factory);
        storer->setDeviceMgr(m_manager.get());
        storer->setService(&m_cloud.service());
        storer->setStorePages(true);
        storer->setSyncAfterStoring(syncAfterStoring);
        return storer;
    }

    static bool waitForEnd(OVSessionStorer& storer, const OVDeviceInfo& info) {
        return QTest::qWaitFor(
            [&] {
                const int status = info.fetchStatus();
                return (status == OVDeviceFetchStatusFetched || status == OVDeviceFetchStatusFetchFailed) &&
                       storer.queue().operationCount() == 0 && !storer.storageInfoDic().values().contains(-1);
            },
            120000);
    }

    static QByteArray storedBytes(const OVSession& session) {
        return fileBytes(OVSessionFileRepository().getSessionDataFilePath(session, nullptr));
    }

    CloudRig m_cloud;
    DeviceRig m_rig{false};
    std::shared_ptr<OVCommandFactory> m_factory = std::make_shared<OVCommandFactory>();
    std::shared_ptr<OVLogCapture> m_log;
    std::unique_ptr<RecordingDeviceManager> m_manager;
    int m_serialNumber = 0;
};

QTEST_GUILESS_MAIN(tst_OVSessionStorer)
#include "tst_OVSessionStorer.moc"
