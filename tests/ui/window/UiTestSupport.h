#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPalette>
#include <QTemporaryDir>
#include <QWidget>

/** Where screenshots go: OV_SCREENSHOT_DIR, else build/screenshots in the source tree. */
inline QString screenshotDir() {
    const QString dir = qEnvironmentVariableIsSet("OV_SCREENSHOT_DIR")
                            ? qEnvironmentVariable("OV_SCREENSHOT_DIR")
                            : QStringLiteral(OV_SOURCE_DIR "/build/screenshots");
    QDir().mkpath(dir);
    return dir;
}

inline bool saveScreenshot(QWidget* widget, const QString& name) {
    return widget->grab().save(screenshotDir() + QLatin1Char('/') + name + QStringLiteral(".png"));
}

/**
 * Saves <name>-light.png, then <name>-dark.png under a dark desktop theme as a user with one would
 * have it: the window paints its own surfaces, so the theme must not leak into them.
 */
inline bool saveScreenshots(QWidget* widget, const QString& name) {
    const QPalette light = QApplication::palette();
    QPalette dark;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(45, 45, 48)},
                                       {QPalette::WindowText, QColor(230, 230, 230)},
                                       {QPalette::Base, QColor(30, 30, 32)},
                                       {QPalette::Text, QColor(230, 230, 230)},
                                       {QPalette::Button, QColor(60, 60, 64)},
                                       {QPalette::ButtonText, QColor(230, 230, 230)},
                                       {QPalette::Highlight, QColor(90, 140, 200)}})
        dark.setColor(role, colour);
    bool saved = saveScreenshot(widget, name + QStringLiteral("-light"));
    QApplication::setPalette(dark);
    saved = saveScreenshot(widget, name + QStringLiteral("-dark")) && saved;
    QApplication::setPalette(light);
    return saved;
}

/** Points the settings, the store and the logs of the process at a temporary home. */
inline void useTemporaryHome(const QTemporaryDir& home) {
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
    QApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QApplication::setApplicationName(QStringLiteral("OvServices"));
}
