#pragma once

#include "OVBaseViewController.h"

#include <QList>

#include <functional>
#include <memory>
#include <mutex>

class OVDeviceInfo;
class OVDeviceListSubview;

/**
 * The devices entry of the main window: the list of devices, the detail of one, the assign-user
 * view and the signed-out placeholder, one at a time in the same area.
 *
 * The assign-user view is plugged in from outside so that the list does not depend on how it is
 * built: setAssignViewFactory() gives a factory that the list calls once, on the first showAssign();
 * the list then owns the subview, subscribes it before showing it and unsubscribes it when hiding it.
 * Main thread only; notifications and command reports are queued onto it.
 */
class OVOrvaneListViewController : public OVBaseViewController {
    Q_OBJECT
public:
    using SubviewFactory = std::function<std::unique_ptr<OVDeviceListSubview>()>;

    explicit OVOrvaneListViewController(QWidget* parent = nullptr);
    ~OVOrvaneListViewController() override;

    /** Makes the assign-user view on first use; without one, the assign button stays hidden. */
    void setAssignViewFactory(SubviewFactory factory);

    void initializeView() override;
    void updateDeviceList();
    void showList();
    void showDetail(const std::shared_ptr<OVDeviceInfo>& device);
    void showAssign();
    void showNoOrvane();
    bool isCurrentlyShowingDetail() const;
    bool isCurrenltyShowAssign() const;
};
