#include "OVScrollPosition.h"

#include <QAbstractItemView>
#include <QScrollBar>

OVScrollPosition::OVScrollPosition(QAbstractItemView* view)
    : m_view(view)
    , m_value(view->verticalScrollBar()->value()) {}

OVScrollPosition::~OVScrollPosition() {
    // The scroll range follows the rows only once they are laid out; before that the value is clamped.
    m_view->doItemsLayout();
    m_view->verticalScrollBar()->setValue(m_value);
}
