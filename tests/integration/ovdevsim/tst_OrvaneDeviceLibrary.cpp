// The device library against the emulator, through the in-process transport and through the
// daemon's socket: requests with their answers, firmware writes, devices that leave, and persistence
// and stale devices across a daemon restart. Hot-plug reports are the registry's tests; refusals and
// faults the emulator injects are the command suite's and the fault campaign's.
#include "DeviceRig.h"

#include "OrvaneDate.h"
#include "OrvaneStatus.h"
#include "OrvaneWire.h"
#include "SimFirmwareImage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString kSerial = QStringLiteral("OVR0000000000042");

/** Sends one request through `send` and waits for its answer. */
RecordedAnswer ask(const std::function<bool(OrvaneCommandCallback)>& send) {
    AnswerRecorder answers;
    const bool answered =
        send(answers.callback()) && QTest::qWaitFor([&] { return answers.count() == 1; }, 5000);
    return answered ? answers.at(0) : RecordedAnswer();
}

/** The device's sessions that start at `from` or later; none when the list fails. */
OrvaneSessionList listAll(const std::shared_ptr<OrvaneCDCDevice>& device,
                          const OVDate& from = dateWithOrvaneTime(1)) {
    const RecordedAnswer answer = ask([&](auto cb) {
        return device->getSDRecordedSessionListWithTime(from, OVDate::fromSecondsSince1970(4102444800.0),
                                                        nullptr, cb);
    });
    const auto* list = std::any_cast<OrvaneSessionList>(&answer.response);
    return list ? *list : OrvaneSessionList();
}

quint32 defaultUser(const std::shared_ptr<OrvaneCDCDevice>& device) {
    return std::any_cast<quint32>(
        ask([&](auto cb) { return device->getDefaultUserAndNotify(nullptr, cb); }).response);
}

sockaddr_un unixAddress(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
    return address;
}
} // namespace

class tst_OrvaneDeviceLibrary : public QObject {
    Q_OBJECT

private:
    void transports() {
        QTest::addColumn<bool>("socket");
        QTest::newRow("in-process") << false;
        QTest::newRow("socket") << true;
    }

private Q_SLOTS:
    void queriesAnswerOnTheLibraryThread_data() { transports(); }
    void queriesAnswerOnTheLibraryThread() {
        QFETCH(bool, socket);
        DeviceRig rig(socket);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);

        AnswerRecorder answers;
        const QVariantMap info{{QStringLiteral("tag"), 7}};
        QVERIFY(device->getBatteryInformationsAndNotify(nullptr, answers.callback(), info));
        QTRY_COMPARE(answers.count(), 1);
        const RecordedAnswer battery = answers.at(0);
        QCOMPARE(battery.status, 0);
        QCOMPARE(std::any_cast<OrvaneBatteryInformation>(battery.response).batteryLevel, 87);
        QCOMPARE(battery.userInfo, info);
        QCOMPARE(battery.device, std::static_pointer_cast<OrvaneUSBDevice>(device));
        QVERIFY(battery.thread != std::this_thread::get_id());

        const OVDate clock = OVDate::fromSecondsSince1970(1700000000.0);
        QCOMPARE(ask([&](auto cb) { return device->setRTC(clock, nullptr, cb); }).status, 0);
        const double deviceNow = dateWithOrvaneTime(rig.hub().device(kSerial)->clock()).secondsSince1970();
        QVERIFY2(deviceNow >= 1700000000.0 && deviceNow < 1700000010.0,
                 qPrintable(QString::number(deviceNow)));

