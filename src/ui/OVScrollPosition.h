#pragma once

class QAbstractItemView;

/**
 * Keeps where a list is scrolled across a rebuild of its rows: made before the rows are cleared, it
 * lays the new rows out and scrolls back when it goes out of scope. GUI thread.
 */
class OVScrollPosition {
public:
    explicit OVScrollPosition(QAbstractItemView* view);
    ~OVScrollPosition();
    OVScrollPosition(const OVScrollPosition&) = delete;
    OVScrollPosition& operator=(const OVScrollPosition&) = delete;

private:
    QAbstractItemView* const m_view;
    const int m_value;
};
