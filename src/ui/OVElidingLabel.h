#pragma once

#include <QLabel>

/**
 * A label that ends a text too long for its room with "…" and shows the whole text as its tool tip (a
 * screen reader reads the whole text too): a user name may be longer than any column, and a longer
 * language's words longer than a narrow window's rows. It asks for its text's width but makes do with
 * far less, so that its column shrinks before the controls beside it are pushed out of sight.
 */
class OVElidingLabel : public QLabel {
    Q_OBJECT
public:
    explicit OVElidingLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
