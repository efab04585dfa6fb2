#pragma once

// ovcloud_relay.py in front of a real ovcloud: redirects timeline chunks, or drops the start filter of
// record queries (see the script). The relay dies with the test process.
#include "OVCloudServer.h"

#include <QProcess>

class OVCloudRelay {
public:
    ~OVCloudRelay() {
        m_process.kill();
        m_process.waitForFinished();
    }

    bool start(const OVCloudServer& upstream, const QString& mode) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(OV_SOURCE_DIR "/tests/integration/cloud/ovcloud_relay.py"),
                         QStringLiteral("--upstream"), upstream.rootUrl(), QStringLiteral("--mode"), mode});
        if (!m_process.waitForReadyRead(20000))
            return false;
        m_port = m_process.readLine().trimmed().toInt();
        return m_port > 0;
    }

    /** Points the web client at the relay; network time still comes from the upstream server. */
    void use() const {
        qputenv("OV_SERVER_URL", QStringLiteral("http://127.0.0.1:%1/api/").arg(m_port).toUtf8());
    }

private:
    QProcess m_process;
    int m_port = 0;
};
