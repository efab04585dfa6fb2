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
#include "OVNetworkClock.h"
#include "SimFirmwareImage.h"

#include <QElapsedTimer>

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

/**
 * A page read failing `failures` times before it reads (-1: always), and what must follow: page
 * requests sent (each failed one logged), "Will retry" and "Max retry" lines, the one report's
 * status, and at least `pauses` retry pauses of the `pauseMs` the command is given.
 */
struct RetryCase {
    bool allowRetry;
    int failures, requests, willRetry, maxRetry, status, pauseMs, pauses;
};

/** Keeps every report, then throws from those `throwsOn` picks by status. */
struct ThrowingRecorder : ReportRecorder {
    explicit ThrowingRecorder(std::function<bool(int)> pick)
        : throwsOn(std::move(pick)) {}
    void onCommandExecuted(const std::shared_ptr<OVCommand>& command,
                           const std::shared_ptr<OrvaneUSBDevice>& device, int status,
                           const std::any& result) override {
        ReportRecorder::onCommandExecuted(command, device, status, result);
        if (throwsOn(status))
            throw std::runtime_error("delegate trouble");
    }
    std::function<bool(int)> throwsOn;
};
} // namespace

Q_DECLARE_METATYPE(RetryCase)

class tst_OVCommand : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<OVLogCapture> m_log;
    /** An emulated device of one session of four pages, in process, for each test. */
    std::unique_ptr<DeviceRig> m_rig;
    std::shared_ptr<OrvaneCDCDevice> m_device;

