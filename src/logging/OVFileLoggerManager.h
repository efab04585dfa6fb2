#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

/**
 * Owns the folder of rolling log files "log-N.txt": which files are log files, which is newest,
 * creating the next one, the archived flag (an extended attribute), pruning, and the zip archive
 * the support request attaches. Called from the logger's delivery thread and, for zipLogFiles,
 * from the user interface; it keeps no state besides its settings, so both may call it.
 */
class OVFileLoggerManager {
public:
    explicit OVFileLoggerManager(QString logsDirectory);

    /** ${XDG_STATE_HOME:-~/.local/state}/<process name>/Logs, or the temporary folder's when no home. */
    static QString defaultLogsDirectory();

    const QString& logsDirectory() const { return m_logsDirectory; }
    unsigned maximumNumberOfLogFiles() const { return m_maximumNumberOfLogFiles; }
    void setMaximumNumberOfLogFiles(unsigned count) { m_maximumNumberOfLogFiles = count; }

    static bool isLogFile(const QString& fileName);
    static std::optional<qint64> getNumberFromFileName(const QString& fileName);

    /** Paths of every log file in the folder, newest first. */
    QStringList sortedLogFilePaths() const;
    /** The number of the next log file: one more than the newest file's, 1 when there is none. */
    QString generateShortUUID() const;
    /** Creates the next log file empty and owner-only, prunes old files, and answers its path (empty on
     * failure). */
    QString createNewLogFile();

    static bool isArchived(const QString& path);
    static void setArchived(const QString& path, bool archived);
    /**
     * When the file was created: as recorded in its creation attribute (written by
     * createNewLogFile), else its birth time, else, for a file made by someone else on a file
     * system without birth times, its last write.
     */
    static QDateTime creationDate(const QString& path);

    /** Writes "<logs>/OvServices_logs_<yyyyMMddHHmmss>.zip" with every log file, newest first. */
    QString zipLogFiles() const;

    /** Creates the folder when missing (false when it cannot) and makes it its owner's only (0700). */
    bool ensureDirectory() const;

private:
    void deleteOldLogFiles() const;

    QString m_logsDirectory;
    unsigned m_maximumNumberOfLogFiles = 5;
};
