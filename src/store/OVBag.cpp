#include "OVBag.h"

#include "OVFileSystem.h"
#include "OVSha256.h"

#include <QDate>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

const QString OVBag::kDeclarationFileName = QStringLiteral("bagit.txt");
const QString OVBag::kPayloadManifestFileName = QStringLiteral("manifest-sha256.txt");
const QString OVBag::kTagManifestFileName = QStringLiteral("tagmanifest-sha256.txt");
const QString OVBag::kInfoFileName = QStringLiteral("bag-info.txt");

namespace {
constexpr qint64 kMaxTagFileSize = 16 * 1024 * 1024;
constexpr qint64 kReadChunkSize = 1024 * 1024;
const QByteArray kDeclaration = "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n";

// Manifest paths escape only the characters that would break a line.
QString encodePath(QString path) {
    return path.replace(QLatin1String("%"), QLatin1String("%25"))
        .replace(QLatin1String("\n"), QLatin1String("%0A"))
        .replace(QLatin1String("\r"), QLatin1String("%0D"));
}

QString decodePath(QString path) {
    return path.replace(QLatin1String("%0A"), QLatin1String("\n"), Qt::CaseInsensitive)
        .replace(QLatin1String("%0D"), QLatin1String("\r"), Qt::CaseInsensitive)
        .replace(QLatin1String("%25"), QLatin1String("%"));
}

bool isInsideBag(const QString& path) {
    const QStringList names = path.split(QLatin1Char('/'));
    return !names.contains(QString()) && !names.contains(QStringLiteral(".")) &&
           !names.contains(QStringLiteral(".."));
}

bool isLinearWhitespace(char c) {
    return c == ' ' || c == '\t';
}

QByteArray manifestLine(const QByteArray& sha256, const QString& path) {
    return sha256 + "  " + encodePath(path).toUtf8() + "\n";
}

// A tag file's value for a label, or empty when the label is absent.
QString infoValue(const QByteArray& info, const QByteArray& label) {
    for (const QByteArray& line : info.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed() == label)
            return QString::fromUtf8(line.mid(colon + 1).trimmed());
    }
    return QString();
}
} // namespace

bool OVBag::writeTagFiles(const QString& bagPath, const Payload& payload, const QString& externalIdentifier,
                          OVError* error) {
    qint64 octets = 0;
    QByteArray manifest;
    for (const PayloadFile& file : payload) {
        octets += file.size;
        manifest += manifestLine(file.sha256, file.path);
    }
    const QByteArray info =
        "Bagging-Date: " + QDate::currentDate().toString(Qt::ISODate).toUtf8() +
        "\nBag-Software-Agent: OvServices\nExternal-Identifier: " + externalIdentifier.toUtf8() +
        "\nPayload-Oxum: " + QByteArray::number(octets) + '.' + QByteArray::number(payload.size()) + "\n";
    QByteArray tagManifest;
    const QList<QPair<QString, QByteArray>> tags = {
        {kDeclarationFileName, kDeclaration}, {kInfoFileName, info}, {kPayloadManifestFileName, manifest}};
    for (const auto& [name, content] : tags) {
        if (!OVFileSystem::writeAtomically(bagPath + QLatin1Char('/') + name, content, error,
                                           OVFileSystem::Access::AsUmask))
            return false;
        tagManifest += manifestLine(OVSha256::hexHash(content), name);
    }
    return OVFileSystem::writeAtomically(bagPath + QLatin1Char('/') + kTagManifestFileName, tagManifest,
                                         error, OVFileSystem::Access::AsUmask);
}

bool OVBag::isBag(const QString& path) {
    return OVFileSystem::fileExists(path + QLatin1Char('/') + kDeclarationFileName);
}

QByteArray OVBag::sha256Beneath(const QString& bagPath, const QString& path, OVError* error) {
    const OVFileDescriptor fd = OVFileSystem::openRegularFileBeneath(bagPath, path, error);
    struct stat st;
    if (!fd.isValid() || ::fstat(fd.get(), &st) != 0)
        return QByteArray();
    OVSha256 hash;
    // No further than the size it had when opened: a file that keeps growing is still read once.
    if (!OVFileSystem::readChunks(
            fd.get(), st.st_size, kReadChunkSize, [&hash](QByteArrayView chunk) { hash.addData(chunk); },
            bagPath + QLatin1Char('/') + path, error))
        return QByteArray();
    return hash.hexResult();
}

