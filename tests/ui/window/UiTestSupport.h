#pragma once

#include "OVIndicatorStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cmath>

/** Where screenshots go: OV_SCREENSHOT_DIR, else build/screenshots in the source tree. */
inline QString screenshotDir() {
    const QString dir = qEnvironmentVariableIsSet("OV_SCREENSHOT_DIR")
                            ? qEnvironmentVariable("OV_SCREENSHOT_DIR")
                            : QStringLiteral(OV_SOURCE_DIR "/build/screenshots");
    QDir().mkpath(dir);
    return dir;
}

inline bool saveScreenshot(QWidget* widget, const QString& name) {
    // As the event loop would before painting: layouts asked to change do so (no other event runs).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return widget->grab().save(screenshotDir() + QLatin1Char('/') + name + QStringLiteral(".png"));
}

/** The contrast ratio of two colours (1 to 21), from their relative luminance. */
inline double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/**
 * The texts of widget as rendered whose contrast is below 4.5:1 (a disabled control's: 3:1, readable
 * yet set apart), one line each. A text's background is the commonest colour inside its control, its
 * colour the one that stands out most from it. Texts on the platform's selection colour and whatever
 * lies under a shown message box (dimmed on purpose) are left out.
 */
inline QStringList lowContrastTexts(QWidget* widget) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const qreal scale = image.devicePixelRatio();
    QWidget* box = nullptr;
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (child->inherits("MessageBoxViewController") && child->isVisible())
            box = child;
    }
    QStringList failures;
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(child);
        const auto* button = qobject_cast<QAbstractButton*>(child);
        const QString text = label ? label->text() : button ? button->text() : QString();
        if (text.trimmed().isEmpty() || !child->isVisible() ||
            (box && child != box && !box->isAncestorOf(child)))
            continue;
        // The inside of the control: a button's face rather than the frame around it.
        const QRect area = QRect(child->mapTo(widget, QPoint(0, 0)) * scale, child->size() * scale)
                               .adjusted(3, 3, -3, -3)
                               .intersected(image.rect());
        // Shades of a gradient count as one colour: pixels are bucketed by their upper four bits.
        QHash<QRgb, QList<QRgb>> buckets;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x)
                buckets[image.pixel(x, y) & 0xF0F0F0].append(image.pixel(x, y));
        }
        if (buckets.isEmpty())
            continue;
        const QList<QRgb>* commonest = &buckets.constBegin().value();
        for (auto it = buckets.constBegin(); it != buckets.constEnd(); ++it) {
            if (it.value().size() > commonest->size())
                commonest = &it.value();
        }
        QHash<QRgb, int> counts;
        for (const QRgb pixel : *commonest)
            ++counts[pixel];
        QRgb background = commonest->first();
        for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
            if (it.value() > counts.value(background))
                background = it.key();
        }
        // A selected row is drawn in the platform's own selection colour: the platform's business.
        if (QColor(background) == child->palette().color(QPalette::Highlight))
            continue;
        double best = 1;
        for (auto it = buckets.constBegin(); it != buckets.constEnd(); ++it) {
            for (const QRgb pixel : it.value())
                best = std::max(best, contrastRatio(QColor(pixel), QColor(background)));
        }
        if (best < (child->isEnabled() ? 4.5 : 3.0))
            failures << QStringLiteral("%1 \"%2\"%3: %4 on %5")
                            .arg(child->objectName(), text.left(30),
                                 child->isEnabled() ? QString() : QStringLiteral(" (disabled)"),
                                 QString::number(best, 'f', 2), QColor(background).name());
    }
    return failures;
}

/**
 * Changes the application palette as the desktop does. QApplication announces a new palette to the
 * widgets only while its event loop runs, which a test does not: the announcement is made here.
 */
inline void setDesktopPalette(const QPalette& palette) {
    QApplication::setPalette(palette);
    // Views make rows again on a new palette: widgets may go while the others are told.
    QList<QPointer<QWidget>> widgets;
    for (QWidget* widget : QApplication::allWidgets())
        widgets << widget;
    QEvent change(QEvent::ApplicationPaletteChange);
    for (const QPointer<QWidget>& widget : std::as_const(widgets)) {
        if (widget)
            QCoreApplication::sendEvent(widget, &change);
    }
}

/**
 * Saves <name>-light.png, then <name>-dark.png under a dark desktop theme as a user with one would
 * have it (the views follow it). False when a file could not be written or when a text is below
 * 4.5:1 in either theme (the texts are listed as a warning).
 */
inline bool saveScreenshots(QWidget* widget, const QString& name) {
    OVIndicatorStyle::install(); // as the application does
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
    // Disabled texts dimmed as a dark desktop theme dims them.
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(110, 110, 110));
    bool saved = saveScreenshot(widget, name + QStringLiteral("-light"));
    QStringList lowContrast = lowContrastTexts(widget);
    setDesktopPalette(dark);
    saved = saveScreenshot(widget, name + QStringLiteral("-dark")) && saved;
    for (const QString& text : lowContrastTexts(widget))
        lowContrast << QStringLiteral("dark: ") + text;
    setDesktopPalette(light);
    if (!lowContrast.isEmpty())
        qWarning("%s: text below 4.5:1\n%s", qPrintable(name),
                 qPrintable(lowContrast.join(QLatin1Char('\n'))));
    return saved && lowContrast.isEmpty();
}

/** Points the settings, the store and the logs of the process at a temporary home. */
inline void useTemporaryHome(const QTemporaryDir& home) {
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(name, QFile::encodeName(home.filePath(QString::fromLatin1(name))));
    QApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QApplication::setApplicationName(QStringLiteral("OvServices"));
}
