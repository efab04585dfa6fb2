#pragma once

#include <unistd.h>

/** Owns an open file descriptor and closes it when it goes; -1 is none. Moves, never copies. */
class OVFileDescriptor {
public:
    OVFileDescriptor() = default;
    explicit OVFileDescriptor(int fd)
        : m_fd(fd) {}
    ~OVFileDescriptor() { reset(); }
    OVFileDescriptor(const OVFileDescriptor&) = delete;
    OVFileDescriptor& operator=(const OVFileDescriptor&) = delete;
    OVFileDescriptor(OVFileDescriptor&& other) noexcept
        : m_fd(other.release()) {}
    OVFileDescriptor& operator=(OVFileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.release();
        }
        return *this;
    }

    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    /** Gives the descriptor up without closing it: close(2) can report a deferred write error to a caller
     * that asks. */
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    void reset() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd = -1;
};
