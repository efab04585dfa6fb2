#pragma once

class QWidget;

/**
 * What the device list needs from a view it places in its shared detail area (the device detail,
 * the assign-user view, the placeholder): a widget to put there, and the moments it is put there
 * and taken away. The list keeps at most one of them on screen; each is created once and reused.
 * Main thread only.
 */
class OVDeviceListSubview {
public:
    virtual ~OVDeviceListSubview() = default;
    /** The widget the list puts in its detail area, filling it; owned by the subview. */
    virtual QWidget* subviewWidget() = 0;
    /** Called before the widget is shown: observe notifications and command reports. */
    virtual void subscribeToNotifications() = 0;
    /** Called when the widget is taken away (and by the subview's destructor). */
    virtual void unsubscribeToNotifications() = 0;
    /** Called each time the widget is shown, after subscribeToNotifications. */
    virtual void initializeView() = 0;
};
