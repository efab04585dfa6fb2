#include "OVFileLogger.h"

#include <QFileInfo>

OVFileLogger::OVFileLogger(std::shared_ptr<OVFileLoggerManager> manager)
    : m_manager(std::move(manager)) {}

bool OVFileLogger::isTooOld(const QDateTime& created) const {
    return created.secsTo(m_clock()) >= m_rollingFrequency;
}

bool OVFileLogger::chooseCurrentFile() {
    if (!m_manager->ensureDirectory())
        return false;
    const QStringList files = m_manager->sortedLogFilePaths();
    QString path;
    if (!files.isEmpty()) {
        const QString& newest = files.first();
        const QFileInfo info(newest);
        if (!OVFileLoggerManager::isArchived(newest) && info.size() < m_maximumFileSize &&
            !isTooOld(OVFileLoggerManager::creationDate(newest)))
            path = newest;
        else
            OVFileLoggerManager::setArchived(newest, true);
    }
    if (path.isEmpty())
        path = m_manager->createNewLogFile();
    if (path.isEmpty())
        return false;
    m_current.setFileName(path);
    m_currentCreated = OVFileLoggerManager::creationDate(path);
    m_currentSize = QFileInfo(path).size();
    if (!m_current.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // A file an earlier version made readable by others is continued as its owner's only.
    m_current.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

void OVFileLogger::flush() {
    if (m_current.isOpen())
        m_current.flush();
}

void OVFileLogger::rollCurrentFile() {
    const QString path = m_current.fileName();
    m_current.close();
    OVFileLoggerManager::setArchived(path, true);
    m_current.setFileName(QString());
}

void OVFileLogger::tick() {
    if (m_current.isOpen() && isTooOld(m_currentCreated))
        rollCurrentFile();
}

void OVFileLogger::write(const OVLogMessage& message) {
    // Checked before each line as well: the tick comes once a minute, a line may come sooner.
    tick();
    if (!m_current.isOpen() && !chooseCurrentFile())
        return;
    const QByteArray line = m_formatter.formatLogMessage(message).toUtf8() + '\n';
    m_current.write(line);
    m_currentSize += line.size();
    if (m_currentSize >= m_maximumFileSize)
        rollCurrentFile();
}
