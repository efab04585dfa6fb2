#include "OVFileLoggerManager.h"

#include "OVLogFormat.h"
#include "OVSyslogSink.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <minizip/zip.h>
#include <sys/xattr.h>

#include <algorithm>

namespace {

const char kArchivedAttribute[] = "user.lumberjack.log.archived";
// Not every file system records birth times; this one keeps a file's age for the daily roll.
const char kCreatedAttribute[] = "user.ovservices.log.created";
const char kLogPrefix[] = "log-";
constexpr int kZipUtf8Flag = 1 << 11;

QString processName() {
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromUtf8(comm.readAll().trimmed());
    return QStringLiteral("ovservices");
}

} // namespace

OVFileLoggerManager::OVFileLoggerManager(QString logsDirectory)
    : m_logsDirectory(std::move(logsDirectory)) {}

QString OVFileLoggerManager::defaultLogsDirectory() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) {
        const QString home = qEnvironmentVariable("HOME");
        state = home.isEmpty() ? QDir::tempPath() : home + QStringLiteral("/.local/state");
    }
    return state + QLatin1Char('/') + processName() + QStringLiteral("/Logs");
}

bool OVFileLoggerManager::isLogFile(const QString& fileName) {
    return fileName.startsWith(QLatin1String(kLogPrefix)) && getNumberFromFileName(fileName).has_value();
}

std::optional<qint64> OVFileLoggerManager::getNumberFromFileName(const QString& fileName) {
    if (fileName.size() < 4)
        return std::nullopt;
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'), 4);
    const QString digits = fileName.mid(4, dot < 0 ? -1 : dot - 4);
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok, 10);
    if (!ok || digits.isEmpty() || !digits.at(0).isDigit())
        return std::nullopt;
    return number;
}

QDateTime OVFileLoggerManager::creationDate(const QString& path) {
    char value[32] = {};
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), kCreatedAttribute, value, sizeof value - 1);
    bool ok = false;
    const qint64 msecs = size > 0 ? QByteArray(value, size).toLongLong(&ok) : 0;
    if (ok)
        return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    const QFileInfo info(path);
    const QDateTime birth = info.birthTime();
    return birth.isValid() ? birth : info.lastModified();
}

// Newest first by creation. Files made within the same clock tick are told apart by their
// number, which grows with every file this manager creates.
QStringList OVFileLoggerManager::sortedLogFilePaths() const {
    struct Entry {
        QString path;
        QDateTime created;
        qint64 number;
    };
    std::vector<Entry> entries;
    const QDir dir(m_logsDirectory);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (!isLogFile(name))
            continue;
        const QString path = dir.filePath(name);
        entries.push_back({path, creationDate(path), *getNumberFromFileName(name)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.created != b.created)
            return a.created > b.created;
        return a.number > b.number;
    });
    QStringList paths;
    for (const Entry& e : entries)
        paths << e.path;
    return paths;
}

QString OVFileLoggerManager::generateShortUUID() const {
    const QStringList paths = sortedLogFilePaths();
    if (paths.isEmpty())
        return QStringLiteral("1");
    return QString::number(*getNumberFromFileName(QFileInfo(paths.first()).fileName()) + 1);
}

bool OVFileLoggerManager::ensureDirectory() const {
    if (!QDir().mkpath(m_logsDirectory)) {
        OVSyslogSink::writeDirect(OVLogFormat::format(
            "DDFileLogManagerDefault: Error creating logsDirectory: %@", m_logsDirectory));
        return false;
    }
    // The lines name the account (email, name, date of birth): the folder is its owner's alone, and
    // one an earlier version left open is closed, which keeps the files already in it private too. A
    // folder that cannot be closed (another owner's) is still written to: the lines are what support reads.
    if (!QFile::setPermissions(m_logsDirectory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        OVSyslogSink::writeDirect(OVLogFormat::format(
            "DDFileLogManagerDefault: Could not make logsDirectory its owner's only: %@", m_logsDirectory));
    return true;
}

QString OVFileLoggerManager::createNewLogFile() {
    if (!ensureDirectory())
        return QString();
    qint64 number = generateShortUUID().toLongLong();
    QString path;
    // A name already taken (a file made by hand, say) moves on to the next number.
    for (;; ++number) {
        path = QDir(m_logsDirectory).filePath(OVLogFormat::format("log-%@.txt", number));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner)) {
            const QByteArray created = QByteArray::number(QDateTime::currentMSecsSinceEpoch());
            setxattr(QFile::encodeName(path).constData(), kCreatedAttribute, created.constData(),
                     static_cast<size_t>(created.size()), 0);
            break;
        }
        if (!file.exists())
            return QString();
    }
    deleteOldLogFiles();
    return path;
}

void OVFileLoggerManager::deleteOldLogFiles() const {
    QStringList paths = sortedLogFilePaths();
    if (!paths.isEmpty() && !isArchived(paths.first()))
        paths.removeFirst();
    for (qsizetype i = m_maximumNumberOfLogFiles; i < paths.size(); ++i)
        QFile::remove(paths.at(i));
}

bool OVFileLoggerManager::isArchived(const QString& path) {
    return getxattr(QFile::encodeName(path).constData(), kArchivedAttribute, nullptr, 0) >= 0;
}

void OVFileLoggerManager::setArchived(const QString& path, bool archived) {
    const QByteArray name = QFile::encodeName(path);
    if (archived) {
        const char value = 1;
        setxattr(name.constData(), kArchivedAttribute, &value, 1, 0);
    } else {
        removexattr(name.constData(), kArchivedAttribute);
    }
}

QString OVFileLoggerManager::zipLogFiles() const {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString zipPath = OVLogFormat::format("%@/OvServices_logs_%@.zip", m_logsDirectory, stamp);
    zipFile zip = zipOpen64(QFile::encodeName(zipPath).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return QString();
    // It holds every log line; where it is mailed from is up to its owner.
    QFile::setPermissions(zipPath, QFile::ReadOwner | QFile::WriteOwner);
    for (const QString& path : sortedLogFilePaths()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QDateTime modified = QFileInfo(path).lastModified();
        zip_fileinfo info{};
        info.tmz_date.tm_year = static_cast<uInt>(modified.date().year());
        info.tmz_date.tm_mon = static_cast<uInt>(modified.date().month() - 1);
        info.tmz_date.tm_mday = static_cast<uInt>(modified.date().day());
        info.tmz_date.tm_hour = static_cast<uInt>(modified.time().hour());
        info.tmz_date.tm_min = static_cast<uInt>(modified.time().minute());
        info.tmz_date.tm_sec = static_cast<uInt>(modified.time().second());
        const QByteArray entryName = QFileInfo(path).fileName().toUtf8();
        if (zipOpenNewFileInZip4_64(zip, entryName.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, 9, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                    0, 0, kZipUtf8Flag, 1) != ZIP_OK)
            continue;
        // Log files are UTF-8 text already: copied in pieces so a large file is never held whole.
        while (!file.atEnd()) {
            const QByteArray piece = file.read(64 * 1024);
            zipWriteInFileInZip(zip, piece.constData(), static_cast<unsigned>(piece.size()));
        }
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
    return zipPath;
}
