#include "OVSessionFileRepository.h"

#include "OVFileHandle.h"
#include "OVFileSystem.h"
#include "OVFileWriteBatch.h"
#include "OVLogger.h"
#include "OVPropertyList.h"

#include <QFile>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>

const QString OVSessionFileRepository::kSessionFileName = QStringLiteral("session.dat");
const QString OVSessionFileRepository::kSessionDataFileName = QStringLiteral("session_data.dat");
const QString OVSessionFileRepository::kPagesDirectoryName = QStringLiteral("PAGES");
const QString OVSessionFileRepository::kCorruptedExtension = QStringLiteral("corrupted");

namespace {

const char* const kStart = "start";
const char* const kEnd = "end";
const char* const kStartPage = "startPage";
const char* const kEndPage = "endPage";
const char* const kUserId = "userId";
const char* const kApplicationId = "applicationId";
const char* const kPageCount = "pageCount";
const char* const kData = "data";
const char* const kSoftwareProtocol = "softwareProtocol";
const char* const kSoftwareUid = "softwareUid";
const char* const kDeviceUid = "deviceUid";
const char* const kDeviceSerial = "deviceSerial";
const char* const kFirmwareRev = "firmwareRev";
const char* const kCrcCorruption = "crcCorruption";
const char* const kAlreadySynced = "alreadySynced";
const char* const kPageNumber = "pageNumber";

// The second text of a failure log line: what the error carries beyond its description.
QString userInfo(const OVError& error) {
    return error.fullDescription();
}

// A serial names one directory level under the root; anything that would name another level, or
// leave the root, cannot form a path.
bool isUsableDirectoryName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

// Reads a field: the value when present and of the right type; a wrong type ends the decoding.
template <typename T, typename Setter>
bool readField(const std::optional<T>& value, const OVError& readError, OVError* error, Setter set) {
    if (readError.isSet()) {
        OVError::set(error, readError);
        return false;
    }
    if (value)
        set(*value);
    return true;
}

// The store is made owner-only from the start; one an earlier version left open to others is closed
// at its top, which keeps everyone else out of everything beneath. One that cannot be closed (another
// owner's) is still used, so that downloads go on; the log says so once.
void closeToOthers(const QString& top) {
    static std::atomic<bool> told{false};
    OVError error;
    if (!OVFileSystem::restrictToOwner(top, &error) && !told.exchange(true))
        OVLog("The store %@ could not be made its owner's only: %@", top, error.description());
}

} // namespace

QString OVSessionFileRepository::directoryNameForStart(const OVDate& start) {
    return QString::asprintf("%f", start.secondsSince1970());
}

QString OVSessionFileRepository::getStoragePath(OVError* error) {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString path = dataHome.isEmpty() ? QString() : dataHome + QStringLiteral("/OvServices/DATA/PROD");
    OVError createError;
    if (!OVFileSystem::createDirectory(path, &createError)) {
        OVLog("Error in applicationDocumentsDirectory [path=%@]. Error: %@, %@", path,
              createError.description(), userInfo(createError));
        OVError::set(error, createError);
        return QString();
    }
    closeToOthers(dataHome + QStringLiteral("/OvServices"));
    return path;
}

QString OVSessionFileRepository::getDirectoryPathForSession(const OVSession& session, OVError* error) {
    OVError pathError;
    const QString root = getStoragePath(&pathError);
    if (root.isEmpty()) {
        OVError::set(error, pathError);
        return QString();
    }
    const QString serial = session.deviceSerial();
    QString path;
    if (!isUsableDirectoryName(serial))
        pathError = OVFileSystem::errorFromErrno(EINVAL, root + QLatin1Char('/') + serial);
    else
        path = root + QLatin1Char('/') + serial + QLatin1Char('/') + directoryNameForStart(session.start());
    if (path.isEmpty() || !OVFileSystem::createDirectory(path, &pathError)) {
        OVLog("Error in getDirectoryPathForSession [session=%@]. Error: %@, %@", session,
              pathError.description(), userInfo(pathError));
        OVError::set(error, pathError);
        return QString();
    }
    return path;
}

