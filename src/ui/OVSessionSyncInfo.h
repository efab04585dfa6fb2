#pragma once

#include <QWidget>

class OVSession;
class OVView;
class QLabel;
class QProgressBar;

/** One row of the device detail's session table: user, start, duration and a coloured status. */
class OVSessionSyncInfo : public QWidget {
    Q_OBJECT
public:
    explicit OVSessionSyncInfo(QWidget* parent = nullptr);

    /** Paints the status column from the session's status; an unknown status leaves it as it is. */
    void setSyncStatus(const OVSession& session);

    QLabel* username;
    QLabel* start;
    QLabel* duration;
    QLabel* syncStatus;
    QLabel* percentage;
    /** The badge behind syncStatus. */
    OVView* syncStatusBackground;
    /** Shown with a tool tip for a failed or corrupted session. */
    QLabel* syncError;
    /** Never driven: the percentage is part of the status text. */
    QProgressBar* progress;
};
