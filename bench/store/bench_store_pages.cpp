// Pages stored per second by OVSessionPageStorer on the zero-delay emulator link, against a bare
// loop that reads the same pages through the device library and appends them to a file, in the
// same run; and the peak memory of storing a small and a large session.
//
// usage: bench_store_pages [PAGES]   (default 204800 pages: a 100 MiB session)
#include "OVCommandFactory.h"
#include "OVCommandGetSessionList.h"
#include "OVConsoleSink.h"
#include "OVLogger.h"
#include "OVNotificationCenter.h"
#include "OVOperationQueue.h"
#include "OVSessionFileRepository.h"
#include "OVSessionPageStorer.h"
#include "OrvaneUSBDeviceManager.h"
#include "PageStorerTestSupport.h"
#include "PeakRss.h"
#include "SimDeviceHub.h"
#include "SimInProcessTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {

const QString kSerial = QStringLiteral("OVR0000000000900");

template <typename Predicate> bool waitFor(Predicate predicate, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(1);
    }
    return true;
}

std::shared_ptr<OrvaneCDCDevice> waitForDevice(const QString& serial) {
    std::shared_ptr<OrvaneCDCDevice> found;
    waitFor(
        [&] {
            for (const auto& d : OrvaneUSBDeviceManager::sharedInstance().cdcOrvanes()) {
                if (d->deviceInformations().serial == serial)
                    found = d;
            }
            return found != nullptr;
        },
        10000);
    return found;
}

// The bare loop: the next page is asked for from the callback of the previous one, as the storer
// does, and each page is appended to an open file.
double bareLoopSeconds(const std::shared_ptr<OrvaneCDCDevice>& device, quint64 first, quint64 last,
                       const QString& path) {
    // Unbuffered, like the storer: one write per page.
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return -1;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool failed = false;
    auto target = std::make_shared<int>(0);
    std::function<void(quint64)> ask;
    OrvaneCommandCallback callback;
    quint64 current = first;
    callback = [&](const std::shared_ptr<OrvaneUSBDevice>&, int status, const std::any& response,
                   const QVariantMap&) {
        if (status == 0) {
            out.write(std::any_cast<QByteArray>(response));
            if (current != last) {
                ask(++current);
                return;
            }
        } else {
            failed = true;
        }
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        done.notify_all();
    };
    ask = [&](quint64 page) {
        if (!device->getSDCardPage(page, target, callback)) {
            std::lock_guard<std::mutex> lock(mutex);
            failed = finished = true;
            done.notify_all();
        }
    };
    QElapsedTimer timer;
    timer.start();
    ask(first);
    std::unique_lock<std::mutex> lock(mutex);
    done.wait(lock, [&] { return finished; });
    out.close();
    return failed ? -1 : timer.nsecsElapsed() / 1e9;
}

struct StorerRun {
    double downloadSeconds = -1;
    double totalSeconds = -1;
    bool stored = false;
};