QString OVSessionFileRepository::getSessionFilePath(const OVSession& session, OVError* error) {
    const QString directory = getDirectoryPathForSession(session, error);
    return directory.isEmpty() ? QString() : directory + QLatin1Char('/') + kSessionFileName;
}

QString OVSessionFileRepository::getSessionDataFilePath(const OVSession& session, OVError* error) {
    const QString directory = getDirectoryPathForSession(session, error);
    return directory.isEmpty() ? QString() : directory + QLatin1Char('/') + kSessionDataFileName;
}

QString OVSessionFileRepository::getDirectoryPathForSessionPages(const OVSession& session, OVError* error) {
    const QString directory = getDirectoryPathForSession(session, error);
    if (directory.isEmpty())
        return QString();
    const QString path = directory + QLatin1Char('/') + kPagesDirectoryName;
    OVError createError;
    if (!OVFileSystem::createDirectory(path, &createError)) {
        OVLog("Error in getDirectoryPathForSessionPages [session=%@]. Error: %@, %@", session,
              createError.description(), userInfo(createError));
        OVError::set(error, createError);
        return QString();
    }
    return path;
}

QString OVSessionFileRepository::getPageFilePath(const OVPage& page, const OVSession& session,
                                                 OVError* error) {
    const QString directory = getDirectoryPathForSessionPages(session, error);
    if (directory.isEmpty())
        return QString();
    return directory + QLatin1Char('/') +
           OVLogFormat::format("%@%@.dat", QStringLiteral("ov_"), page.pageNumber());
}

std::optional<QStringList> OVSessionFileRepository::getPagesFileNamesForSession(const OVSession& session,
                                                                                OVError* error) {
    const QString directory = getDirectoryPathForSessionPages(session, error);
    if (directory.isEmpty())
        return std::nullopt;
    OVError listError;
    const std::optional<QStringList> names = OVFileSystem::contentsOfDirectory(directory, &listError);
    if (!names) {
        OVLog("Error in getPagesFileNamesForSession [session=%@]. Error: %@, %@", session,
              listError.description(), userInfo(listError));
        OVError::set(error, listError);
        return std::nullopt;
    }
    QStringList pages;
    for (const QString& name : *names) {
        if (name.startsWith(QLatin1String("ov_")))
            pages.append(name);
    }
    return pages;
}

QByteArray OVSessionFileRepository::convertSessionToData(const OVSession& session, OVError* error) {
    OVPropertyList list;
    list.setDate(kStart, session.start());
    list.setDate(kEnd, session.end());
    list.setInteger(kStartPage, session.startPage());
    list.setInteger(kEndPage, session.endPage());
    list.setInteger(kUserId, session.userId());
    list.setString(kApplicationId, session.applicationId());
    list.setInteger(kPageCount, session.pageCount());
    list.setData(kData, session.data());
    list.setInteger(kSoftwareProtocol, session.softwareProtocol());
    list.setString(kSoftwareUid, session.softwareUid());
    list.setString(kDeviceUid, session.deviceUid());
    list.setString(kDeviceSerial, session.deviceSerial());
    list.setString(kFirmwareRev, session.firmwareRev());
    list.setBool(kCrcCorruption, session.crcCorruption());
    list.setBool(kAlreadySynced, session.alreadySynced());
    OVError encodeError;
    const QByteArray data = list.toBinary(&encodeError);
    if (data.isEmpty()) {
        OVLog("Error in convertSessionToNSData [session=%@]. Error: %@, %@", session,
              encodeError.description(), userInfo(encodeError));
        OVError::set(error, encodeError);
    }
    return data;
}

