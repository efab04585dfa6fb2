#pragma once

#include <QProxyStyle>

/**
 * The desktop's style, with the frames of check boxes and radio buttons drawn at 3:1 against the
 * surfaces around them. Fusion, the style Qt falls back to on most Linux desktops, draws that frame in
 * the window colour darkened: under a dark palette it is the background itself, and an unticked box
 * cannot be seen. Other styles draw their own frames and are left alone.
 */
class OVIndicatorStyle : public QProxyStyle {
public:
    /** Wraps the application's current style as the application's style, once. */
    static void install();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    explicit OVIndicatorStyle(const QString& baseStyleKey);

    const bool m_redrawsFrames;
};
