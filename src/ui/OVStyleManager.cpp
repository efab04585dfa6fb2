#include "OVStyleManager.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

/** A little above 4.5:1, so that anti-aliased text still reaches it. */
constexpr double kReadableContrast = 4.6;
/** A disabled control's text: readable, yet dimmer than the enabled text it stands for. */
constexpr double kDisabledContrast = 3.1;
/** What a control's boundary needs to be seen (non-text contrast). */
constexpr double kFrameContrast = 3.0;

QColor rgb(int red, int green, int blue) {
    return QColor(red, green, blue);
}

/** The desktop's palette: surfaces and text follow it, brand accents are adjusted to it. */
QColor platform(QPalette::ColorRole role) {
    return QApplication::palette().color(role);
}

QColor mix(const QColor& from, const QColor& to, double amount) {
    const auto channel = [amount](int a, int b) { return qRound(a + (b - a) * amount); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

double luminance(const QColor& colour) {
    const auto linear = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

} // namespace

double OVStyleManager::contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor OVStyleManager::readableOn(const QColor& colour, const QColor& background) {
    const QColor away = textOn(background);
    QColor result = colour;
    for (int step = 1; step <= 20 && contrast(result, background) < kReadableContrast; ++step)
        result = mix(colour, away, step / 20.0);
    return result;
}

QPalette OVStyleManager::withReadableDisabledText(QPalette palette) {
    for (const auto& [text, surface] : {std::pair{QPalette::WindowText, QPalette::Window},
                                        {QPalette::Text, QPalette::Base},
                                        {QPalette::ButtonText, QPalette::Button}}) {
        const QColor background = palette.color(QPalette::Disabled, surface);
        // A style draws a button's face a shade lighter than its colour: the text must read on both.
        const auto reads = [&background](const QColor& colour) {
            return std::min(contrast(colour, background), contrast(colour, background.lighter(140))) >=
                   kDisabledContrast;
        };
        const QColor dimmed = palette.color(QPalette::Disabled, text);
        const QColor enabled = palette.color(QPalette::Active, text);
        // Towards the enabled text where that reads, else towards black or white.
        const QColor away = reads(enabled) ? enabled : textOn(background);
        QColor result = dimmed;
        for (int step = 1; step <= 20 && !reads(result); ++step)
            result = mix(dimmed, away, step / 20.0);
        if (result != dimmed)
            palette.setColor(QPalette::Disabled, text, result);
    }
    return palette;
}

QColor OVStyleManager::getIndicator_FrameColor(const QPalette& palette) {
    const QColor base = palette.color(QPalette::Base), window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::Text);
    // From halfway: the frame stays quieter than the text when the palette allows it.
    for (int step = 10; step <= 20; ++step) {
        const QColor colour = mix(base, text, step / 20.0);
        if (std::min(contrast(colour, base), contrast(colour, window)) >= kFrameContrast)
            return colour;
    }
    return text;
}

QColor OVStyleManager::textOn(const QColor& background) {
    return contrast(Qt::white, background) >= contrast(Qt::black, background) ? QColor(Qt::white)
                                                                              : QColor(Qt::black);
}

QColor OVStyleManager::averageColour(const QBrush& brush) {
    const QImage tile =
        brush.texture().toImage().scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return tile.isNull() ? brush.color() : QColor(tile.pixel(0, 0));
}

QBrush OVStyleManager::pattern(const QString& imageName) {
    // Pattern tiles are drawn at a fixed size: the SVG scales, the tile repeats.
    const QPixmap tile = QIcon(QStringLiteral(":/images/%1.svg").arg(imageName)).pixmap(64, 64);
    return QBrush(tile);
}

QBrush OVStyleManager::getMainWindow_ViewMenuBackgroundColor() {
    return pattern(QStringLiteral("main_menu_background"));
}
QBrush OVStyleManager::getMainWindow_ViewContainerBackgroundColor() {
    // The pattern is a light one: under a dark desktop palette the content area takes its window colour.
    const QColor window = platform(QPalette::Window);
    return window.lightness() < 128 ? QBrush(window) : pattern(QStringLiteral("main_background"));
}
QColor OVStyleManager::getMainWindow_MenuFontColorNotSelected() {
    return Qt::white;
}
QColor OVStyleManager::getMainWindow_MenuFontColorSelected() {
    return readableOn(rgb(255, 251, 240), averageColour(getMainWindow_MenuColorSelected()));
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
    return platform(QPalette::Base);
}
QColor OVStyleManager::getAccount_LinkColor() {
    return readableOn(rgb(15, 132, 199), platform(QPalette::Base));
}
QColor OVStyleManager::getOrvaneList_BackButtonBackgroundColor() {
    return getOrvaneColor();
}
QColor OVStyleManager::getOrvaneList_ConnectedColor() {
    return readableOn(rgb(70, 136, 71), getOrvane_DeviceButtonBackgroundColor());
}
QColor OVStyleManager::getOrvaneList_DisconnectedColor() {
    return readableOn(rgb(185, 74, 72), getOrvane_DeviceButtonBackgroundColor());
}
QColor OVStyleManager::getOrvane_DeviceBackgroundColor() {
    return platform(QPalette::Base);
}
QColor OVStyleManager::getOrvane_DeviceButtonBackgroundColor() {
    // 236, 236, 236 on a white desktop: a shade of the surface towards the text.
    return mix(platform(QPalette::Base), platform(QPalette::Text), 0.075);
}
QColor OVStyleManager::getOrvane_DeviceNameColor() {
    return platform(QPalette::Text);
}
QColor OVStyleManager::getOrvane_DeviceDetailColor() {
    // Rows alternate between the surface and its shade: readable on the shade, readable on both.
    return readableOn(rgb(95, 105, 117), getOrvane_DeviceButtonBackgroundColor());
}
QColor OVStyleManager::getOrvane_SessionBackgroundColor() {
    return platform(QPalette::Base);
}
QColor OVStyleManager::getOrvane_ConnectedColor() {
    return getOrvaneList_ConnectedColor();
}
QColor OVStyleManager::getOrvane_DisconnectedColor() {
    return getOrvaneList_DisconnectedColor();
}
QColor OVStyleManager::getOrvane_SessionUsernameColor() {
    return platform(QPalette::Text);
}
QColor OVStyleManager::getOrvane_SessionDateColor() {
    return getOrvane_DeviceDetailColor();
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
    return getOrvane_DeviceDetailColor();
}
QColor OVStyleManager::getLowBatteryColor() {
    return rgb(185, 74, 72);
}
QColor OVStyleManager::getPreferences_BackgroundColor() {
    return platform(QPalette::Base);
}
QColor OVStyleManager::getSupport_BackgroundColor() {
    return platform(QPalette::Base);
}
QColor OVStyleManager::getSupport_CheckPassedColor() {
    return readableOn(getOrvane_SessionSyncCompletedColor(), platform(QPalette::Base));
}
QColor OVStyleManager::getSupport_CheckFailedColor() {
    return readableOn(rgb(185, 74, 72), platform(QPalette::Base));
}
QColor OVStyleManager::getSupport_CheckSkippedColor() {
    return readableOn(rgb(110, 110, 110), platform(QPalette::Base));
}
QColor OVStyleManager::getAssign_BackgroundColor() {
    return platform(QPalette::Base);
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
    return platform(QPalette::Text);
}