QList<QPair<QString, QByteArray>> OVBag::readManifest(const QString& bagPath, const QString& name,
                                                      QStringList* problems) {
    QList<QPair<QString, QByteArray>> entries;
    const std::optional<QByteArray> text =
        OVFileSystem::readFileBeneath(bagPath, name, kMaxTagFileSize, nullptr);
    if (!text) {
        problems->append(QStringLiteral("%1 is missing or unreadable").arg(name));
        return entries;
    }
    int number = 0;
    for (QByteArray line : text->split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        // The checksum, then spaces or tabs, then the path: a path may hold either, even at its end.
        const auto gapAt = std::find_if(line.cbegin(), line.cend(), isLinearWhitespace);
        const auto pathAt = std::find_if_not(gapAt, line.cend(), isLinearWhitespace);
        const qsizetype gap = gapAt - line.cbegin();
        const QString path = decodePath(QString::fromUtf8(line.mid(pathAt - line.cbegin())));
        if (gap == 0 || !isInsideBag(path)) {
            problems->append(QStringLiteral("%1 line %2 is malformed").arg(name).arg(number));
            continue;
        }
        entries.append({path, line.left(gap).toLower()});
    }
    return entries;
}

QStringList OVBag::payloadFiles(const QString& bagPath) {
    QStringList files;
    // Links are listed, never followed: whatever they point to is not in the bag.
    QDirIterator it(bagPath + QStringLiteral("/data"),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isDir() || it.fileInfo().isSymLink())
            files.append(path.mid(bagPath.size() + 1));
    }
    return files;
}

bool OVBag::hasPayloadDirectory(const QString& bagPath) {
    const QFileInfo data(bagPath + QStringLiteral("/data"));
    return data.isDir() && !data.isSymLink();
}

QStringList OVBag::verify(const QString& bagPath) {
    QStringList problems;
    const std::optional<QByteArray> declaration =
        OVFileSystem::readFileBeneath(bagPath, kDeclarationFileName, kMaxTagFileSize, nullptr);
    if (!declaration || !declaration->startsWith("BagIt-Version: "))
        problems.append(QStringLiteral("%1 is missing or not a BagIt declaration").arg(kDeclarationFileName));
    const bool hasPayload = hasPayloadDirectory(bagPath);
    if (!hasPayload)
        problems.append(QStringLiteral("the payload directory data/ is missing"));

    QSet<QString> listed;
    qint64 octets = 0;
    for (const auto& [path, sha256] : readManifest(bagPath, kPayloadManifestFileName, &problems)) {
        listed.insert(path);
        OVError readError;
        const QByteArray actual = sha256Beneath(bagPath, path, &readError);
        if (readError.code() == ENOENT)
            problems.append(QStringLiteral("%1 is missing").arg(path));
        else if (readError.isSet())
            problems.append(QStringLiteral("%1 is not a regular file inside the bag").arg(path));
        else if (actual != sha256)
            problems.append(QStringLiteral("%1 does not match its checksum").arg(path));
        octets += OVFileSystem::fileSize(bagPath + QLatin1Char('/') + path);
    }
    const QStringList present = hasPayload ? payloadFiles(bagPath) : QStringList();
    for (const QString& path : present) {
        if (!listed.contains(path))
            problems.append(QStringLiteral("%1 is not in the manifest").arg(path));
    }

    const std::optional<QByteArray> info =
        OVFileSystem::readFileBeneath(bagPath, kInfoFileName, kMaxTagFileSize, nullptr);
    const QString oxum = info ? infoValue(*info, "Payload-Oxum") : QString();
    const QString expectedOxum = QStringLiteral("%1.%2").arg(octets).arg(present.size());
    if (!oxum.isEmpty() && oxum != expectedOxum)
        problems.append(QStringLiteral("Payload-Oxum says %1, the payload is %2").arg(oxum, expectedOxum));

    if (OVFileSystem::fileExists(bagPath + QLatin1Char('/') + kTagManifestFileName)) {
        for (const auto& [path, sha256] : readManifest(bagPath, kTagManifestFileName, &problems)) {
            if (sha256Beneath(bagPath, path, nullptr) != sha256)
                problems.append(QStringLiteral("tag file %1 does not match its checksum").arg(path));
        }
    }
    return problems;
}
