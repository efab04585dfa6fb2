#include "OVSessionExporter.h"

#include "OVBag.h"
#include "OVFileSystem.h"
#include "OVHelper.h"
#include "OVSessionFileRepository.h"
#include "OVSessionRepositoryProtocol.h"
#include "OVSha256.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cmath>
#include <unistd.h>

const QString OVSessionExporter::kIndexFileName = QStringLiteral("sessions.csv");
const QString OVSessionExporter::kPayloadDataName = QStringLiteral("session_data.dat");
const QString OVSessionExporter::kPayloadRecordName = QStringLiteral("session.json");

namespace {
constexpr qint64 kCopyChunkSize = 1024 * 1024;

const QStringList kIndexColumns = {
    QStringLiteral("bag"),          QStringLiteral("deviceSerial"), QStringLiteral("start"),
    QStringLiteral("startSeconds"), QStringLiteral("end"),          QStringLiteral("pageCount"),
    QStringLiteral("userId"),       QStringLiteral("firmwareRev"),  QStringLiteral("crcCorruption"),
    QStringLiteral("uploaded"),     QStringLiteral("dataBytes"),    QStringLiteral("dataSha256")};

QString isoTime(const OVDate& date) {
    return date.toDateTime().toUTC().toString(Qt::ISODateWithMs);
}

QString csvField(const QJsonValue& value) {
    QString text = value.isString() ? value.toString()
                   : value.isBool() ? QString::fromLatin1(value.toBool() ? "true" : "false")
                                    : QString::number(value.toDouble(), 'g', 17);
    // A bare carriage return ends a row for many readers, as a line feed does.
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
        text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
        text = QLatin1Char('"') + text.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
    return text;
}

bool matches(const OVSession& session, const OVSessionExporter::Selection& selection) {
    if (!selection.serial.isEmpty() && session.deviceSerial() != selection.serial)
        return false;
    return !selection.startSeconds || session.startsInSecond(*selection.startSeconds);
}

bool writeText(const QString& path, const QByteArray& text, OVError* error) {
    return OVFileSystem::writeAtomically(path, text, error, OVFileSystem::Access::AsUmask);
}
} // namespace

OVSessionExporter::OVSessionExporter(OVSessionRepositoryProtocol* repository)
    : m_repository(repository) {}

QString OVSessionExporter::bagName(const OVSession& session) {
    return session.deviceSerial() + QLatin1Char('_') +
           OVSessionFileRepository::directoryNameForStart(session.start());
}

QJsonObject OVSessionExporter::sessionRecord(const OVSession& session) {
    const auto date = [](const OVDate& d) {
        return QJsonObject{{QStringLiteral("iso8601"), isoTime(d)},
                           {QStringLiteral("secondsSince1970"), d.secondsSince1970()},
                           {QStringLiteral("serverTimestamp"), OVHelper::convertDateToOrvatimestamp(d)}};
    };
    return QJsonObject{
        {QStringLiteral("formatVersion"), 1},
        {QStringLiteral("deviceSerial"), session.deviceSerial()},
        {QStringLiteral("firmwareRev"), session.firmwareRev()},
        {QStringLiteral("start"), date(session.start())},
        {QStringLiteral("end"), date(session.end())},
        {QStringLiteral("startPage"), qint64(session.startPage())},
        {QStringLiteral("endPage"), qint64(session.endPage())},
        {QStringLiteral("pageCount"), qint64(session.pageCount())},
        {QStringLiteral("pageSize"), OVPage::kPageSize},
        {QStringLiteral("userId"), qint64(session.userId())},
        {QStringLiteral("applicationId"), session.applicationId()},
        {QStringLiteral("softwareProtocol"), qint64(session.softwareProtocol())},
        {QStringLiteral("softwareUid"), session.softwareUid()},
        {QStringLiteral("deviceUid"), session.deviceUid()},
        {QStringLiteral("sessionInformation"), QString::fromLatin1(session.data().toBase64())},
        {QStringLiteral("crcCorruption"), session.crcCorruption()},
        {QStringLiteral("uploaded"), session.alreadySynced()},
    };
}

std::optional<OVSessionExporter::Report>
OVSessionExporter::exportSessions(const QString& outDirectory, const Selection& selection, OVError* error) {
    const std::optional<OVSessionList> sessions = m_repository->getAllSessions(error);
    if (!sessions || !OVFileSystem::createDirectory(outDirectory, error, OVFileSystem::Access::AsUmask))
        return std::nullopt;
    Report report;
    for (const std::shared_ptr<OVSession>& session : *sessions) {
        if (!matches(*session, selection))
            continue;
        const QString name = bagName(*session);
        const QString bagPath = outDirectory + QLatin1Char('/') + name;
        OVError sessionError;
        if (OVFileSystem::fileExists(bagPath) && !OVFileSystem::removeItem(bagPath, &sessionError))
            report.skipped.append(name + QStringLiteral(": ") + sessionError.description());
        else if (exportSession(*session, bagPath, &sessionError))
            report.bags.append(name);
        else
            report.skipped.append(name + QStringLiteral(": ") + sessionError.description());
    }
    if (!writeIndex(outDirectory, error))
        return std::nullopt;
    return report;
}

