#pragma once
#include "UiTestSupport.h"

#include <QApplication>

/**
 * Saves a view as <name>-light.png and <name>-dark.png at the size of the main window's content area
 * when the window is as small as it may be.
 */
inline bool saveScreenshots(QWidget* view, const QString& name) {
    view->resize(560, 520);
    const QPalette light = QApplication::palette();
    bool saved = saveScreenshot(view, name + QStringLiteral("-light"));
    QApplication::setPalette(darkPalette());
    saved = saveScreenshot(view, name + QStringLiteral("-dark")) && saved;
    QApplication::setPalette(light);
    return saved;
}
