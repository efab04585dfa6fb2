#pragma once

#include "OVBaseViewController.h"
#include "OVDeviceListSubview.h"

class OVCredentialManagerProtocol;
class QLabel;

/** What the device list shows instead of devices: ask to sign in, or say none is plugged in. */
class OVNoOrvaneViewController : public OVBaseViewController, public OVDeviceListSubview {
    Q_OBJECT
public:
    /** credentialMgr is not owned. */
    explicit OVNoOrvaneViewController(OVCredentialManagerProtocol* credentialMgr, QWidget* parent = nullptr);

    void initializeView() override;
    QWidget* subviewWidget() override { return this; }
    void subscribeToNotifications() override {}
    void unsubscribeToNotifications() override {}
    QLabel* labelInformation() const { return m_labelInformation; }

protected:
    void paintColours() override;
    void paintEvent(QPaintEvent* event) override;

private:
    OVCredentialManagerProtocol* const m_credentialMgr;
    QLabel* m_labelInformation;
};
