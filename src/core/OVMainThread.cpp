#include "OVMainThread.h"

#include <QCoreApplication>
#include <QThread>

#include <deque>
#include <future>
#include <mutex>

namespace {

// Work crosses to the main thread through this queue, guarded by a std::mutex, and the Qt event
// only says "drain", by name, so that no object of ours travels through Qt's event queue: the
// hand-over is then visible to ThreadSanitizer, which cannot see inside Qt's own locking.
std::mutex g_mutex;
std::deque<std::function<void()>> g_work;

class OVMainThreadDrain : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void drain();
};

void OVMainThreadDrain::drain() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (g_work.empty())
                return;
            work = std::move(g_work.front());
            g_work.pop_front();
        }
        work();
    }
}

} // namespace

bool OVMainThread::isMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void OVMainThread::async(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_work.push_back(std::move(work));
    }
    static OVMainThreadDrain* receiver = [app] {
        auto* r = new OVMainThreadDrain();
        r->moveToThread(app->thread());
        return r;
    }();
    QMetaObject::invokeMethod(receiver, "drain", Qt::QueuedConnection);
}

void OVMainThread::sync(std::function<void()> work) {
    if (isMainThread()) {
        work();
        return;
    }
    if (!QCoreApplication::instance())
        return;
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    async([&work, &done] {
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}

#include "OVMainThread.moc"
