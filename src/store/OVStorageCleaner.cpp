#include "OVStorageCleaner.h"

#include "OVFileSystem.h"
#include "OVSessionFileRepository.h"
#include "OVSyslogSink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

OVStorageCleaner& OVStorageCleaner::sharedInstance() {
    static OVStorageCleaner instance;
    return instance;
}

OVStorageCleaner::OVStorageCleaner()
    : m_queue(QStringLiteral("OVStorageCleaner queue"), 1) {}

OVStorageCleaner::~OVStorageCleaner() {
    stopCleaning();
    m_queue.waitUntilAllOperationsAreFinished();
}

void OVStorageCleaner::startCleaning() {
    if (m_started.load()) {
        OVSyslogSink::writeDirect(QStringLiteral("Timer already started..."));
        return;
    }
    std::chrono::milliseconds interval;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        interval = m_interval;
    }
    m_timer = new QTimer(QCoreApplication::instance());
    m_timer->setInterval(interval);
    QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { clean(); });
    m_timer->start();
    m_started.store(true);
    clean();
}

void OVStorageCleaner::stopCleaning() {
    if (m_timer) {
        m_timer->stop();
        delete m_timer.data();
    }
    m_timer = nullptr;
    m_started.store(false);
}

void OVStorageCleaner::clean() {
    m_queue.addOperationWithBlock([this] { cleanInternal(); });
}

void OVStorageCleaner::setRepositoryFactory(RepositoryFactory factory) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_repositoryFactory = std::move(factory);
}

void OVStorageCleaner::setInterval(std::chrono::milliseconds interval) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interval = interval;
}

std::unique_ptr<OVSessionRepositoryProtocol> OVStorageCleaner::makeRepository() const {
    RepositoryFactory factory;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        factory = m_repositoryFactory;
    }
    if (factory)
        return factory();
    return std::make_unique<OVSessionFileRepository>();
}

void OVStorageCleaner::cleanInternal() {
    std::unique_ptr<OVSessionRepositoryProtocol> repository = makeRepository();
    if (!repository)
        return;
    OVError error;
    const QString root = repository->getStoragePath(&error);
    if (root.isEmpty() || error.isSet())
        return;
    const std::optional<QStringList> devices = OVFileSystem::contentsOfDirectory(root, nullptr);
    if (!devices)
        return;
    for (const QString& device : *devices) {
        const QString devicePath = root + QLatin1Char('/') + device;
        if (!OVFileSystem::isDirectory(devicePath))
            continue;
        const std::optional<QStringList> sessions = OVFileSystem::contentsOfDirectory(devicePath, nullptr);
        if (!sessions)
            continue;
        for (const QString& session : *sessions) {
            const QString sessionPath = devicePath + QLatin1Char('/') + session;
            if (!OVFileSystem::isDirectory(sessionPath))
                continue;
            const QString prefix = sessionPath + QLatin1Char('/');
            if (!OVFileSystem::fileExists(prefix + OVSessionFileRepository::kSessionFileName) &&
                OVFileSystem::fileExists(prefix + OVSessionFileRepository::kPagesDirectoryName))
                OVFileSystem::removeItem(sessionPath, nullptr);
            else
                removeStrayTemporaries(sessionPath);
        }
    }
}

void OVStorageCleaner::removeStrayTemporaries(const QString& sessionPath) {
    const std::optional<QStringList> names = OVFileSystem::contentsOfDirectory(sessionPath, nullptr);
    if (!names)
        return;
    // A temporary file as young as this may belong to a write under way: its rename is still to come.
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addSecs(-kStrayTemporaryAge.count());
    for (const QString& name : *names) {
        if (!OVFileSystem::isTemporaryName(name, OVSessionFileRepository::kSessionFileName))
            continue;
        const QFileInfo info(sessionPath + QLatin1Char('/') + name);
        if (info.isFile() && !info.isSymLink() && info.lastModified() < cutoff)
            OVFileSystem::removeItem(info.filePath(), nullptr);
    }
}
