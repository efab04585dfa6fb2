#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

/**
 * `ovservices export [--out DIR] [SERIAL [START]]` and `ovservices export --verify DIR`: runs in the
 * calling process on the local store, whether or not the service runs (the store is only read).
 * Exit codes as every subcommand: 0 done, 1 failed or damaged bags found, 2 bad usage.
 */
class OVExportCommand {
public:
    /** positional: SERIAL and START; outDirectory empty for the default; verifyDirectory set for --verify. */
    static int run(const QStringList& positional, const QString& outDirectory, const QString& verifyDirectory,
                   QTextStream& out, QTextStream& err);

    /** The default folder of an export: "OvServices Export" in the user's documents (or home). */
    static QString defaultOutDirectory();

private:
    static int verify(const QString& directory, QTextStream& out, QTextStream& err);
};
