// The command framework against the emulator: the retry rule with its pause and log lines, the
// single final report (failure, refusal, lost answer), the weak delegate, a failure to send.
#include "DeviceRig.h"
#include "ReportRecorder.h"

#include "OVCommandFactory.h"
#include "OVCommandFirmwareUpdate.h"
#include "OVCommandGetBatteryLevel.h"
#include "OVCommandGetPage.h"
#include "OVCommandIdentify.h"
#include "OVCommandSetClock.h"
#include "OvFirmwareImage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

namespace {
const QString kSerial = QStringLiteral("OVR0000000000314");

std::shared_ptr<OVCommand> configure(std::shared_ptr<OVCommand> command,
                                     const std::shared_ptr<OrvaneUSBDevice>& device,
                                     const std::shared_ptr<OVCommandDelegate>& delegate, bool retry,
                                     int retries) {
    command->setDevice(device);
    command->setCommandDelegate(delegate);
    command->setAllowRetry(retry);
    command->setRetryNumber(retries);
    return command;
}

/** A page read that fails, the log lines and the one report it must give, and how long it may take. */
struct RetryCase {
    bool allowRetry = true;
    int failures = -1; // failed reads before the page reads; -1: it never does
    int requests = 0, willRetry = 0, maxRetry = 0;
    int status = 0;
    int pauseMs = 0; // the retry pause the command is given
    int pauses = 0;  // pauses the run must have waited at least

    static RetryCase readFailing(int times, bool retry) {
        RetryCase c;
        c.failures = times;
        c.allowRetry = retry;
        return c;
    }
    /** Page requests sent (each failed one logged), "Will retry" lines, "Max retry" lines. */
    RetryCase logs(int sent, int retries, int maxReached) {
        requests = sent;
        willRetry = retries;
        maxRetry = maxReached;
        return *this;
    }
    RetryCase reports(int finalStatus) { return status = finalStatus, *this; }
    RetryCase pausing(int ms, int count) {
        pauseMs = ms;
        pauses = count;
        return *this;
    }
};
} // namespace

Q_DECLARE_METATYPE(RetryCase)

