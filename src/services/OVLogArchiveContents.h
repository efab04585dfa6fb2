#pragma once
#include "OVError.h"
#include <QCoreApplication>
#include <QList>
#include <QString>

/** What a support archive holds, listed for the user before the logs leave the machine. */
class OVLogArchiveContents {
    Q_DECLARE_TR_FUNCTIONS(OVLogArchiveContents)

public:
    struct Entry {
        QString fileName;
        qint64 size = 0;
    };

    /** The entries in archive order; empty with the error set when the zip cannot be read. */
    static QList<Entry> entries(const QString& zipPath, OVError* error);
    /** "log-3.txt (12.4 KiB)" lines, one per entry. */
    static QStringList describe(const QList<Entry>& entries);
};
