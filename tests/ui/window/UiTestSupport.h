#pragma once

#include "OVCredentialManager.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QStyleFactory>
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

/** A dark desktop theme, as a user with one would have it; restore with the saved palette. */
inline QPalette darkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 64));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(90, 140, 200));
    return dark;
}

/** Points the settings, the store and the logs of the process at a temporary home. */
inline void useTemporaryHome(const QTemporaryDir& home) {
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.filePath(QStringLiteral("state"))));
    QApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QApplication::setApplicationName(QStringLiteral("OvServices"));
}

/** Stores the demo coach's credential, as a sign-in on an earlier run would have. */
inline void storeCoachCredential(OVCredentialManager& credentials, const QString& username,
                                 const QString& password) {
    OVUser coach;
    coach.identifier = 100;
    coach.username = username;
    coach.uri = QStringLiteral("/api/user/100/");
    credentials.saveCredential(coach, password);
}
