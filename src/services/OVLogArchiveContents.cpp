#include "OVLogArchiveContents.h"
#include <QFile>
#include <QLocale>
#include <minizip/unzip.h>

QList<OVLogArchiveContents::Entry> OVLogArchiveContents::entries(const QString& zipPath, OVError* error) {
    QList<Entry> found;
    unzFile zip = unzOpen64(QFile::encodeName(zipPath).constData());
    if (!zip) {
        OVError::set(error, OVError(QStringLiteral("com.pellwick.support"), 1,
                                    tr("The log archive %1 cannot be read.").arg(zipPath)));
        return found;
    }
    for (int status = unzGoToFirstFile(zip); status == UNZ_OK; status = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        char name[512] = {};
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof(name) - 1, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        found.append({QString::fromUtf8(name), static_cast<qint64>(info.uncompressed_size)});
    }
    unzClose(zip);
    return found;
}

QStringList OVLogArchiveContents::describe(const QList<Entry>& entries) {
    QStringList lines;
    const QLocale locale;
    for (const Entry& entry : entries)
        lines << QStringLiteral("%1 (%2)").arg(entry.fileName, locale.formattedDataSize(entry.size));
    return lines;
}
