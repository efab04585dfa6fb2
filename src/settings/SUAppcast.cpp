#include "SUAppcast.h"

#include <QXmlStreamReader>

namespace {

// Splits "1.10.0b2" into runs of digits and runs of anything else: "1", ".", "10", ".", "0", "b", "2".
QStringList runs(const QString& version) {
    QStringList parts;
    QString current;
    int kind = -1;
    for (const QChar c : version) {
        const int k = c.isDigit() ? 0 : (c == QLatin1Char('.') ? 1 : 2);
        if (k != kind && !current.isEmpty()) {
            parts << current;
            current.clear();
        }
        // Separators are single runs of their own.
        if (k == 1 && !current.isEmpty()) {
            parts << current;
            current.clear();
        }
        current += c;
        kind = k;
    }
    if (!current.isEmpty())
        parts << current;
    return parts;
}

int runKind(const QString& run) {
    if (run.isEmpty())
        return -1;
    return run.at(0).isDigit() ? 0 : (run == QLatin1String(".") ? 1 : 2);
}

int compareNumbers(const QString& a, const QString& b) {
    // Leading zeros do not count; then the longer number is the bigger one.
    QString x = a;
    QString y = b;
    while (x.size() > 1 && x.startsWith(QLatin1Char('0')))
        x.remove(0, 1);
    while (y.size() > 1 && y.startsWith(QLatin1Char('0')))
        y.remove(0, 1);
    if (x.size() != y.size())
        return x.size() < y.size() ? -1 : 1;
    return QString::compare(x, y);
}

} // namespace

std::optional<QList<SUAppcastItem>> SUAppcast::parse(const QByteArray& xml, OVError* error) {
    const QString sparkle = QLatin1String(kSparkleNamespace);
    QXmlStreamReader reader(xml);
    QList<SUAppcastItem> items;
    std::optional<SUAppcastItem> item;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const bool isSparkle = reader.namespaceUri() == sparkle;
            const QStringView name = reader.name();
            if (name == QLatin1String("item") && reader.namespaceUri().isEmpty()) {
                item = SUAppcastItem();
            } else if (item && name == QLatin1String("title") && reader.namespaceUri().isEmpty()) {
                item->title = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            } else if (item && isSparkle && name == QLatin1String("version")) {
                item->versionString = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            } else if (item && isSparkle && name == QLatin1String("shortVersionString")) {
                item->displayVersionString =
                    reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            } else if (item && name == QLatin1String("enclosure")) {
                const QXmlStreamAttributes attributes = reader.attributes();
                item->fileURL = attributes.value(QLatin1String("url")).toString();
                item->contentLength = attributes.value(QLatin1String("length")).toLongLong();
                if (attributes.hasAttribute(sparkle, QLatin1String("version")))
                    item->versionString = attributes.value(sparkle, QLatin1String("version")).toString();
                if (attributes.hasAttribute(sparkle, QLatin1String("shortVersionString")))
                    item->displayVersionString =
                        attributes.value(sparkle, QLatin1String("shortVersionString")).toString();
            }
        } else if (reader.isEndElement() && item && reader.name() == QLatin1String("item") &&
                   reader.namespaceUri().isEmpty()) {
            if (item->displayVersionString.isEmpty())
                item->displayVersionString = item->versionString;
            // A release without a version cannot be compared with ours: it is not offered.
            if (!item->versionString.isEmpty())
                items << *item;
            item.reset();
        }
    }
    if (reader.hasError()) {
        OVError::set(error, OVError(QStringLiteral("SUAppcast"), int(reader.error()), reader.errorString()));
        return std::nullopt;
    }
    return items;
}

int SUAppcast::compareVersions(const QString& a, const QString& b) {
    const QStringList left = runs(a);
    const QStringList right = runs(b);
    const qsizetype common = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int kl = runKind(left.at(i));
        const int kr = runKind(right.at(i));
        int order = 0;
        if (kl == 0 && kr == 0)
            order = compareNumbers(left.at(i), right.at(i));
        else if (kl == kr)
            order = QString::compare(left.at(i), right.at(i));
        else if (kl == 2 || kr == 2)
            // Letters mark a pre-release: 1.0.1 and 1.0 1 are newer than 1.0b1.
            order = kl == 2 ? -1 : 1;
        else
            // A number against a separator: the number is newer.
            order = kl == 0 ? 1 : -1;
        if (order != 0)
            return order < 0 ? -1 : 1;
    }
    if (left.size() == right.size())
        return 0;
    // 1.0 < 1.0.1, but 1.0 > 1.0b1: a longer version is newer unless it continues with letters.
    const QStringList& longer = left.size() > right.size() ? left : right;
    const bool longerIsNewer = runKind(longer.at(common)) != 2;
    const int sign = left.size() > right.size() ? 1 : -1;
    return longerIsNewer ? sign : -sign;
}

std::optional<SUAppcastItem> SUAppcast::bestUpdate(const QList<SUAppcastItem>& items,
                                                   const QString& currentVersion) {
    std::optional<SUAppcastItem> best;
    for (const SUAppcastItem& item : items) {
        if (compareVersions(item.versionString, currentVersion) <= 0)
            continue;
        if (!best || compareVersions(item.versionString, best->versionString) > 0)
            best = item;
    }
    return best;
}
