#include "OVStyleManager.h"

#include <QIcon>

namespace {
QColor rgb(int red, int green, int blue) {
    return QColor(red, green, blue);
}
} // namespace

QBrush OVStyleManager::pattern(const QString& imageName) {
    // Pattern tiles are drawn at a fixed size: the SVG scales, the tile repeats.
    const QPixmap tile = QIcon(QStringLiteral(":/images/%1.svg").arg(imageName)).pixmap(64, 64);
    return QBrush(tile);
}

QBrush OVStyleManager::getMainWindow_ViewMenuBackgroundColor() {
    return pattern(QStringLiteral("main_menu_background"));
}
QBrush OVStyleManager::getMainWindow_ViewContainerBackgroundColor() {
    return pattern(QStringLiteral("main_background"));
}
QColor OVStyleManager::getMainWindow_MenuFontColorNotSelected() {
    return Qt::white;
}
QColor OVStyleManager::getMainWindow_MenuFontColorSelected() {
    return rgb(255, 251, 240);
}
QBrush OVStyleManager::getMainWindow_MenuColorNotSelected() {
    return QBrush();
}
QBrush OVStyleManager::getMainWindow_MenuColorSelected() {
    return pattern(QStringLiteral("menu_background"));
}
QPixmap OVStyleManager::getMainWindow_OrvaneLogo() {
    return QIcon(QStringLiteral(":/images/orvane_logo.svg")).pixmap(160, 48);
}
QColor OVStyleManager::getAccount_SignInBackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getAccount_LinkColor() {
    return rgb(15, 132, 199);
}
QColor OVStyleManager::getOrvaneList_BackButtonBackgroundColor() {
    return getOrvaneColor();
}
QColor OVStyleManager::getOrvaneList_ConnectedColor() {
    return rgb(70, 136, 71);
}
QColor OVStyleManager::getOrvaneList_DisconnectedColor() {
    return rgb(185, 74, 72);
}
QColor OVStyleManager::getOrvane_DeviceBackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getOrvane_DeviceButtonBackgroundColor() {
    return rgb(236, 236, 236);
}
QColor OVStyleManager::getOrvane_DeviceNameColor() {
    return Qt::black;
}
QColor OVStyleManager::getOrvane_DeviceDetailColor() {
    return rgb(95, 105, 117);
}
QColor OVStyleManager::getOrvane_SessionBackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getOrvane_ConnectedColor() {
    return rgb(70, 136, 71);
}
QColor OVStyleManager::getOrvane_DisconnectedColor() {
    return rgb(185, 74, 72);
}
QColor OVStyleManager::getOrvane_SessionUsernameColor() {
    return Qt::black;
}
QColor OVStyleManager::getOrvane_SessionDateColor() {
    return rgb(95, 105, 117);
}
QColor OVStyleManager::getOrvane_SessionSynchingColor() {
    return getOrvaneColor();
}
QColor OVStyleManager::getOrvane_SessionGray() {
    return Qt::gray;
}
QColor OVStyleManager::getOrvane_SessionSyncCompletedColor() {
    return rgb(70, 136, 71);
}
QColor OVStyleManager::getOrvane_SessionSyncFailedColor() {
    return rgb(197, 204, 4);
}
QColor OVStyleManager::getGoodBatteryColor() {
    return rgb(95, 105, 117);
}
QColor OVStyleManager::getLowBatteryColor() {
    return rgb(185, 74, 72);
}
QColor OVStyleManager::getPreferences_BackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getSupport_BackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getSupport_CheckPassedColor() {
    return getOrvane_SessionSyncCompletedColor();
}
QColor OVStyleManager::getSupport_CheckFailedColor() {
    return rgb(185, 74, 72);
}
QColor OVStyleManager::getSupport_CheckSkippedColor() {
    return rgb(110, 110, 110);
}
QColor OVStyleManager::getAssign_BackgroundColor() {
    return Qt::white;
}
QColor OVStyleManager::getOrvaneColor() {
    return rgb(49, 144, 206);
}
QColor OVStyleManager::getMessageBox_DimColor() {
    return QColor(0, 0, 0, qRound(0.7 * 255));
}
QColor OVStyleManager::getMessageBox_PanelColor() {
    return QColor(0, 154, 216, qRound(0.7 * 255));
}
QColor OVStyleManager::getMessageBox_BorderColor() {
    return rgb(197, 197, 197);
}
QColor OVStyleManager::getMessageBox_ShadowColor() {
    return Qt::black;
}
QColor OVStyleManager::getContent_TextColor() {
    return rgb(33, 37, 41);
}
