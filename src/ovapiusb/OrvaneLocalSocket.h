#pragma once

#include <QByteArray>
#include <QString>

struct sockaddr_un;

/** The POSIX calls on local (Unix-domain) stream sockets that the library and the emulator share. */
class OrvaneLocalSocket {
public:
    /** How long a send may block before the peer counts as gone. */
    static constexpr int kSendTimeoutSeconds = 5;
    /** The size of one read from a socket. */
    static constexpr int kReadChunk = 64 * 1024;

    /** Fills the address of path; false when the path is empty or too long for a socket address. */
    static bool fillAddress(const QString& path, sockaddr_un& address);
    /** A socket connected to path (close-on-exec), or -1. */
    static int connectTo(const QString& path);
    /** Bounds how long a send on fd may block. */
    static void setSendTimeout(int fd);
    /** Sends every byte, again after an interruption; false when the peer is gone. */
    static bool writeAll(int fd, const QByteArray& bytes);
};