StorerRun runStorer(const std::shared_ptr<OVSession>& session,
                    const std::shared_ptr<OrvaneCDCDevice>& device) {
    auto factory = std::make_shared<OVCommandFactory>();
    auto info = std::make_shared<OVDeviceInfo>();
    info->setSerial(kSerial);
    auto storer = std::make_shared<OVSessionPageStorer>(factory, session, device, info);
    StorerRun run;
    QElapsedTimer timer;
    std::atomic<qint64> downloadNs{-1};
    int owner = 0;
    // The download ends where the verification begins.
    OVNotificationCenter::defaultCenter().addObserver(
        &owner, OVNotificationName::OnSessionSyncStatusChanged, [&](const OVNotification& n) {
            if (n.objectAs<OVSession>() == session &&
                session->syncStatus() == OVSessionSyncStatusCrcChecking && downloadNs.load() < 0)
                downloadNs.store(timer.nsecsElapsed());
        });
    // The operation is marked finished just before it announces its outcome.
    std::atomic<int> outcome{0};
    OVNotificationCenter::defaultCenter().addObserver(&owner, OVNotificationName::OnSessionStoredSuccess,
                                                      [&](const OVNotification&) { outcome.store(1); });
    OVNotificationCenter::defaultCenter().addObserver(&owner, OVNotificationName::OnSessionStoredFailed,
                                                      [&](const OVNotification&) { outcome.store(2); });
    OVOperationQueue queue(QStringLiteral("OVSessionFetcher queue"), 1);
    timer.start();
    queue.addOperation(storer);
    queue.waitUntilAllOperationsAreFinished();
    waitFor([&] { return outcome.load() != 0; }, 10000);
    run.totalSeconds = timer.nsecsElapsed() / 1e9;
    OVNotificationCenter::defaultCenter().removeObserver(&owner);
    run.downloadSeconds = downloadNs.load() / 1e9;
    run.stored = outcome.load() == 1;
    return run;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const quint32 pages = argc > 1 ? QByteArray(argv[1]).toUInt() : 204800u;
    const quint32 smallPages = 2048;
    if (pages < smallPages) {
        std::fprintf(stderr, "usage: bench_store_pages [PAGES >= %u]\n", smallPages);
        return 2;
    }
    if (qEnvironmentVariableIsSet("OV_BENCH_LOG")) {
        OVLogger::sharedInstance().addSink(std::make_shared<OVConsoleSink>());
        OVLogger::sharedInstance().turnLogOn();
    }
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));

    auto hub = std::make_shared<SimDeviceHub>(QString(), SimLinkModel::zeroDelay());
    OrvaneUSBDeviceManager::sharedInstance().setTransport(std::make_shared<SimInProcessTransport>(hub));
    SimPlugOptions options;
    options.serial = kSerial;
    options.sessions = 2;
    options.pages = {smallPages, pages};
    if (!hub->plug(options)) {
        std::fprintf(stderr, "could not plug the emulated device\n");
        return 1;
    }
    const auto device = waitForDevice(kSerial);
    const OVSessionList sessions = device ? listSessions(device) : OVSessionList();
    if (sessions.size() != 2) {
        std::fprintf(stderr, "the emulated device did not list its sessions\n");
        return 1;
    }
    // Sessions come newest first; the large one was recorded last.
    std::shared_ptr<OVSession> small =
        sessions.at(0)->pageCount() == smallPages ? sessions.at(0) : sessions.at(1);
    std::shared_ptr<OVSession> large = small == sessions.at(0) ? sessions.at(1) : sessions.at(0);

    // Memory: the peak while storing a small session, then while storing the large one.
    resetPeakRss();
    const qint64 idleKiB = peakRssKiB();
    const StorerRun smallRun = runStorer(small, device);
    const qint64 smallPeakKiB = peakRssKiB();
    resetPeakRss();
    StorerRun best = runStorer(large, device);
    const qint64 largePeakKiB = peakRssKiB();

    // Speed: the bare loop and the storer in turn, best of three each, so that neither gains from
    // running while the other's writes are still being flushed.
    double bare = -1;
    OVSessionFileRepository repo;
    bool ok = smallRun.stored && best.stored;
    for (int round = 0; round < 3 && ok; ++round) {
        const double loop = bareLoopSeconds(device, large->startPage(), large->endPage(),
                                            home.filePath(QStringLiteral("bare_loop.dat")));
        ok = loop > 0;
        if (ok && (bare < 0 || loop < bare))
            bare = loop;
        if (round == 0)
            continue; // the storer's first round was the memory run
        OVError error;
        repo.deleteDataForSession(*large, &error);
        large->setPercentage(0);
        const StorerRun run = runStorer(large, device);
        ok = ok && run.stored;
        if (ok && run.downloadSeconds < best.downloadSeconds)
            best = run;
    }
    OrvaneUSBDeviceManager::sharedInstance().setTransport(nullptr);
    if (!ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double mib = pages * 512.0 / (1024 * 1024);
    const double barePps = pages / bare;
    const double storerPps = pages / best.downloadSeconds;
    std::printf("session of %u pages (%.1f MiB), zero-delay in-process emulator link, best of 3\n", pages,
                mib);
    std::printf("bare read + append loop:         %7.3f s  %8.0f pages/s\n", bare, barePps);
    std::printf("OVSessionPageStorer, download:   %7.3f s  %8.0f pages/s  (%.2f x the bare loop)\n",
                best.downloadSeconds, storerPps, storerPps / barePps);
    std::printf("OVSessionPageStorer, with CRC:   %7.3f s  %8.0f pages/s\n", best.totalSeconds,
                pages / best.totalSeconds);
    std::printf("peak RSS: idle %.1f MiB, storing %u pages %.1f MiB, storing %u pages %.1f MiB\n",
                idleKiB / 1024.0, smallPages, smallPeakKiB / 1024.0, pages, largePeakKiB / 1024.0);
    return 0;
}
