#pragma once
#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

/**
 * Saves a view as build/screenshots/<name>-light.png and <name>-dark.png at the size it has in the
 * main window's content area when the window is as small as it may be.
 */
inline bool saveScreenshots(QWidget* view, const QString& name) {
    const QDir dir(QStringLiteral(OV_BINARY_DIR "/../screenshots"));
    if (!dir.mkpath(QStringLiteral(".")))
        return false;
    view->resize(560, 520);
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    bool saved = view->grab().save(dir.filePath(name + QStringLiteral("-light.png")));
    QApplication::setPalette(dark);
    saved = view->grab().save(dir.filePath(name + QStringLiteral("-dark.png"))) && saved;
    QApplication::setPalette(light);
    return saved;
}