class tst_OVCommand : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void retryRule_data() {
        QTest::addColumn<RetryCase>("c");
        // A pause longer than the wait for the report proves that a command without retry never
        // pauses.
        QTest::newRow("always failing, five retries")
            << RetryCase::readFailing(-1, true).logs(6, 5, 1).reports(2).pausing(20, 6);
        QTest::newRow("retry off: one report, no pause")
            << RetryCase::readFailing(-1, false).logs(1, 0, 0).reports(2).pausing(60000, 0);
        QTest::newRow("two failures, then the page")
            << RetryCase::readFailing(2, true).logs(3, 2, 0).reports(0).pausing(20, 2);
    }
    void retryRule() {
        QFETCH(RetryCase, c);
        const auto [allowRetry, failures, requests, willRetry, maxRetry, status, pauseMs, pauses] = c;
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial, 1, 4);
        QVERIFY(device);
        const quint32 page = OvVirtualDevice::kFirstSessionPage + 1;
        rig.hub().addFault(kSerial, {OvFault::Kind::FailPage, page, failures, std::nullopt});
        auto recorder = std::make_shared<ReportRecorder>();
        auto command = OVCommandFactory().createGetPageCommand(page);
        configure(command, device, recorder, allowRetry, 5);
        command->setRetryPause(std::chrono::milliseconds(pauseMs));
        QElapsedTimer timer;
        timer.start();
        command->execute();
        command.reset(); // as an owner does: the library keeps it alive
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses().size(), 1, 10000);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(recorder->statuses(), QList<int>{status});
        const QString failed =
            QStringLiteral("^<OVCommandGetPage: 0x[0-9a-f]+> command on device %1 failed! with "
                           "status 4\\. PageNumber = %2$")
                .arg(kSerial)
                .arg(page);
        QCOMPARE(log->count(failed), requests - (status == 0 ? 1 : 0));
        QCOMPARE(log->count(QStringLiteral("^Will retry <OVCommandGetPage: 0x[0-9a-f]+> command on device ") +
                            kSerial +
                            QStringLiteral(" because current retry \\[\\d\\] < max retry \\[5\\]$")),
                 willRetry);
        QCOMPARE(log->count(
                     QStringLiteral("^Max retry for .* reached\\. Will not retry\\. current retry \\[5\\] = "
                                    "max retry \\[5\\]$")),
                 maxRetry);
        QCOMPARE(log->count(QStringLiteral("allow retry$")),
                 allowRetry ? requests - (status == 0 ? 1 : 0) : 0);
        QVERIFY2(elapsed >= qint64(pauses) * pauseMs && (pauses > 0 || elapsed < pauseMs),
                 qPrintable(QString::number(elapsed)));
        if (status == 0) {
            QCOMPARE(std::any_cast<QByteArray>(recorder->reports().first().result).size(), 512);
        }
        QCOMPARE(log->count(QStringLiteral("callback was not called")), 0);
    }

    void oneFinalReportWhateverEndsTheCommand_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<bool>("allowRetry");
        QTest::addColumn<QString>("logged");
        QTest::newRow("refused, no retry")
            << "refused" << false << QStringLiteral("command failed for device : ") + kSerial;
        QTest::newRow("refused five times, then taken")
            << "refused-then-taken" << true << QStringLiteral("command failed for device : ") + kSerial;
        QTest::newRow("device unplugged while pending")
            << "unplugged" << true
            << QStringLiteral("callback was not called. Could be because the device is no longer plugged in");
        QTest::newRow("daemon link gone while pending")
            << "transport-gone" << false
            << QStringLiteral("callback was not called. Could be because the device is no longer plugged in");
    }
    void oneFinalReportWhateverEndsTheCommand() {
        QFETCH(QString, ending);
        QFETCH(bool, allowRetry);
        QFETCH(QString, logged);
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        auto recorder = std::make_shared<ReportRecorder>();
        if (ending == QLatin1String("refused"))
            rig.hub().addFault(kSerial, {OvFault::Kind::Refuse, 0, -1, std::nullopt});
        else if (ending == QLatin1String("refused-then-taken"))
            rig.hub().addFault(kSerial, {OvFault::Kind::Refuse, 0, 5, std::nullopt});
        else
            rig.hub().addFault(kSerial, {OvFault::Kind::NoAnswer, 0, -1, std::nullopt});
        std::weak_ptr<OVCommand> watch;
        {
            auto command = std::make_shared<OVCommandIdentify>();
            watch = command;
            configure(command, device, recorder, allowRetry, 5)->execute();
        }
        if (ending == QLatin1String("unplugged"))
            QVERIFY(rig.hub().unplug(kSerial));
        if (ending == QLatin1String("transport-gone"))
            rig.manager().setTransport(nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses().size(), 1, 10000);
        QTRY_VERIFY(watch.expired()); // nobody holds a command that has ended
        QCOMPARE(recorder->statuses(), QList<int>{ending == QLatin1String("refused-then-taken") ? 0 : 2});
        QVERIFY(log->count(QRegularExpression::escape(logged)) >= 1);
        if (ending.startsWith(QLatin1String("refused")))
            QCOMPARE(log->count(QStringLiteral("callback was not called")), 0);
        else
            QCOMPARE(log->count(QStringLiteral("Will retry")), 0); // a lost answer is not retried
    }

    void aDelegateThatThrowsGetsOneFinalReport_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("refused on the last retry") << "refused";
        QTest::newRow("lost answer, released on the library's thread") << "unplugged";
        QTest::newRow("no network date, on the network answer's thread") << "no-date";
    }
    void aDelegateThatThrowsGetsOneFinalReport() {
        // The report's exception must not restart the command nor escape a library or queue
        // thread (where it would end the process).
        QFETCH(QString, ending);
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        struct Throwing : ReportRecorder {
            void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                   const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                   const std::any& result) override {
                ReportRecorder::onCommandExecuted(command, device, status, result);
                throw std::runtime_error("delegate trouble");
            }
        };
        auto recorder = std::make_shared<Throwing>();
        std::shared_ptr<OVCommand> command;
        if (ending == QLatin1String("no-date")) {
            qputenv("OV_NETWORK_TIME_URL", "http://127.0.0.1:1/");
            command = std::make_shared<OVCommandSetClock>();
        } else {
            rig.hub().addFault(kSerial, {ending == QLatin1String("refused") ? OvFault::Kind::Refuse
                                                                            : OvFault::Kind::NoAnswer,
                                         0, -1, std::nullopt});
            command = std::make_shared<OVCommandIdentify>();
        }
        configure(command, device, recorder, ending == QLatin1String("refused"), 1)->execute();
        command.reset();
        if (ending == QLatin1String("unplugged"))
            QVERIFY(rig.hub().unplug(kSerial));
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses().size(), 1, 10000);
        qunsetenv("OV_NETWORK_TIME_URL");
        QTest::qWait(700); // longer than a retry pause: nothing more comes
        QCOMPARE(recorder->statuses(), QList<int>{2});
        QCOMPARE(log->count(QStringLiteral("^Max retry for ")), ending == QLatin1String("refused") ? 1 : 0);
        QCOMPARE(log->count(QStringLiteral("allow retry$")), ending == QLatin1String("refused") ? 2 : 0);
    }

    void noProgressAfterTheFinalReport() {
        // The delegate throws on the first progress report: that ends the command, and the rest of
        // the write's progress must not follow its final report.
        OVLogCapture::install();
        DeviceRig rig(false);
        QTemporaryDir dir;
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        const QString path = writeFirmware(dir, OvFirmwareImage::generate(1, 1, 0, 4 * 4096 - 20).build());
        struct ThrowsOnProgress : ReportRecorder {
            void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                                   const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                                   const std::any& result) override {
                ReportRecorder::onCommandExecuted(command, device, status, result);
                if (status == OVCommandStatusProgress)
                    throw std::runtime_error("delegate trouble");
            }
        };
        auto recorder = std::make_shared<ThrowsOnProgress>();
        auto command = std::make_shared<OVCommandFirmwareUpdate>();
        command->setFirmwareFilePath(path);
        configure(command, device, recorder, false, 0)->execute();
        const std::weak_ptr<OVCommand> held = command;
        command.reset();
        QTRY_VERIFY(held.expired()); // the library let go: the write's every report has come
        QCOMPARE(recorder->statuses(), QList<int>({OVCommandStatusProgress, OVCommandStatusFailed}));
    }

    void reportToADelegateThatIsGoneIsDropped() {
        const auto log = OVLogCapture::install();
        DeviceRig rig(false);
        const auto device = rig.plug(kSerial);
        QVERIFY(device);
        rig.hub().setLinkModel({50000, 0, 0, 0}); // the answer comes after the delegate has gone
        auto recorder = std::make_shared<ReportRecorder>();
        std::weak_ptr<ReportRecorder> gone = recorder;
        auto command = std::make_shared<OVCommandGetBatteryLevel>();
        configure(command, device, recorder, false, 0)->execute();
        recorder.reset();
        QVERIFY(gone.expired());
        QTRY_VERIFY(command->receivedCallbackFromCommand());
        QTRY_VERIFY(log->has(QStringLiteral("Battery Level for device %1 = 87").arg(kSerial)));
    }

    void failureToSendTakesTheFailurePath() {
        const auto log = OVLogCapture::install();
        auto recorder = std::make_shared<ReportRecorder>();
        auto command = std::make_shared<OVCommandGetBatteryLevel>();
        configure(command, nullptr, recorder, false, 0)->execute();
        QCOMPARE(recorder->statuses(), QList<int>{2});
        QVERIFY(log->has(QStringLiteral("Unable to send command for device : . Error: no data-mode device")));
        QVERIFY(command->description().startsWith(QStringLiteral("<OVCommandGetBatteryLevel: 0x")));
    }
};

QTEST_GUILESS_MAIN(tst_OVCommand)
#include "tst_OVCommand.moc"
