#pragma once

#include <QWidget>

class OVSession;
class OVView;
class QDateTime;
class QLabel;
class QProgressBar;

/**
 * One row of the device detail's session table: user, start, duration and a coloured status. The
 * start and duration are as wide as their texts in the current language; the user name takes what is
 * left and ends in "…" where it is longer (the whole name in the tool tip).
 */
class OVSessionSyncInfo : public QWidget {
    Q_OBJECT
public:
    explicit OVSessionSyncInfo(QWidget* parent = nullptr);

    /** The start column's text for a start in local time: "5 Dec 2026 09:41" in English. */
    static QString startText(const QDateTime& start);
    /** The row's height: a status text on two lines makes it taller. */
    int rowHeight() const;

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
