#include "OVExportCommand.h"

#include "OVBag.h"
#include "OVCommandLine.h"
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

namespace {
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// Names and paths come from the bags and the store, not from us: a line feed, a carriage return or a
// terminal escape in them would let a damaged bag print a line of its own, an "ok" for instance. Each
// such character, and the backslash, is written as an escape instead.
QString printable(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (c == QLatin1Char('\\'))
            shown += QStringLiteral("\\\\");
        else if (category == QChar::Other_Control || category == QChar::Other_Format ||
                 category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            shown += c.unicode() < 0x100 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                         : QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
} // namespace

QString OVExportCommand::defaultOutDirectory() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return documents + QStringLiteral("/OvServices Export");
}

int OVExportCommand::run(const QStringList& positional, const QString& outDirectory,
                         const QString& verifyDirectory, QTextStream& out, QTextStream& err) {
    if (!verifyDirectory.isEmpty())
        return verify(verifyDirectory, out, err);
    OVSessionExporter::Selection selection;
    if (!positional.isEmpty())
        selection.serial = positional.first();
    if (positional.size() > 1) {
        selection.startSeconds = OVCommandLine::parseSessionStart(positional.at(1));
        if (!selection.startSeconds) {
            err << "ovservices: START is seconds since 1970 or an ISO 8601 time, not '" << positional.at(1)
                << "'\n";
            return kBadUsage;
        }
    }
    const QString directory =
        QDir(outDirectory.isEmpty() ? defaultOutDirectory() : outDirectory).absolutePath();
    OVSessionFileRepository repository;
    OVSessionExporter exporter(&repository);
    OVError error;
    const std::optional<OVSessionExporter::Report> report =
        exporter.exportSessions(directory, selection, &error);
    if (!report) {
        err << "ovservices: export to " << directory << " failed: " << error.description() << "\n";
        return kFailed;
    }
    for (const QString& bag : report->bags)
        out << "exported " << printable(bag) << "\n";
    for (const QString& skipped : report->skipped)
        err << "ovservices: not exported: " << printable(skipped) << "\n";
    if (report->bags.isEmpty() && report->skipped.isEmpty()) {
        err << "ovservices: no stored session matches\n";
        return kFailed;
    }
    out << report->bags.size() << " session(s) exported to " << directory << "\n";
    return report->skipped.isEmpty() ? kDone : kFailed;
}

int OVExportCommand::verify(const QString& directory, QTextStream& out, QTextStream& err) {
    QStringList bags;
    if (OVBag::isBag(directory)) {
        bags.append(directory);
    } else {
        const QStringList entries = QDir(directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries) {
            if (OVBag::isBag(directory + QLatin1Char('/') + entry))
                bags.append(directory + QLatin1Char('/') + entry);
        }
    }
    if (bags.isEmpty()) {
        err << "ovservices: no bag in " << directory << "\n";
        return kFailed;
    }
    int damaged = 0;
    for (const QString& bag : bags) {
        const QStringList problems = OVBag::verify(bag);
        const QString name = printable(QDir(bag).dirName());
        if (problems.isEmpty()) {
            out << "ok       " << name << "\n";
            continue;
        }
        ++damaged;
        out << "DAMAGED  " << name << "\n";
        for (const QString& problem : problems)
            out << "         " << printable(problem) << "\n";
    }
    out << bags.size() << " bag(s) checked, " << damaged << " damaged\n";
    return damaged == 0 ? kDone : kFailed;
}
