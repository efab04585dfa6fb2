#pragma once

#include <QString>

/**
 * Starting the service at login: an XDG autostart entry, ovservices.desktop in the autostart folder
 * of ${XDG_CONFIG_HOME:-~/.config}. Switching it off keeps the entry and marks it Hidden=true, which
 * tells the session not to start it. Stateless apart from its two paths; thread-safe.
 */
class OVLoginItem {
public:
    /** The running executable, and the entry in the user's autostart folder. */
    OVLoginItem();
    OVLoginItem(QString executablePath, QString entryPath);

    const QString& executablePath() const { return m_executablePath; }
    const QString& entryPath() const { return m_entryPath; }

    /** Checks that the executable the entry starts can run: 0 when it can, else an errno value. */
    int registerApplication() const;
    /** Writes the entry, enabled or hidden; false when it cannot be written. */
    bool setEnabled(bool enabled) const;
    /** Whether an entry exists and is not hidden. */
    bool isEnabled() const;

    /** The executable path as a desktop entry's Exec value, quoted where needed. */
    static QString quotedExec(const QString& path);

private:
    QString m_executablePath;
    QString m_entryPath;
};
