#pragma once

#include <QString>
#include <QVariant>

/**
 * The per-user settings store: QSettings of organisation "Pellwick", application "OvServices". Every
 * call opens its own QSettings, so any thread may use it. The settings file is created readable by
 * its owner only, before the first value is written into it.
 */
class OVUserDefaults {
public:
    /** An invalid QVariant when the key is absent. */
    static QVariant objectForKey(const QString& key);
    static void setObject(const QVariant& value, const QString& key);
    static void removeObjectForKey(const QString& key);
    /** Writes what is pending to disk and keeps the file mode 0600. */
    static void synchronize();
    static QString filePath();
};
