#include "OVLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <unistd.h>

namespace {

QString defaultEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/ovservices.desktop");
}

} // namespace

OVLoginItem::OVLoginItem()
    : OVLoginItem(QCoreApplication::applicationFilePath(), defaultEntryPath()) {}

OVLoginItem::OVLoginItem(QString executablePath, QString entryPath)
    : m_executablePath(std::move(executablePath))
    , m_entryPath(std::move(entryPath)) {}

int OVLoginItem::registerApplication() const {
    if (m_executablePath.isEmpty())
        return ENOENT;
    const QByteArray native = QFile::encodeName(m_executablePath);
    return ::access(native.constData(), X_OK) == 0 ? 0 : errno;
}

QString OVLoginItem::quotedExec(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = false;
    for (const QChar c : path)
        needsQuotes = needsQuotes || reserved.contains(c);
    QString text = path;
    // Inside quotes, '"', '`', '$' and '\' are escaped with a backslash; '%' is doubled everywhere.
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needsQuotes)
        return text;
    QString quoted;
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The desktop-entry string type escapes the backslash once more.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool OVLoginItem::setEnabled(bool enabled) const {
    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath()))
        return false;
    const QLatin1String on = enabled ? QLatin1String("true") : QLatin1String("false");
    const QLatin1String hidden = enabled ? QLatin1String("false") : QLatin1String("true");
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=OvServices\n"
                                         "Comment=Companion service of the Orvane recorder\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=%2\n"
                                         "Hidden=%3\n")
                              .arg(quotedExec(m_executablePath), on, hidden);
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = entry.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

bool OVLoginItem::isEnabled() const {
    QFile file(m_entryPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(4096).trimmed();
        if (line == "Hidden=true")
            return false;
    }
    return true;
}
