#pragma once

class QColor;
class QWidget;

/**
 * The content views are white whatever the desktop theme; their texts and fields must then be dark
 * too, or a dark theme paints light text on white.
 */
class OVContentPalette {
public:
    /** Dark texts over background for container and everything in it. */
    static void apply(QWidget* container, const QColor& background);
};
