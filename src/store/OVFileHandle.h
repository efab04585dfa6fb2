#pragma once

#include "OVError.h"
#include "OVSessionDataAppender.h"

#include <QByteArray>
#include <QString>

/**
 * An open file kept across many writes (the session data file while pages arrive). Owns its
 * descriptor and closes it when destroyed. Not thread-safe: one owner uses it at a time.
 */
class OVFileHandle : public OVSessionDataAppender {
public:
    OVFileHandle() = default;
    ~OVFileHandle() override;
    OVFileHandle(const OVFileHandle&) = delete;
    OVFileHandle& operator=(const OVFileHandle&) = delete;

    /** Opens an existing file for reading and writing, positioned at its start. */
    bool openForUpdating(const QString& path, OVError* error);
    bool isOpen() const { return m_fd >= 0; }
    /** Closes the file; a deferred write error comes back here. Closing a closed handle is fine. */
    bool closeFile(OVError* error = nullptr);
    const QString& path() const { return m_path; }

    /** Seeks to the end, then writes: one seek and one write per call. A failed write leaves the file as it
     * was. */
    bool append(const QByteArray& bytes, OVError* error) override;
    bool close(OVError* error) override { return closeFile(error); }

private:
    int m_fd = -1;
    QString m_path;
};
