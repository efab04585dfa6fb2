#pragma once

#include <QObject>

class QSocketNotifier;

/**
 * Turns SIGTERM, SIGINT and SIGHUP into a normal quit of the event loop, so that a service stopped
 * by its session, by systemd or by Ctrl-C shuts down as `ovservices quit` does: the managers are
 * destroyed in order and the last log lines reach the disk. One instance, on the main thread.
 */
class OVTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit OVTerminationSignals(QObject* parent = nullptr);
    ~OVTerminationSignals() override;

private:
    static void onSignal(int signalNumber);
    void onReadable();

    /** The signal handler writes the signal number here; the event loop reads it. */
    static int s_pipe[2];
    QSocketNotifier* m_notifier = nullptr;
};
