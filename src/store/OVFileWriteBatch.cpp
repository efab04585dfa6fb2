#include "OVFileWriteBatch.h"

#include "OVFileDescriptor.h"
#include "OVLogger.h"

#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString directoryOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QStringLiteral(".");
}

bool fsyncPath(const QByteArray& path, int flags) {
    const OVFileDescriptor fd(::open(path.constData(), flags | O_CLOEXEC));
    return fd.isValid() && ::fsync(fd.get()) == 0;
}

} // namespace

void OVFileWriteBatch::add(const QString& path, const QByteArray& data) {
    File file;
    file.path = path;
    file.data = data;
    m_files.append(std::move(file));
}

bool OVFileWriteBatch::commit(OVError* error) {
    OVError firstError;
    for (File& file : m_files)
        writeTemporary(file, &firstError);
    flushTemporaries(&firstError);
    for (File& file : m_files)
        renameIntoPlace(file, &firstError);
    flushRenames(&firstError);
    m_files.clear();
    if (firstError.isSet()) {
        OVError::set(error, firstError);
        return false;
    }
    return true;
}

void OVFileWriteBatch::fail(File& file, const OVError& failure, OVError* error) {
    if (!file.temporary.isEmpty())
        ::unlink(file.temporary.constData());
    file.failed = true;
    if (!error->isSet())
        *error = failure;
}

void OVFileWriteBatch::writeTemporary(File& file, OVError* error) {
    OVError fileError;
    OVFileDescriptor fd =
        OVFileSystem::createTemporaryBeside(file.path, &file.temporary, &fileError, m_access);
    if (!fd.isValid()) {
        file.temporary.clear();
        return fail(file, fileError, error);
    }
    if (!OVFileSystem::writeAll(fd.get(), file.data.constData(), file.data.size(), file.path, &fileError))
        return fail(file, fileError, error);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || ::close(fd.release()) != 0)
        return fail(file, OVFileSystem::errorFromErrno(errno, file.path), error);
    file.device = st.st_dev;
    file.data = QByteArray(); // on its way to the disk: the batch need not hold it any longer
}

QList<dev_t> OVFileWriteBatch::flushFileSystems() const {
    std::map<dev_t, QString> fileSystems; // a directory on each
    for (const File& file : m_files)
        if (!file.failed)
            fileSystems.emplace(file.device, directoryOf(file.path));
    QList<dev_t> unflushed;
    for (const auto& [device, directory] : fileSystems) {
        const OVFileDescriptor fd(
            ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.isValid() && ::syncfs(fd.get()) == 0)
            continue;
        OVLog("Could not flush the file system of %@ at once (%@); flushing its files one by one", directory,
              QString::fromLocal8Bit(std::strerror(errno)));
        unflushed.append(device);
    }
    return unflushed;
}

void OVFileWriteBatch::flushTemporaries(OVError* error) {
    // One flush per file system makes every temporary file written above durable at once.
    for (const dev_t device : flushFileSystems())
        for (File& file : m_files)
            if (!file.failed && file.device == device && !fsyncPath(file.temporary, O_RDONLY))
                fail(file, OVFileSystem::errorFromErrno(errno, file.path), error);
}

void OVFileWriteBatch::renameIntoPlace(File& file, OVError* error) {
    if (file.failed)
        return;
    if (::rename(file.temporary.constData(), QFile::encodeName(file.path).constData()) != 0)
        fail(file, OVFileSystem::errorFromErrno(errno, file.path), error);
}

void OVFileWriteBatch::flushRenames(OVError* error) {
    // A rename reaches the disk with its directory; one flush per file system carries them all.
    for (const dev_t device : flushFileSystems()) {
        QSet<QString> flushed;
        for (const File& file : m_files) {
            const QString directory = directoryOf(file.path);
            if (file.failed || file.device != device || flushed.contains(directory))
                continue;
            flushed.insert(directory);
            // The file is in place already; a directory that cannot be flushed is reported, as the
            // file's rename may not survive a power cut.
            if (!fsyncPath(QFile::encodeName(directory), O_RDONLY | O_DIRECTORY) && !error->isSet())
                *error = OVFileSystem::errorFromErrno(errno, directory);
        }
    }
}