std::shared_ptr<OVSession> OVSessionFileRepository::convertToSession(const QByteArray& data, OVError* error) {
    OVError decodeError;
    auto session = std::make_shared<OVSession>();
    const auto decode = [&]() -> bool {
        const std::optional<OVPropertyList> list = OVPropertyList::fromBinary(data, &decodeError);
        if (!list)
            return false;
        OVError e;
        OVSession& s = *session;
        // Each read leaves e untouched unless the value has the wrong type.
        return readField(list->date(kStart, &e), e, &decodeError, [&](const OVDate& v) { s.setStart(v); }) &&
               readField(list->date(kEnd, &e), e, &decodeError, [&](const OVDate& v) { s.setEnd(v); }) &&
               readField(list->integer(kStartPage, &e), e, &decodeError,
                         [&](quint64 v) { s.setStartPage(v); }) &&
               readField(list->integer(kEndPage, &e), e, &decodeError, [&](quint64 v) { s.setEndPage(v); }) &&
               readField(list->integer(kUserId, &e), e, &decodeError, [&](quint64 v) { s.setUserId(v); }) &&
               readField(list->string(kApplicationId, &e), e, &decodeError,
                         [&](const QString& v) { s.setApplicationId(v); }) &&
               readField(list->integer(kPageCount, &e), e, &decodeError,
                         [&](quint64 v) { s.setPageCount(v); }) &&
               readField(list->data(kData, &e), e, &decodeError,
                         [&](const QByteArray& v) { s.setData(v); }) &&
               readField(list->integer(kSoftwareProtocol, &e), e, &decodeError,
                         [&](quint64 v) { s.setSoftwareProtocol(v); }) &&
               readField(list->string(kSoftwareUid, &e), e, &decodeError,
                         [&](const QString& v) { s.setSoftwareUid(v); }) &&
               readField(list->string(kDeviceUid, &e), e, &decodeError,
                         [&](const QString& v) { s.setDeviceUid(v); }) &&
               readField(list->string(kDeviceSerial, &e), e, &decodeError,
                         [&](const QString& v) { s.setDeviceSerial(v); }) &&
               readField(list->string(kFirmwareRev, &e), e, &decodeError,
                         [&](const QString& v) { s.setFirmwareRev(v); }) &&
               readField(list->boolean(kCrcCorruption, &e), e, &decodeError,
                         [&](bool v) { s.setCrcCorruption(v); }) &&
               readField(list->boolean(kAlreadySynced, &e), e, &decodeError,
                         [&](bool v) { s.setAlreadySynced(v); });
    };
    if (!decode()) {
        OVLog("Error in convertToSession [NSData=%@]. Error: %@, %@", data, decodeError.description(),
              userInfo(decodeError));
        OVError::set(error, decodeError);
        return nullptr;
    }
    return session;
}

QByteArray OVSessionFileRepository::convertPageToData(const OVPage& page, OVError* error) {
    OVPropertyList list;
    list.setInteger(kPageNumber, page.pageNumber());
    list.setData(kData, page.data());
    OVError encodeError;
    const QByteArray data = list.toBinary(&encodeError);
    if (data.isEmpty()) {
        OVLog("Error in convertPageToNSData [page=%@]. Error: %@, %@", page, encodeError.description(),
              userInfo(encodeError));
        OVError::set(error, encodeError);
    }
    return data;
}

std::optional<OVPage> OVSessionFileRepository::convertToPage(const QByteArray& data, OVError* error) {
    OVError decodeError;
    std::optional<OVPage> page;
    if (const std::optional<OVPropertyList> list = OVPropertyList::fromBinary(data, &decodeError)) {
        const std::optional<quint64> number = list->integer(kPageNumber, &decodeError);
        const std::optional<QByteArray> bytes =
            !decodeError.isSet() ? list->data(kData, &decodeError) : std::nullopt;
        if (number && bytes)
            page.emplace(*number, *bytes);
        else if (!decodeError.isSet())
            decodeError = OVError(OVPropertyList::kCocoaErrorDomain, OVPropertyList::kReadCorruptError,
                                  QStringLiteral("The data couldn't be read because it is missing. (%1)")
                                      .arg(number ? QStringLiteral("data") : QStringLiteral("pageNumber")));
    }
    if (!page) {
        OVLog("Error in convertToPage [NSData=%@]. Error: %@, %@", data, decodeError.description(),
              userInfo(decodeError));
        OVError::set(error, decodeError);
    }
    return page;
}

bool OVSessionFileRepository::addSession(const OVSession& session, OVError* error) {
    const QByteArray data = convertSessionToData(session, error);
    if (data.isEmpty())
        return false;
    const QString path = getSessionFilePath(session, error);
    if (path.isEmpty())
        return false;
    // A caller that tests the answer alone must not take a record that never reached the disk for saved.
    return OVFileSystem::writeAtomically(path, data, error);
}

