#pragma once

#include <QCoreApplication>
#include <QEventLoop>

#include <chrono>
#include <future>

/**
 * Runs a blocking client call on a thread of its own while this (main) thread keeps serving its
 * event loop, where the control server answers; returns the call's result.
 */
template <typename Call> auto runBesideEventLoop(Call call) {
    auto result = std::async(std::launch::async, std::move(call));
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return result.get();
}
