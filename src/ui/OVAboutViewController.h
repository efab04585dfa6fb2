#pragma once

#include "OVBaseViewController.h"

#include <memory>

namespace Ui {
class OVAboutViewController;
}

/** The static About view: name, version and legal text, all in its form. GUI thread. */
class OVAboutViewController : public OVBaseViewController {
    Q_OBJECT
public:
    explicit OVAboutViewController(QWidget* parent = nullptr);
    ~OVAboutViewController() override;

protected:
    void paintColours() override;

private:
    std::unique_ptr<Ui::OVAboutViewController> m_ui;
};
