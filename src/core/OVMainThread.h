#pragma once

#include <functional>

/** Work handed to the main (GUI) thread, where timers, the registry and the views live. */
class OVMainThread {
public:
    static bool isMainThread();
    /** Queues the work to the main thread and returns at once. */
    static void async(std::function<void()> work);
    /** Runs the work on the main thread and waits for it; runs it directly when already there. */
    static void sync(std::function<void()> work);
};
