#include "OVFileSystem.h"

#include "OVFileDescriptor.h"
#include "OVLogger.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const QString OVFileSystem::kPOSIXErrorDomain = QStringLiteral("NSPOSIXErrorDomain");

namespace {

constexpr int kCopyChunkSize = 64 * 1024;

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

bool closeChecked(OVFileDescriptor& fd, const QString& path, OVError* error) {
    if (::close(fd.release()) != 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, path));
        return false;
    }
    return true;
}

bool removeRecursively(const QByteArray& path, const QString& displayPath, OVError* error) {
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, displayPath));
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        DIR* dir = ::opendir(path.constData());
        if (!dir) {
            OVError::set(error, OVFileSystem::errorFromErrno(errno, displayPath));
            return false;
        }
        bool ok = true;
        while (struct dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            const QByteArray child = path + '/' + entry->d_name;
            if (!removeRecursively(child, QFile::decodeName(child), error)) {
                ok = false;
                break;
            }
        }
        ::closedir(dir);
        if (!ok)
            return false;
        if (::rmdir(path.constData()) != 0) {
            OVError::set(error, OVFileSystem::errorFromErrno(errno, displayPath));
            return false;
        }
        return true;
    }
    if (::unlink(path.constData()) != 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, displayPath));
        return false;
    }
    return true;
}

} // namespace

OVError OVFileSystem::errorFromErrno(int errorNumber, const QString& path) {
    return OVError(kPOSIXErrorDomain, errorNumber,
                   QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errorNumber))));
}

mode_t OVFileSystem::fileMode(Access access) {
    // The kernel takes the umask off; for the owner's own files it leaves 0600 as it is.
    return access == Access::OwnerOnly ? 0600 : 0666;
}

mode_t OVFileSystem::directoryMode(Access access) {
    return access == Access::OwnerOnly ? 0700 : 0777;
}

bool OVFileSystem::restrictToOwner(const QString& path, OVError* error) {
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0 ||
        ((st.st_mode & 077) != 0 && ::chmod(encoded(path).constData(), st.st_mode & 07700) != 0)) {
        OVError::set(error, errorFromErrno(errno, path));
        return false;
    }
    return true;
}

bool OVFileSystem::createDirectory(const QString& path, OVError* error, Access access) {
    if (path.isEmpty()) {
        OVError::set(error, errorFromErrno(ENOENT, path));
        return false;
    }
    if (isDirectory(path))
        return true;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !createDirectory(path.left(slash), error, access))
        return false;
    if (::mkdir(encoded(path).constData(), directoryMode(access)) != 0) {
        const int err = errno;
        // Another thread or process may have made it between the check and the call.
        if (err == EEXIST && isDirectory(path))
            return true;
        OVError::set(error, errorFromErrno(err == EEXIST ? ENOTDIR : err, path));
        return false;
    }
    return true;
}

bool OVFileSystem::fileExists(const QString& path) {
    struct stat st;
    return ::stat(encoded(path).constData(), &st) == 0;
}