bool OVSessionExporter::exportSession(const OVSession& session, const QString& bagPath, OVError* error) {
    const QString source = m_repository->getSessionDataFilePath(session, error);
    if (source.isEmpty())
        return false;
    const qint64 size = session.expectedDataSize();
    // A session still downloading is not a recording yet: only whole ones are exported.
    if (size == 0 || OVFileSystem::fileSize(source) < size) {
        OVError::set(error, OVError(OVFileSystem::kPOSIXErrorDomain, ENODATA,
                                    QStringLiteral("the session is not completely downloaded")));
        return false;
    }
    const int slash = bagPath.lastIndexOf(QLatin1Char('/'));
    const QString building =
        bagPath.left(slash + 1) + QLatin1Char('.') + bagPath.mid(slash + 1) + QStringLiteral(".partial");
    if (OVFileSystem::fileExists(building))
        OVFileSystem::removeItem(building, nullptr);

    QByteArray dataSha256;
    if (!OVFileSystem::createDirectory(building + QStringLiteral("/data"), error,
                                       OVFileSystem::Access::AsUmask) ||
        !copyData(source, size, building + QStringLiteral("/data/") + kPayloadDataName, &dataSha256, error)) {
        OVFileSystem::removeItem(building, nullptr);
        return false;
    }
    QJsonObject record = sessionRecord(session);
    record.insert(QStringLiteral("dataFile"), QStringLiteral("data/") + kPayloadDataName);
    record.insert(QStringLiteral("dataBytes"), size);
    record.insert(QStringLiteral("dataSha256"), QString::fromLatin1(dataSha256));
    const QByteArray recordBytes = QJsonDocument(record).toJson(QJsonDocument::Indented);
    if (!writeText(building + QStringLiteral("/data/") + kPayloadRecordName, recordBytes, error)) {
        OVFileSystem::removeItem(building, nullptr);
        return false;
    }
    OVBag::Payload payload{
        {QStringLiteral("data/") + kPayloadDataName, dataSha256, size},
        {QStringLiteral("data/") + kPayloadRecordName, OVSha256::hexHash(recordBytes), recordBytes.size()}};
    const QString externalIdentifier = session.deviceSerial() + QLatin1Char('/') +
                                       OVSessionFileRepository::directoryNameForStart(session.start());
    if (!OVBag::writeTagFiles(building, payload, externalIdentifier, error) ||
        ::rename(QFile::encodeName(building).constData(), QFile::encodeName(bagPath).constData()) != 0) {
        if (error && error->code() == 0)
            OVError::set(error, OVFileSystem::errorFromErrno(errno, bagPath));
        OVFileSystem::removeItem(building, nullptr);
        return false;
    }
    return true;
}

bool OVSessionExporter::copyData(const QString& source, qint64 size, const QString& destination,
                                 QByteArray* sha256, OVError* error) {
    QFile in(source);
    QFile out(destination);
    if (!in.open(QIODevice::ReadOnly)) {
        OVError::set(error, OVFileSystem::errorFromErrno(EACCES, source));
        return false;
    }
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        OVError::set(error, OVFileSystem::errorFromErrno(EACCES, destination));
        return false;
    }
    OVSha256 hash;
    QByteArray chunk(kCopyChunkSize, Qt::Uninitialized);
    // Only the session's own bytes: the storer may be appending the next pass behind them.
    for (qint64 left = size; left > 0;) {
        const qint64 got = in.read(chunk.data(), qMin(left, kCopyChunkSize));
        if (got <= 0) {
            OVError::set(error, OVFileSystem::errorFromErrno(EIO, source));
            return false;
        }
        hash.addData(QByteArrayView(chunk.constData(), got));
        if (!OVFileSystem::writeAll(out.handle(), chunk.constData(), got, destination, error))
            return false;
        left -= got;
    }
    if (::fsync(out.handle()) != 0) {
        OVError::set(error, OVFileSystem::errorFromErrno(errno, destination));
        return false;
    }
    *sha256 = hash.hexResult();
    return true;
}

bool OVSessionExporter::writeIndex(const QString& outDirectory, OVError* error) {
    const std::optional<QStringList> entries = OVFileSystem::contentsOfDirectory(outDirectory, error);
    if (!entries)
        return false;
    QStringList names = *entries;
    names.sort();
    QByteArray csv = kIndexColumns.join(QLatin1Char(',')).toUtf8() + "\r\n";
    for (const QString& name : names) {
        const QString recordPath =
            outDirectory + QLatin1Char('/') + name + QStringLiteral("/data/") + kPayloadRecordName;
        const std::optional<QByteArray> bytes = OVFileSystem::readFile(recordPath, 1024 * 1024, nullptr);
        const QJsonObject record = bytes ? QJsonDocument::fromJson(*bytes).object() : QJsonObject();
        if (name.startsWith(QLatin1Char('.')) || record.isEmpty())
            continue;
        QStringList row{csvField(name)};
        for (const QString& column : kIndexColumns.mid(1)) {
            const QJsonValue value = record.value(column);
            row.append(value.isObject() ? csvField(value.toObject().value(QStringLiteral("iso8601")))
                       : column == QLatin1String("startSeconds")
                           ? csvField(record.value(QStringLiteral("start"))
                                          .toObject()
                                          .value(QStringLiteral("secondsSince1970")))
                           : csvField(value));
        }
        csv += row.join(QLatin1Char(',')).toUtf8() + "\r\n";
    }
    return writeText(outDirectory + QLatin1Char('/') + kIndexFileName, csv, error);
}
