#pragma once

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

struct SimVirtualDevice;

/**
 * How a new emulated device is made (the options of `ovdevsim plug`). The one place their rules
 * live: the command line, the control protocol and the hub all check through validate().
 */
struct SimPlugOptions {
    static constexpr int kMaxSessions = 1000;
    static constexpr qint64 kMinPages = 2;
    static constexpr qint64 kMaxPages = 1000000;
    static constexpr int kMaxBattery = 100;

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
    /** Read and validated; none with *error set when a value is missing its rule. */
    static std::optional<SimPlugOptions> fromJson(const QJsonObject& json, QString* error);
    /** Every rule a new device's options meet (ranges, serial, firmware text, room in the flash). */
    bool validate(QString* error) const;
    static bool validateBattery(int level, QString* error);
    /** 12 to 32 letters, digits or "-". */
    static bool validSerial(const QString& serial);
    /** "location" of a request: absent, or a number from 1 to 0xFFFFFFFF. */
    static bool readLocation(const QJsonObject& json, std::optional<quint32>* location, QString* error);
    /** The device these options describe, its sessions laid out one day apart. */
    SimVirtualDevice makeDevice(const QString& deviceSerial, quint32 deviceLocation) const;
};