void OVSessionFileRepository::updateSession(const OVSession& session, OVError* error) {
    // The new record replaces the old in one rename: removing first would leave a moment without
    // "session.dat", in which the cleaner takes a directory holding "PAGES" for an abandoned one.
    addSession(session, error);
}

bool OVSessionFileRepository::updateSessions(const OVSessionList& sessions, OVError* error) {
    OVFileWriteBatch batch;
    OVError firstError;
    for (const std::shared_ptr<OVSession>& session : sessions) {
        OVError sessionError;
        const QByteArray data = convertSessionToData(*session, &sessionError);
        const QString path = data.isEmpty() ? QString() : getSessionFilePath(*session, &sessionError);
        if (!path.isEmpty())
            batch.add(path, data);
        else if (!firstError.isSet())
            firstError = sessionError;
    }
    OVError batchError;
    if (!batch.commit(&batchError) && !firstError.isSet())
        firstError = batchError;
    if (!firstError.isSet())
        return true;
    OVError::set(error, firstError);
    return false;
}

bool OVSessionFileRepository::removeSession(const OVSession& session, OVError* error) {
    const QString path = getSessionFilePath(session, error);
    if (path.isEmpty())
        return false;
    if (OVFileSystem::fileExists(path))
        OVFileSystem::removeItem(path, error);
    return true;
}

bool OVSessionFileRepository::doesSessionExist(const OVSession& session, OVError* error) {
    const QString path = getSessionFilePath(session, error);
    if (path.isEmpty() || !OVFileSystem::fileExists(path))
        return false;
    // A record that does not decode is no session: answered as one, the device's entry would never
    // be written again and the session would stay unlisted, never uploaded, while its data sits
    // whole beside it. Set aside, it is written anew from the device's list.
    if (readRecord(path))
        return true;
    quarantineRecord(path, error);
    return false;
}

std::shared_ptr<OVSession> OVSessionFileRepository::readRecord(const QString& recordPath) {
    // An unreadable record decodes as nothing, like a corrupt one.
    const QByteArray data =
        OVFileSystem::readFile(recordPath, kMaxRecordFileSize, nullptr).value_or(QByteArray());
    return convertToSession(data, nullptr);
}

bool OVSessionFileRepository::quarantineRecord(const QString& recordPath, OVError* error) {
    const QString kept = recordPath + QLatin1Char('.') + kCorruptedExtension;
    // The first undecodable record is kept, as the first corrupt data is. A second name keeps its
    // bytes, readable or not, and the record itself stays in place until a new one replaces it, so
    // the cleaner never finds the session directory without one.
    if (OVFileSystem::fileExists(kept))
        return true;
    OVError linkError;
    if (!OVFileSystem::linkItem(recordPath, kept, &linkError) &&
        !OVFileSystem::copyItem(recordPath, kept, error))
        return false;
    OVLog("Undecodable session record %@ kept as %@; the next download of its device writes it anew",
          recordPath, kept);
    return true;
}

bool OVSessionFileRepository::addData(const OVPage& page, const OVSession& session, OVError* error) {
    const QString directory = getDirectoryPathForSession(session, error);
    if (directory.isEmpty())
        return false;
    const QString pagesPath = directory + QLatin1Char('/') + kPagesDirectoryName;
    if (OVFileSystem::fileExists(pagesPath) && !OVFileSystem::removeItem(pagesPath, error))
        return false;
    const QString pagePath = getPageFilePath(page, session, error);
    if (pagePath.isEmpty())
        return false;
    const QByteArray record = convertPageToData(page, error);
    if (record.isEmpty())
        return false;
    if (!OVFileSystem::writeAtomically(pagePath, record, error))
        return false;
    return OVFileSystem::appendToFile(directory + QLatin1Char('/') + kSessionDataFileName, page.data(),
                                      error);
}