private Q_SLOTS:
    void init() {
        m_log = OVLogCapture::install();
        m_rig = std::make_unique<DeviceRig>(false);
        m_device = m_rig->plug(kSerial, 1, 4);
        QVERIFY(m_device);
    }
    void cleanup() {
        m_device.reset();
        m_rig.reset();
    }

    void retryRule_data() {
        QTest::addColumn<RetryCase>("c");
        // A pause longer than the wait for the report proves that a command without retry never
        // pauses.
        QTest::newRow("always failing, five retries") << RetryCase{true, -1, 6, 5, 1, 2, 20, 6};
        QTest::newRow("retry off: one report, no pause") << RetryCase{false, -1, 1, 0, 0, 2, 60000, 0};
        QTest::newRow("two failures, then the page") << RetryCase{true, 2, 3, 2, 0, 0, 20, 2};
    }
    void retryRule() {
        QFETCH(RetryCase, c);
        const auto [allowRetry, failures, requests, willRetry, maxRetry, status, pauseMs, pauses] = c;
        const quint32 page = SimVirtualDevice::kFirstSessionPage + 1;
        m_rig->hub().addFault(kSerial, {SimFault::Kind::FailPage, page, failures, std::nullopt});
        auto recorder = std::make_shared<ReportRecorder>();
        auto command = OVCommandFactory().createGetPageCommand(page);
        configure(command, m_device, recorder, allowRetry, 5);
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
        QCOMPARE(m_log->count(failed), requests - (status == 0 ? 1 : 0));
        QCOMPARE(
            m_log->count(QStringLiteral("^Will retry <OVCommandGetPage: 0x[0-9a-f]+> command on device ") +
                         kSerial + QStringLiteral(" because current retry \\[\\d\\] < max retry \\[5\\]$")),
            willRetry);
        QCOMPARE(m_log->count(
                     QStringLiteral("^Max retry for .* reached\\. Will not retry\\. current retry \\[5\\] = "
                                    "max retry \\[5\\]$")),
                 maxRetry);
        QCOMPARE(m_log->count(QStringLiteral("allow retry$")),
                 allowRetry ? requests - (status == 0 ? 1 : 0) : 0);
        QVERIFY2(elapsed >= qint64(pauses) * pauseMs && (pauses > 0 || elapsed < pauseMs),
                 qPrintable(QString::number(elapsed)));
        if (status == 0)
            QCOMPARE(std::any_cast<QByteArray>(recorder->reports().first().result).size(), 512);
        QCOMPARE(m_log->count(QStringLiteral("callback was not called")), 0);
    }

    void oneFinalReportWhateverEndsTheCommand_data() {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<int>("retries"); // -1: retry off
        QTest::addColumn<bool>("throwing");
        QTest::newRow("refused, no retry") << "refused" << -1 << false;
        QTest::newRow("refused five times, then taken") << "refused-then-taken" << 5 << false;
        QTest::newRow("device unplugged while pending") << "unplugged" << 5 << false;
        QTest::newRow("daemon link gone while pending") << "transport-gone" << -1 << false;
        // The report's exception must not restart the command nor escape a library or queue
        // thread (where it would end the process).
        QTest::newRow("throwing delegate, refused on the last retry") << "refused" << 1 << true;
        QTest::newRow("throwing delegate, lost answer released on the library's thread")
            << "unplugged" << -1 << true;
        QTest::newRow("throwing delegate, no network date on the network answer's thread")
            << "no-date" << -1 << true;
    }
    void oneFinalReportWhateverEndsTheCommand() {
        QFETCH(QString, ending);
        QFETCH(int, retries);
        QFETCH(bool, throwing);
        const bool refused = ending.startsWith(QLatin1String("refused"));
        auto recorder = std::make_shared<ThrowingRecorder>([throwing](int) { return throwing; });
        const bool noDate = ending == QLatin1String("no-date");
        if (noDate)
            qputenv("OV_NETWORK_TIME_URL", "http://127.0.0.1:1/");
        else
            m_rig->hub().addFault(kSerial,
                                  {refused ? SimFault::Kind::Refuse : SimFault::Kind::NoAnswer, 0,
                                   ending == QLatin1String("refused-then-taken") ? 5 : -1, std::nullopt});
        std::weak_ptr<OVCommand> watch;
        {
            std::shared_ptr<OVCommand> command = std::make_shared<OVCommandIdentify>();
            if (noDate)
                command = std::make_shared<OVCommandSetClock>(&OVNetworkClock::getNetworkDateAsync);
            watch = command;
            configure(command, m_device, recorder, retries >= 0, qMax(retries, 0))->execute();
        }
        if (ending == QLatin1String("unplugged"))
            QVERIFY(m_rig->hub().unplug(kSerial));
        if (ending == QLatin1String("transport-gone"))
            m_rig->manager().setTransport(nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(recorder->statuses().size(), 1, 10000);
        qunsetenv("OV_NETWORK_TIME_URL");
        QTRY_VERIFY(watch.expired()); // nobody holds a command that has ended
        if (throwing)
            QTest::qWait(700); // longer than a retry pause: nothing more comes
        QCOMPARE(recorder->statuses(), QList<int>{ending == QLatin1String("refused-then-taken") ? 0 : 2});
        if (refused) {
            QVERIFY(m_log->count(QStringLiteral("command failed for device : ") + kSerial) >= 1);
            QCOMPARE(m_log->count(QStringLiteral("callback was not called")), 0);
        } else if (!noDate) {
            QVERIFY(m_log->count(QStringLiteral(
                        "callback was not called\\. Could be because the device is no longer plugged in")) >=
                    1);
            QCOMPARE(m_log->count(QStringLiteral("Will retry")), 0); // a lost answer is not retried
        } else {
            QVERIFY(m_log->has(QStringLiteral("Unable to get network date from url: http://127.0.0.1:1/")));
        }
        if (ending == QLatin1String("refused")) {
            QCOMPARE(m_log->count(QStringLiteral("^Max retry for ")), retries > 0 ? 1 : 0);
            QCOMPARE(m_log->count(QStringLiteral("allow retry$")), retries > 0 ? retries + 1 : 0);
        }
    }

    void noProgressAfterTheFinalReport() {
        // The delegate throws on the first progress report: that ends the command, and the rest of
        // the write's progress must not follow its final report.
        QTemporaryDir dir;
        const QString path = writeFirmware(dir, SimFirmwareImage::generate(1, 1, 0, 4 * 4096 - 20).build());
        auto recorder =
            std::make_shared<ThrowingRecorder>([](int status) { return status == OVCommandStatusProgress; });
        auto command = std::make_shared<OVCommandFirmwareUpdate>();
        command->setFirmwareFilePath(path);
        configure(command, m_device, recorder, false, 0)->execute();
        const std::weak_ptr<OVCommand> held = command;
        command.reset();
        QTRY_VERIFY(held.expired()); // the library let go: the write's every report has come
        QCOMPARE(recorder->statuses(), QList<int>({OVCommandStatusProgress, OVCommandStatusFailed}));
    }

    void reportToADelegateThatIsGoneIsDropped() {
        m_rig->hub().setLinkModel({50000, 0, 0, 0}); // the answer comes after the delegate has gone
        auto recorder = std::make_shared<ReportRecorder>();
        std::weak_ptr<ReportRecorder> gone = recorder;
        auto command = std::make_shared<OVCommandGetBatteryLevel>();
        configure(command, m_device, recorder, false, 0)->execute();
        recorder.reset();
        QVERIFY(gone.expired());
        QTRY_VERIFY(command->receivedCallbackFromCommand());
        QTRY_VERIFY(m_log->has(QStringLiteral("Battery Level for device %1 = 87").arg(kSerial)));
    }

    void failureToSendTakesTheFailurePath() {
        auto recorder = std::make_shared<ReportRecorder>();
        auto command = std::make_shared<OVCommandGetBatteryLevel>();
        configure(command, nullptr, recorder, false, 0)->execute();
        QCOMPARE(recorder->statuses(), QList<int>{2});
        QVERIFY(
            m_log->has(QStringLiteral("Unable to send command for device : . Error: no data-mode device")));
        QVERIFY(command->description().startsWith(QStringLiteral("<OVCommandGetBatteryLevel: 0x")));
    }
};

QTEST_GUILESS_MAIN(tst_OVCommand)
#include "tst_OVCommand.moc"
