// Page reads per second through the device library: the socket to the ovdevsim daemon against
// the in-process emulator, both on the zero-delay link, and the socket on the full-speed USB link
// for scale. Reads are chained as a download does it: the next page is asked from the answer.
#include "OrvaneCDCDevice.h"
#include "OrvaneSocketTransport.h"
#include "OrvaneUSBDeviceManager.h"
#include "SimDaemon.h"
#include "SimDeviceHub.h"
#include "SimInProcessTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace {
/** Reads pages first..first+count-1 one after the other, each asked from the previous answer. */
class ChainedReader : public std::enable_shared_from_this<ChainedReader> {
public:
    ChainedReader(std::shared_ptr<OrvaneCDCDevice> device, quint32 first, quint32 count)
        : m_device(std::move(device))
        , m_next(first)
        , m_end(first + count) {}
    /** Answers the pages read, or -1 on a failed read. */
    qint64 run() {
        readNext();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_wake.wait(lock, [this] { return m_done; });
        return m_failed ? -1 : m_read;
    }

private:
    void readNext() {
        auto self = shared_from_this();
        const bool sent = m_device->getSDCardPage(
            m_next, self, [this](const auto&, int status, const std::any& response, const QVariantMap&) {
                const QByteArray* page = std::any_cast<QByteArray>(&response);
                if (status != 0 || !page || page->size() != 512)
                    return finish(true);
                ++m_read;
                if (++m_next == m_end)
                    return finish(false);
                readNext();
            });
        if (!sent)
            finish(true);
    }
    void finish(bool failed) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = failed;
        m_done = true;
        m_wake.notify_all();
    }

    const std::shared_ptr<OrvaneCDCDevice> m_device;
    quint32 m_next;
    const quint32 m_end;
    qint64 m_read = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_failed = false;
};

double pagesPerSecond(OrvaneUSBDeviceManager& manager, quint32 pages) {
    std::shared_ptr<OrvaneCDCDevice> device;
    for (int i = 0; i < 500 && !device; ++i) {
        if (!manager.cdcOrvanes().isEmpty())
            device = manager.cdcOrvanes().first();
        else
            QThread::msleep(10);
    }
    if (!device)
        return -1;
    QElapsedTimer timer;
    timer.start();
    const qint64 read =
        std::make_shared<ChainedReader>(device, SimVirtualDevice::kFirstSessionPage, pages)->run();
    const double seconds = timer.nsecsElapsed() / 1e9;
    return read == pages ? pages / seconds : -1;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const quint32 pages = argc > 1 ? QByteArray(argv[1]).toUInt() : 20000;
    const quint32 linkPages = 2000;
    QTemporaryDir dir;
    auto hub = std::make_shared<SimDeviceHub>(QString(), SimLinkModel::zeroDelay());
    SimPlugOptions options;
    options.sessions = 1;
    options.pages = {pages};
    hub->plug(options);
    OrvaneUSBDeviceManager manager;

    manager.setTransport(std::make_shared<SimInProcessTransport>(hub));
    const double inProcess = pagesPerSecond(manager, pages);

    SimDaemon daemon(hub, dir.filePath(QStringLiteral("bench.sock")));
    QString error;
    if (!daemon.listen(&error)) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error));
        return 1;
    }
    daemon.start();
    manager.setTransport(std::make_shared<OrvaneSocketTransport>(daemon.socketPath()));
    const double socket = pagesPerSecond(manager, pages);
    hub->setLinkModel(SimLinkModel::fullSpeed());
    const double fullSpeed = pagesPerSecond(manager, linkPages);
    manager.setTransport(nullptr);
    daemon.stop();

    std::printf("page reads, chained, %u pages of 512 bytes\n", pages);
    std::printf("  in-process transport, zero-delay link : %10.0f pages/s\n", inProcess);
    std::printf("  socket transport,     zero-delay link : %10.0f pages/s\n", socket);
    std::printf("  socket / in-process                   : %10.2f\n", socket / inProcess);
    std::printf("  socket transport, full-speed USB link : %10.0f pages/s (%u pages)\n", fullSpeed,
                linkPages);
    std::printf("  socket headroom over the USB link     : %10.1fx\n", socket / fullSpeed);
    const bool ok = inProcess > 0 && socket > 2000 && fullSpeed > 0;
    if (!ok)
        std::printf("FAILED: the socket path must carry well above 2000 pages/s\n");
    return ok ? 0 : 1;
}