        QCOMPARE(ask([&](auto cb) { return device->identifyAndNotify(nullptr, cb); }).status, 0);
        QCOMPARE(rig.hub().device(kSerial)->identifyCount, 1u);
    }

    // Page contents and their check are the page storer's tests, through the socket the end-to-end ones.
    void sessionListSelectsByStartAndPagesHaveBounds_data() { transports(); }
    void sessionListSelectsByStartAndPagesHaveBounds() {
        QFETCH(bool, socket);
        DeviceRig rig(socket);
        const auto device = rig.plug(kSerial, 2, 6);
        QVERIFY(device);
        const OrvaneSessionList sessions = listAll(device);
        QCOMPARE(sessions.size(), 2); // their fields: where the session-list command reads them
        QCOMPARE(listAll(device, sessions.at(1)->startTime).size(), 1);
        const quint32 flashPages = rig.hub().device(kSerial)->flashPages;
        QCOMPARE(ask([&](auto cb) { return device->getSDCardPage(flashPages, nullptr, cb); }).status,
                 OrvaneStatus::PageOutOfRange);
        const RecordedAnswer blank = ask([&](auto cb) { return device->getSDCardPage(5000, nullptr, cb); });
        QCOMPARE(std::any_cast<QByteArray>(blank.response), QByteArray(512, '\xFF'));
    }

    // Erasing is the registry's and the window's tests, which also follow a reset to its end.
    void resetRestartsTheDeviceEmpty_data() { transports(); }
    void resetRestartsTheDeviceEmpty() {
        QFETCH(bool, socket);
        DeviceRig rig(socket);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        QCOMPARE(ask([&](auto cb) { return device->resetToFactoryDefaultAndNotify(nullptr, cb); }).status, 0);
        const auto restarted = rig.waitForCdc(kSerial, device);
        QVERIFY(restarted);
        QVERIFY(!device->getBatteryInformationsAndNotify(nullptr, [](auto&&...) {}));
        QCOMPARE(listAll(restarted).size(), 0);
        QCOMPARE(defaultUser(restarted), SimVirtualDevice::kNoUser);
    }

    void firmwareWrite_data() {
        QTest::addColumn<bool>("socket");
        QTest::addColumn<int>("completion"); // each failure has a fault of its own
        for (bool socket : {false, true}) {
            const char* t = socket ? "socket" : "in-process";
            QTest::addRow("%s: valid image", t) << socket << 0;
            QTest::addRow("%s: bad checksum", t) << socket << int(OrvaneStatus::InvalidFirmwareImage);
            QTest::addRow("%s: write fails half-way", t) << socket << int(OrvaneStatus::FirmwareWriteError);
        }
    }
    void firmwareWrite() {
        QFETCH(bool, socket);
        QFETCH(int, completion);
        const QString revisionAfter = QLatin1String(completion == 0 ? "1.1.0" : "1.0.9");
        DeviceRig rig(socket);
        QTemporaryDir dir;
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        QByteArray bytes = SimFirmwareImage::generate(1, 1, 0, 40000).build();
        if (completion == OrvaneStatus::InvalidFirmwareImage)
            bytes[100] = static_cast<char>(bytes[100] ^ 0x55);
        if (completion == OrvaneStatus::FirmwareWriteError)
            rig.hub().addFault(kSerial, SimFault::failFirmwareAt(50, 1));
        auto target = std::make_shared<FirmwareRecorder>();
        QVERIFY(device->flashFirmware(writeFirmware(dir, bytes), target));
        QTRY_COMPARE(target->completions.items(), QList<int>{completion});
        const QList<double> levels = target->levels.items();
        QVERIFY(std::is_sorted(levels.begin(), levels.end()));
        if (completion == 0) {
            QCOMPARE(levels.size(), 10); // 40000 bytes in 4 KiB blocks
            QCOMPARE(levels.last(), 100.0);
            QVERIFY(rig.waitForCdc(kSerial, device));
        } else {
            QVERIFY(levels.isEmpty() || levels.last() < 100.0);
        }
        QCOMPARE(rig.waitForCdc(kSerial)->deviceInformations().fwRevision, revisionAfter);
        QCOMPARE(rig.hub().device(kSerial)->fwRevision, revisionAfter);
        QVERIFY(!device->flashFirmware(dir.filePath(QStringLiteral("missing.hff")), target));
    }

    // Requests queued behind it die with the device too: the fault campaign unplugs devices after
    // some pages.
    void lostAnswerIsHeldUntilItsDeviceLeaves_data() { transports(); }
    void lostAnswerIsHeldUntilItsDeviceLeaves() {
        QFETCH(bool, socket);
        DeviceRig rig(socket);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        AnswerRecorder answers;
        auto target = std::make_shared<int>(); // the library holds it until the answer or the departure
        const std::weak_ptr<int> held = target;
        rig.hub().addFault(kSerial, {SimFault::Kind::NoAnswer, 0, -1, OrvaneOp::Battery});
        QVERIFY(device->getBatteryInformationsAndNotify(std::move(target), answers.callback()));
        QVERIFY(device->getDefaultUserAndNotify(nullptr, answers.callback()));
        QTRY_COMPARE(answers.count(), 1); // the one after the lost one is answered
        QVERIFY(!held.expired());         // the lost one is still held for its device
        QVERIFY(rig.hub().unplug(kSerial));
        QTRY_VERIFY(held.expired());
        QCOMPARE(answers.count(), 1);
    }

    void deviceKeepsItsStateAcrossADaemonRestart() {
        QTemporaryDir state;
        DeviceRig rig(true, state.path());
        auto device = rig.plug(kSerial, 3);
        QVERIFY(device);
        QCOMPARE(ask([&](auto cb) { return device->setDefaultUser(555, nullptr, cb); }).status, 0);
        KeyPathRecorder observer(rig.manager());

        rig.stopEmulator();
        QTRY_VERIFY(rig.manager().cdcOrvanes().isEmpty());
        QCOMPARE(observer.items(), QStringList{QStringLiteral("cdcOrvanes")});

        rig.startEmulator(state.path());
        device = rig.waitForCdc(kSerial);
        QVERIFY(device);
        QCOMPARE(listAll(device).size(), 3);
        QCOMPARE(defaultUser(device), 555u);
    }

    // Emulators number their devices from 1 each time they start; the old objects must never
    // reach whichever new device got their number.
    void staleDeviceRefusesAfterTheEmulatorRestarts_data() { transports(); }
    void staleDeviceRefusesAfterTheEmulatorRestarts() {
        QFETCH(bool, socket);
        DeviceRig rig(socket);
        const QString first = QStringLiteral("OVR0000000000001");
        const QString second = QStringLiteral("OVR0000000000002");
        const auto oldFirst = rig.plug(first, 1);
        const auto oldSecond = rig.plug(second, 1);
        QVERIFY(oldFirst && oldSecond);

        rig.stopEmulator();
        rig.startEmulator();
        QTRY_VERIFY(!oldFirst->isAttached());
        const auto newSecond = rig.plug(second, 3); // now first in line
        const auto newFirst = rig.plug(first, 1);
        QVERIFY(newFirst && newSecond);
        QVERIFY(!oldFirst->isAttached());
        QVERIFY(!oldSecond->isAttached());
        AnswerRecorder stale;
        QVERIFY(!oldFirst->eraseSDCardAndNotify(nullptr, stale.callback()));
        QVERIFY(!oldSecond->getSDCardPage(16, nullptr, stale.callback()));
        QCOMPARE(listAll(newSecond).size(), 3);
        QCOMPARE(listAll(newFirst).size(), 1);
        QCOMPARE(stale.count(), 0);
    }

    // The daemon's acknowledgement is not waited for: an answer that overtakes it is the
    // request's one answer, and a refusal ends the request with a status of its own.
    void socketRequestIsTakenWithoutWaitingForTheDaemon_data() {
        QTest::addColumn<bool>("refuse");
        QTest::newRow("answered, never acknowledged") << false;
        QTest::newRow("refused") << true;
    }
    void socketRequestIsTakenWithoutWaitingForTheDaemon() {
        QFETCH(bool, refuse);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slow.sock"));
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = unixAddress(path);
        QCOMPARE(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(server, 1), 0);
        // A daemon that lists one device, then answers its first request without acknowledging it,
        // or refuses it.
        std::thread daemon([&] {
            const int fd = ::accept(server, nullptr, nullptr);
            const auto write = [fd](OrvaneWire::Frame type, const QByteArray& body) {
                const QByteArray frame = OrvaneWire::frame(type, body);
                ::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL);
            };
            write(OrvaneWire::Frame::Devices,
                  OrvaneWire::encodeDevices({{1, 0, false, kSerial, {}, {}, {}}}));
            QByteArray in;
            char buffer[512];
            qsizetype requestAt = -1; // the hello is 9 bytes, the request follows
            for (ssize_t n; requestAt < 0 && (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
                in.append(buffer, n);
                if (in.size() > 13 && in.size() >= 13 + qFromLittleEndian<quint32>(in.constData() + 9))
                    requestAt = 9;
            }
            const quint32 length = requestAt < 0 ? 1 : qFromLittleEndian<quint32>(in.constData() + requestAt);
            const auto request = OrvaneWire::decodeRequest(in.mid(requestAt + 5, length - 1));
            OrvaneWire::Writer refusal;
            refusal.u64(request ? request->id : 0);
            refusal.u8(0);
            if (request && refuse)
                write(OrvaneWire::Frame::Ack, refusal.bytes());
            else if (request)
                write(OrvaneWire::Frame::Answer, OrvaneWire::encodeAnswer({request->id, 0, {}}));
            ::recv(fd, buffer, sizeof buffer, 0); // until the library lets go
            ::close(fd);
        });
        DeviceRig::manager().setTransport(std::make_shared<OrvaneSocketTransport>(path));
        QTRY_VERIFY(!DeviceRig::manager().cdcOrvanes().isEmpty());
        AnswerRecorder answers;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(DeviceRig::manager().cdcOrvanes().first()->identifyAndNotify(nullptr, answers.callback()));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QTRY_COMPARE(answers.count(), 1);
        QCOMPARE(answers.at(0).status, refuse ? OrvaneStatus::Refused : 0);
        DeviceRig::manager().setTransport(nullptr);
        daemon.join();
        ::close(server);
        QCOMPARE(answers.count(), 1);
    }

    void daemonSurvivesMalformedInput_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("length beyond the limit") << QByteArray::fromHex("ffffff7f03");
        QTest::newRow("zero length") << QByteArray::fromHex("0000000000");
        QTest::newRow("truncated request")
            << OrvaneWire::frame(OrvaneWire::Frame::Request, QByteArray::fromHex("0102"));
        QTest::newRow("unknown op") << OrvaneWire::frame(
            OrvaneWire::Frame::Request,
            OrvaneWire::encodeRequest({1, 1, OrvaneOp::Battery, 0, 0, {}}).replace(12, 1, "\x63"));
        QTest::newRow("unknown frame type") << OrvaneWire::frame(static_cast<OrvaneWire::Frame>(77), "x");
        QTest::newRow("control that is not JSON") << OrvaneWire::frame(OrvaneWire::Frame::Control, "{nope");
        QTest::newRow("request for an unknown device") << OrvaneWire::frame(
            OrvaneWire::Frame::Request, OrvaneWire::encodeRequest({1, 999, OrvaneOp::Battery, 0, 0, {}}));
    }
    void daemonSurvivesMalformedInput() {
        QFETCH(QByteArray, bytes);
        DeviceRig rig(true);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = unixAddress(rig.socketPath());
        QCOMPARE(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL), ssize_t(bytes.size()));
        char reply[256];
        QVERIFY(::recv(fd, reply, sizeof reply, 0) > 0); // an error, an ack or a control reply: never silence
        ::close(fd);
        QCOMPARE(ask([&](auto cb) { return device->getBatteryInformationsAndNotify(nullptr, cb); }).status,
                 0);
    }
};

QTEST_GUILESS_MAIN(tst_OrvaneDeviceLibrary)
#include "tst_OrvaneDeviceLibrary.moc"
