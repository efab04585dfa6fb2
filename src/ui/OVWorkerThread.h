#pragma once

#include <QObject>
#include <QThread>

#include <functional>
#include <memory>

/**
 * Runs blocking work on a thread of its own so that the window never waits for it, and hands the
 * result to done on context's thread. When context is destroyed first, done is dropped and the
 * work still ends on its thread; the thread deletes itself once finished.
 */
class OVWorkerThread {
public:
    template <typename Result>
    static void run(QObject* context, std::function<Result()> work, std::function<void(Result)> done) {
        auto result = std::make_shared<Result>();
        QThread* thread = QThread::create([result, work = std::move(work)] { *result = work(); });
        QObject::connect(thread, &QThread::finished, context,
                         [result, done = std::move(done)] { done(std::move(*result)); });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    }
};
