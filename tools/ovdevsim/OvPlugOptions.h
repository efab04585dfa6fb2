#pragma once

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

/** How a new emulated device is made (the options of `ovdevsim plug`). */
struct OvPlugOptions {
    /** Empty: the next free "OVR" + 13 digits. At least 12 characters, letters, digits and "-". */
    QString serial;
    int sessions = 3;
    /** Pages of each session, used in turn (at least 2 each). */
    QList<quint32> pages{64};
    /** User UIDs of the sessions, used in turn. */
    QList<quint32> users{101};
    QString firmware = QStringLiteral("1.0.9");
    int battery = 87;
    std::optional<quint32> location;
    /** 4294967295 is "no user". */
    quint32 defaultUser = 0xFFFFFFFFu;
    QString model;
    QString hwRevision;
    QString applicationUID = QStringLiteral("com.orvane.recorder");
    std::optional<quint64> seed;
    /** Device time of the first session's start; default: one day per session before now. */
    std::optional<quint64> firstStart;
    /** Sessions (by index) the device marks corrupted, with their corruption status. */
    QList<QPair<int, int>> corrupted;
    /** Sessions (by index) recorded as empty records (no pages). */
    QList<int> empty;
    /** A known serial that is plugged already is not an error. */
    bool reuse = false;

    QJsonObject toJson() const;
    static std::optional<OvPlugOptions> fromJson(const QJsonObject& json, QString* error);
};
