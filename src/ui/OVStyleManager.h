#pragma once

#include <QBrush>
#include <QColor>
#include <QPalette>
#include <QPixmap>

/**
 * Every colour and pattern image of the window, in one table; no view picks a colour of its own.
 * Pattern "colours" are brushes textured with an image from the resources; a brush with no style
 * means "no colour" and paints nothing. No instances: every entry is a class operation.
 *
 * Surfaces and text come from the desktop's palette (read at each call, so that a view painting
 * again after a palette change follows a dark theme); brand accents keep their hue and are darkened
 * or lightened only as far as text in them needs to stay readable (4.5:1) on the surface.
 */
class OVStyleManager {
public:
    OVStyleManager() = delete;

    static QBrush getMainWindow_ViewMenuBackgroundColor();
    static QBrush getMainWindow_ViewContainerBackgroundColor();
    static QColor getMainWindow_MenuFontColorNotSelected();
    static QColor getMainWindow_MenuFontColorSelected();
    /** No colour: a menu entry that is not selected shows the column behind it. */
    static QBrush getMainWindow_MenuColorNotSelected();
    static QBrush getMainWindow_MenuColorSelected();
    static QPixmap getMainWindow_OrvaneLogo();

    static QColor getAccount_SignInBackgroundColor();
    /** The link colour of the account form's password-reset button. */
    static QColor getAccount_LinkColor();

    static QColor getOrvaneList_BackButtonBackgroundColor();
    static QColor getOrvaneList_ConnectedColor();
    static QColor getOrvaneList_DisconnectedColor();
    static QColor getOrvane_DeviceBackgroundColor();
    static QColor getOrvane_DeviceButtonBackgroundColor();
    static QColor getOrvane_DeviceNameColor();
    static QColor getOrvane_DeviceDetailColor();
    static QColor getOrvane_SessionBackgroundColor();
    static QColor getOrvane_ConnectedColor();
    static QColor getOrvane_DisconnectedColor();
    static QColor getOrvane_SessionUsernameColor();
    static QColor getOrvane_SessionDateColor();
    static QColor getOrvane_SessionSynchingColor();
    static QColor getOrvane_SessionGray();
    static QColor getOrvane_SessionSyncCompletedColor();
    static QColor getOrvane_SessionSyncFailedColor();
    static QColor getGoodBatteryColor();
    static QColor getLowBatteryColor();
    static QColor getPreferences_BackgroundColor();
    static QColor getSupport_BackgroundColor();
    /** The diagnosis list: a passed, a failed and a skipped check, readable on the view's white. */
    static QColor getSupport_CheckPassedColor();
    static QColor getSupport_CheckFailedColor();
    static QColor getSupport_CheckSkippedColor();
    static QColor getAssign_BackgroundColor();

    /** The brand colour 49, 144, 206. */
    static QColor getOrvaneColor();

    /** The message box: the dimming layer, the panel, its border and its shadow. */
    static QColor getMessageBox_DimColor();
    static QColor getMessageBox_PanelColor();
    static QColor getMessageBox_BorderColor();
    static QColor getMessageBox_ShadowColor();

    /** Text on the window's own surfaces (forms, placeholders). */
    static QColor getContent_TextColor();
    /** The frame of a check box or radio button under palette: its text mixed into its base until it
     * stands out at 3:1 from both the window and the base colours. */
    static QColor getIndicator_FrameColor(const QPalette& palette);

    /** The contrast ratio of two colours, 1 to 21. */
    static double contrast(const QColor& a, const QColor& b);
    /** colour, moved towards black or white until text in it is readable on background. */
    static QColor readableOn(const QColor& colour, const QColor& background);
    /**
     * palette with the texts of disabled controls (window, field and button text) moved towards their
     * enabled colour until they read on their surface at 3:1: set apart from the enabled ones, not lost.
     */
    static QPalette withReadableDisabledText(QPalette palette);
    /** Black or white, whichever reads better on background (text on a brand or status colour). */
    static QColor textOn(const QColor& background);
    /** The average colour of a pattern brush (its plain colour without a texture). */
    static QColor averageColour(const QBrush& brush);

private:
    static QBrush pattern(const QString& imageName);
};
