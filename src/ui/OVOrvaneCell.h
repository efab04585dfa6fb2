#pragma once

#include "OVOrvaneCellModel.h"

#include <QWidget>

class OVDeviceInfo;
class OVView;
class QLabel;
class QPushButton;

/** One row of the device list: serial, default user, battery, sync badge and count, connection. */
class OVOrvaneCell : public QWidget {
    Q_OBJECT
public:
    explicit OVOrvaneCell(QWidget* parent = nullptr);

    /** Sets the badge's image and colour; the badge never blinks or fades. */
    void setState(OVOrvaneCellState state);
    OVOrvaneCellState state() const { return m_state; }

    QLabel* device;
    QLabel* user;
    QLabel* battery;
    QLabel* batteryIcon;
    QLabel* isConnected;
    QPushButton* identify;
    QLabel* syncImage;
    /** The coloured badge behind syncImage. */
    OVView* syncStatus;
    QLabel* syncInfoText;
    QLabel* syncInfoCount;
    QLabel* syncErrorImage;

private:
    OVOrvaneCellState m_state = OVOrvaneCellState::NotSynching;
};
