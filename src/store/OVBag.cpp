#include "OVBag.h"

#include "OVFileSystem.h"
#include "OVSha256.h"

#include <QDate>
#include <QDirIterator>
#include <QFile>
#include <QSet>

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
    return !path.isEmpty() && !path.startsWith(QLatin1Char('/')) &&
           !path.split(QLatin1Char('/')).contains(QStringLiteral(".."));
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
        if (!OVFileSystem::writeAtomically(bagPath + QLatin1Char('/') + name, content, error))
            return false;
        tagManifest += manifestLine(OVSha256::hexHash(content), name);
    }
    return OVFileSystem::writeAtomically(bagPath + QLatin1Char('/') + kTagManifestFileName, tagManifest,
                                         error);
}

bool OVBag::isBag(const QString& path) {
    return OVFileSystem::fileExists(path + QLatin1Char('/') + kDeclarationFileName);
}

QByteArray OVBag::sha256OfFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    OVSha256 hash;
    QByteArray chunk(kReadChunkSize, Qt::Uninitialized);
    qint64 got = 0;
    while ((got = file.read(chunk.data(), kReadChunkSize)) > 0)
        hash.addData(QByteArrayView(chunk.constData(), got));
    return got < 0 ? QByteArray() : hash.hexResult();
}

QList<QPair<QString, QByteArray>> OVBag::readManifest(const QString& bagPath, const QString& name,
                                                      QStringList* problems) {
    QList<QPair<QString, QByteArray>> entries;
    const std::optional<QByteArray> text =
        OVFileSystem::readFile(bagPath + QLatin1Char('/') + name, kMaxTagFileSize, nullptr);
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
        const int gap = line.indexOf(' ') >= 0 ? line.indexOf(' ') : line.indexOf('\t');
        const QString path = gap > 0 ? decodePath(QString::fromUtf8(line.mid(gap).trimmed())) : QString();
        if (!isInsideBag(path)) {
            problems->append(QStringLiteral("%1 line %2 is malformed").arg(name).arg(number));
            continue;
        }
        entries.append({path, line.left(gap).toLower()});
    }
    return entries;
}

QStringList OVBag::payloadFiles(const QString& bagPath) {
    QStringList files;
    const QString root = bagPath + QStringLiteral("/data");
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next().mid(bagPath.size() + 1));
    return files;
}

QStringList OVBag::verify(const QString& bagPath) {
    QStringList problems;
    const std::optional<QByteArray> declaration =
        OVFileSystem::readFile(bagPath + QLatin1Char('/') + kDeclarationFileName, kMaxTagFileSize, nullptr);
    if (!declaration || !declaration->startsWith("BagIt-Version: "))
        problems.append(QStringLiteral("%1 is missing or not a BagIt declaration").arg(kDeclarationFileName));
    if (!OVFileSystem::isDirectory(bagPath + QStringLiteral("/data")))
        problems.append(QStringLiteral("the payload directory data/ is missing"));

    QSet<QString> listed;
    qint64 octets = 0;
    for (const auto& [path, sha256] : readManifest(bagPath, kPayloadManifestFileName, &problems)) {
        const QString file = bagPath + QLatin1Char('/') + path;
        listed.insert(path);
        if (!OVFileSystem::fileExists(file))
            problems.append(QStringLiteral("%1 is missing").arg(path));
        else if (sha256OfFile(file) != sha256)
            problems.append(QStringLiteral("%1 does not match its checksum").arg(path));
        octets += OVFileSystem::fileSize(file);
    }
    const QStringList present = payloadFiles(bagPath);
    for (const QString& path : present) {
        if (!listed.contains(path))
            problems.append(QStringLiteral("%1 is not in the manifest").arg(path));
    }

    const std::optional<QByteArray> info =
        OVFileSystem::readFile(bagPath + QLatin1Char('/') + kInfoFileName, kMaxTagFileSize, nullptr);
    const QString oxum = info ? infoValue(*info, "Payload-Oxum") : QString();
    const QString expectedOxum = QStringLiteral("%1.%2").arg(octets).arg(present.size());
    if (!oxum.isEmpty() && oxum != expectedOxum)
        problems.append(QStringLiteral("Payload-Oxum says %1, the payload is %2").arg(oxum, expectedOxum));

    if (OVFileSystem::fileExists(bagPath + QLatin1Char('/') + kTagManifestFileName)) {
        for (const auto& [path, sha256] : readManifest(bagPath, kTagManifestFileName, &problems)) {
            if (sha256OfFile(bagPath + QLatin1Char('/') + path) != sha256)
                problems.append(QStringLiteral("tag file %1 does not match its checksum").arg(path));
        }
    }
    return problems;
}
