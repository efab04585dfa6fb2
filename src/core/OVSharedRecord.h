#pragma once

#include <mutex>
#include <utility>

/**
 * Base of records shared between threads (device and session records): every field is read and
 * written under one small lock, so accessors are data-race free without each class repeating it.
 */
class OVSharedRecord {
protected:
    template <typename T> T read(const T& field) const {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        return field;
    }

    template <typename T, typename U> void write(T& field, U&& value) {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        field = std::forward<U>(value);
    }

    /** Runs f with the lock held, for changes of several fields that belong together. */
    template <typename F> auto locked(F&& f) const {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        return f();
    }

private:
    mutable std::mutex m_recordMutex;
};
