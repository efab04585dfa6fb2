#pragma once

class QColor;
class QWidget;

/**
 * The texts and fields of a content view's card: the style table's text on the card's surface (both
 * follow the desktop's palette). Buttons keep the platform's own colours.
 */
class OVContentPalette {
public:
    /** The content text over background for container and everything in it. */
    static void apply(QWidget* container, const QColor& background);
};
