#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

/**
 * One request to the running instance over its control socket (see OVControlServer), waiting for
 * the answer on the calling thread. For the command-line subcommands, which have nothing else to do.
 */
class OVControlClient {
public:
    enum class Outcome { Answered, NoInstance, Failed };

    struct Result {
        Outcome outcome = Outcome::Failed;
        /** The instance's answer when Answered. */
        QJsonObject answer;
        /** Why there is no answer, when Failed. */
        QString errorText;
    };

    explicit OVControlClient(QString socketPath);

    /** Whether an instance answers on the socket. */
    bool isInstanceRunning() const;
    /** Sends the request and waits up to timeoutMs for the answer. */
    Result send(const QJsonObject& request, int timeoutMs) const;

private:
    const QString m_socketPath;
};
