#include "OVFileHandle.h"

#include "OVFileSystem.h"

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

bool OVFileHandle::append(const QByteArray& bytes, OVError* error) {
    if (m_fd < 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(EBADF, m_path));
        return false;
    }
    return OVFileSystem::appendWhole(m_fd, bytes, m_path, error);
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
