#include "OVMainThread.h"

#include <QCoreApplication>
#include <QThread>

bool OVMainThread::isMainThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void OVMainThread::async(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void OVMainThread::sync(std::function<void()> work) {
    if (isMainThread()) {
        work();
        return;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(app, std::move(work), Qt::BlockingQueuedConnection);
}