bool OVFileSystem::isDirectory(const QString& path) {
    struct stat st;
    return ::stat(encoded(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

qint64 OVFileSystem::fileSize(const QString& path) {
    struct stat st;
    if (::stat(encoded(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<qint64>(st.st_size);
}

std::optional<QStringList> OVFileSystem::contentsOfDirectory(const QString& path, OVError* error) {
    DIR* dir = ::opendir(encoded(path).constData());
    if (!dir) {
        OVError::set(error, errorFromErrno(errno, path));
        return std::nullopt;
    }
    QStringList names;
    errno = 0;
    while (struct dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
        errno = 0;
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0) {
        OVError::set(error, errorFromErrno(err, path));
        return std::nullopt;
    }
    return names;
}

bool OVFileSystem::removeItem(const QString& path, OVError* error) {
    return removeRecursively(encoded(path), path, error);
}

bool OVFileSystem::copyItem(const QString& source, const QString& destination, OVError* error,
                            Access access) {
    OVFileDescriptor in(::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        OVError::set(error, errorFromErrno(errno, source));
        return false;
    }
    OVFileDescriptor out(
        ::open(encoded(destination).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, fileMode(access)));
    if (out.get() < 0) {
        OVError::set(error, errorFromErrno(errno, destination));
        return false;
    }
    QByteArray buffer(kCopyChunkSize, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            OVError::set(error, errorFromErrno(errno, source));
            ::unlink(encoded(destination).constData());
            return false;
        }
        if (n == 0)
            break;
        if (!writeAll(out.get(), buffer.constData(), n, destination, error)) {
            ::unlink(encoded(destination).constData());
            return false;
        }
    }
    return closeChecked(out, destination, error);
}

bool OVFileSystem::linkItem(const QString& source, const QString& destination, OVError* error) {
    if (::link(encoded(source).constData(), encoded(destination).constData()) != 0) {
        OVError::set(error, errorFromErrno(errno, destination));
        return false;
    }
    return true;
}

OVFileDescriptor OVFileSystem::createTemporaryBeside(const QString& path, QByteArray* temporaryName,
                                                     OVError* error, Access access) {
    // Created with the mode given (less the umask): unlike mkostemp's fixed 0600, a file meant for
    // others gets the permissions the user's umask allows.
    const QByteArray target = encoded(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporaryName = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        OVFileDescriptor fd(
            ::open(temporaryName->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, fileMode(access)));
        if (fd.isValid())
            return fd;
        if (errno != EEXIST)
            break;
    }
    OVError::set(error, errorFromErrno(errno, path));
    return OVFileDescriptor();
}

bool OVFileSystem::isTemporaryName(const QString& name, const QString& targetName) {
    // The suffix is a 32-bit number in base 36: one to seven digits or lower-case letters.
    if (!name.startsWith(targetName + QLatin1Char('.')))
        return false;
    const QStringView suffix = QStringView(name).mid(targetName.size() + 1);
    if (suffix.isEmpty() || suffix.size() > 7)
        return false;
    for (const QChar c : suffix)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('z'))))
            return false;
    return true;
}

bool OVFileSystem::writeAtomically(const QString& path, const QByteArray& data, OVError* error,
                                   Access access) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString directory = slash > 0 ? path.left(slash) : QStringLiteral(".");
    QByteArray temporary;
    OVFileDescriptor fd = createTemporaryBeside(path, &temporary, error, access);
    if (fd.get() < 0)
        return false;
    const auto fail = [&](int err) {
        ::unlink(temporary.constData());
        OVError::set(error, errorFromErrno(err, path));
        return false;
    };
    OVError writeError;
    if (!writeAll(fd.get(), data.constData(), data.size(), path, &writeError)) {
        ::unlink(temporary.constData());
        OVError::set(error, writeError);
        return false;
    }
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::rename(temporary.constData(), encoded(path).constData()) != 0)
        return fail(errno);
    // The rename itself reaches the disk only with the directory.
    OVFileDescriptor dir(::open(encoded(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

std::optional<QByteArray> OVFileSystem::readFile(const QString& path, qint64 maxSize, OVError* error) {
    // Non-blocking, so that a pipe where a record should be is refused below instead of waited on.
    const OVFileDescriptor fd(::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.isValid()) {
        OVError::set(error, errorFromErrno(errno, path));
        return std::nullopt;
    }
    return readRegularFile(fd.get(), maxSize, path, error);
}

std::optional<QByteArray> OVFileSystem::readFileBeneath(const QString& directory, const QString& relativePath,
                                                        qint64 maxSize, OVError* error) {
    const OVFileDescriptor fd = openRegularFileBeneath(directory, relativePath, error);
    if (!fd.isValid())
        return std::nullopt;
    return readRegularFile(fd.get(), maxSize, directory + QLatin1Char('/') + relativePath, error);
}

std::optional<QByteArray> OVFileSystem::readRegularFile(int fd, qint64 maxSize, const QString& path,
                                                        OVError* error) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        OVError::set(error, errorFromErrno(errno, path));
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        OVError::set(error, errorFromErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, path));
        return std::nullopt;
    }
    if (st.st_size > maxSize) {
        OVError::set(error, errorFromErrno(EFBIG, path));
        return std::nullopt;
    }
    QByteArray data;
    // The file may grow while it is read; one byte past the limit is enough to know it is too large.
    const bool read = readChunks(
        fd, maxSize + 1, kCopyChunkSize, [&data](QByteArrayView chunk) { data.append(chunk); }, path, error);
    if (!read)
        return std::nullopt;
    if (data.size() > maxSize) {
        OVError::set(error, errorFromErrno(EFBIG, path));
        return std::nullopt;
    }
    return data;
}

OVFileDescriptor OVFileSystem::openRegularFileBeneath(const QString& directory, const QString& relativePath,
                                                      OVError* error) {
    const QString path = directory + QLatin1Char('/') + relativePath;
    OVFileDescriptor current(::open(encoded(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!current.isValid()) {
        OVError::set(error, errorFromErrno(errno, directory));
        return {};
    }
    // One name at a time, none of them a link: a path that resolves outside the directory, or a
    // link to a device, can never be reached. The last name is opened without waiting, so a pipe is
    // refused by its type below instead of blocking the open.
    const QStringList names = relativePath.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
            OVError::set(error, errorFromErrno(EINVAL, path));
            return {};
        }
        const bool last = i == names.size() - 1;
        const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | (last ? O_NONBLOCK : O_DIRECTORY);
        OVFileDescriptor next(::openat(current.get(), encoded(name).constData(), flags));
        if (!next.isValid()) {
            OVError::set(error, errorFromErrno(errno, path));
            return {};
        }
        current = std::move(next);
    }
    struct stat st;
    if (::fstat(current.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        OVError::set(error, errorFromErrno(EINVAL, path));
        return {};
    }
    return current;
}

bool OVFileSystem::readChunks(int fd, qint64 maxBytes, qint64 chunkSize,
                              const std::function<void(QByteArrayView)>& consumer, const QString& path,
                              OVError* error) {
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (qint64 left = maxBytes; left > 0;) {
        const ssize_t n = ::read(fd, buffer.data(), static_cast<size_t>(qMin(left, chunkSize)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            OVError::set(error, errorFromErrno(errno, path));
            return false;
        }
        if (n == 0)
            break;
        consumer(QByteArrayView(buffer.constData(), n));
        left -= n;
    }
    return true;
}

bool OVFileSystem::appendToFile(const QString& path, const QByteArray& data, OVError* error, Access access) {
    OVFileDescriptor fd(::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, fileMode(access)));
    if (fd.get() < 0) {
        OVError::set(error, errorFromErrno(errno, path));
        return false;
    }
    if (!appendWhole(fd.get(), data, path, error))
        return false;
    return closeChecked(fd, path, error);
}

bool OVFileSystem::appendWhole(int fd, const QByteArray& data, const QString& path, OVError* error) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
        OVError::set(error, errorFromErrno(errno, path));
        return false;
    }
    if (writeAll(fd, data.constData(), data.size(), path, error))
        return true;
    // A write cut short by a full disk would leave part of a page, and the next append, after
    // space came back, would follow it: every later page would sit at the wrong offset. The write's
    // own error is the one to report.
    if (::ftruncate(fd, end) != 0)
        OVLog("Could not cut %@ back to %lld bytes after a failed write", path, static_cast<long long>(end));
    return false;
}

bool OVFileSystem::writeAll(int fd, const char* data, qint64 size, const QString& path, OVError* error) {
    qint64 written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, static_cast<size_t>(size - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            OVError::set(error, errorFromErrno(errno, path));
            return false;
        }
        written += n;
    }
    return true;
}