std::unique_ptr<OVSessionDataAppender>
OVSessionFileRepository::openSessionDataForAppending(const OVSession& session, OVError* error) {
    const QString path = getSessionDataFilePath(session, error);
    if (path.isEmpty())
        return nullptr;
    if (!OVFileSystem::fileExists(path) && !OVFileSystem::appendToFile(path, QByteArray(), error))
        return nullptr;
    auto file = std::make_unique<OVFileHandle>();
    if (!file->openForUpdating(path, error))
        return nullptr;
    return file;
}

bool OVSessionFileRepository::readSessionData(const OVSession& session, qint64 chunkSize,
                                              const std::function<void(const QByteArray&)>& consumer,
                                              OVError* error) {
    const QString path = getSessionDataFilePath(session, error);
    if (path.isEmpty())
        return false;
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        // QFile keeps the open's errno; ENOENT stands in should it not.
        OVError::set(error, OVFileSystem::errorFromErrno(errno != 0 ? errno : ENOENT, path));
        return false;
    }
    for (QByteArray chunk = file.read(chunkSize); !chunk.isEmpty(); chunk = file.read(chunkSize))
        consumer(chunk);
    return true;
}

bool OVSessionFileRepository::keepCorruptedCopy(const OVSession& session, OVError* error) {
    const QString dataPath = getSessionDataFilePath(session, error);
    if (dataPath.isEmpty())
        return false;
    // The first corrupt download is kept for inspection; later ones do not replace it.
    const QString corruptedPath = dataPath + QLatin1Char('.') + kCorruptedExtension;
    return OVFileSystem::fileExists(corruptedPath) || OVFileSystem::copyItem(dataPath, corruptedPath, error);
}

bool OVSessionFileRepository::doesSessionHaveAllData(const OVSession& session, OVError* error) {
    const QString path = getSessionDataFilePath(session, error);
    if (path.isEmpty())
        return false;
    return OVFileSystem::fileSize(path) == session.expectedDataSize();
}

std::optional<OVSessionList> OVSessionFileRepository::getAllSessions(OVError* error) {
    const QString root = getStoragePath(error);
    if (root.isEmpty())
        return std::nullopt;
    const std::optional<QStringList> devices = OVFileSystem::contentsOfDirectory(root, error);
    if (!devices)
        return std::nullopt;
    OVSessionList sessions;
    for (const QString& device : *devices) {
        const QString devicePath = root + QLatin1Char('/') + device;
        if (!OVFileSystem::isDirectory(devicePath))
            continue;
        const std::optional<QStringList> entries = OVFileSystem::contentsOfDirectory(devicePath, error);
        if (!entries)
            return std::nullopt;
        for (const QString& entry : *entries) {
            const QString recordPath =
                devicePath + QLatin1Char('/') + entry + QLatin1Char('/') + kSessionFileName;
            if (!OVFileSystem::fileExists(recordPath))
                continue;
            // An undecodable record is skipped; the existence check sets it aside when the device lists it.
            if (std::shared_ptr<OVSession> session = readRecord(recordPath))
                sessions.append(session);
        }
    }
    return sessions;
}

std::optional<quint64> OVSessionFileRepository::getLastSavedPageNumberForSession(const OVSession& session,
                                                                                 OVError* error) {
    const QString path = getSessionDataFilePath(session, error);
    if (path.isEmpty())
        return std::nullopt;
    const qint64 size = OVFileSystem::fileSize(path);
    if (size == 0)
        return std::nullopt;
    // Less than a page gives startPage − 1, so that the next page to fetch is startPage.
    return session.startPage() + static_cast<quint64>(size / OVPage::kPageSize) - 1;
}

void OVSessionFileRepository::deleteDataForSession(const OVSession& session, OVError* error) {
    const QString directory = getDirectoryPathForSession(session, error);
    if (directory.isEmpty())
        return;
    const QString pagesPath = directory + QLatin1Char('/') + kPagesDirectoryName;
    if (OVFileSystem::fileExists(pagesPath) && !OVFileSystem::removeItem(pagesPath, error))
        return;
    const QString dataPath = directory + QLatin1Char('/') + kSessionDataFileName;
    if (OVFileSystem::fileExists(dataPath))
        OVFileSystem::removeItem(dataPath, error);
}

bool OVSessionFileRepository::commit(OVError* /*error*/) {
    return true;
}
