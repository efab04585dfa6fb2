#pragma once

#include "OVBaseViewController.h"

class QLabel;

/** A content view that only names its page, for an entry whose own view is not there yet. GUI thread. */
class OVPlaceholderViewController : public OVBaseViewController {
    Q_OBJECT
public:
    OVPlaceholderViewController(const QString& title, const QString& text, QWidget* parent = nullptr);

protected:
    void paintColours() override;
};
