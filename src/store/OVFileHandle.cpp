#include "OVFileHandle.h"

#include "OVFileSystem.h"
#include "OVLogger.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

OVFileHandle::~OVFileHandle() {
    closeFile();
}

bool OVFileHandle::openForUpdating(const QString& path, OVError* error) {
    closeFile();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, path));
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

qint64 OVFileHandle::seekToEndOfFile(OVError* error) {
    if (m_fd < 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(EBADF, m_path));
        return -1;
    }
    const off_t offset = ::lseek(m_fd, 0, SEEK_END);
    if (offset < 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, m_path));
        return -1;
    }
    return static_cast<qint64>(offset);
}

bool OVFileHandle::writeData(const QByteArray& data, OVError* error) {
    if (m_fd < 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(EBADF, m_path));
        return false;
    }
    return OVFileSystem::writeAll(m_fd, data.constData(), data.size(), m_path, error);
}

bool OVFileHandle::append(const QByteArray& bytes, OVError* error) {
    const qint64 end = seekToEndOfFile(error);
    if (end < 0)
        return false;
    if (writeData(bytes, error))
        return true;
    // A write cut short by a full disk would leave part of a page, and the next append, after
    // space came back, would follow it: every later page would sit at the wrong offset. The write's
    // own error is the one to report.
    if (::ftruncate(m_fd, static_cast<off_t>(end)) != 0)
        OVLog("Could not cut %@ back to %lld bytes after a failed write", m_path, end);
    return false;
}

bool OVFileHandle::closeFile(OVError* error) {
    if (m_fd < 0)
        return true;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, m_path));
        return false;
    }
    return true;
}
