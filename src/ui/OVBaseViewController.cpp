#include "OVBaseViewController.h"

#include "OVException.h"
#include "OVLogger.h"
#include "OVPromptQueue.h"
#include "OVStyleManager.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

OVBaseViewController::OVBaseViewController(QWidget* parent)
    : QWidget(parent)
    , m_paintedPaletteKey(QApplication::palette().cacheKey()) {
    keepDisabledTextReadable();
}

void OVBaseViewController::keepDisabledTextReadable() {
    // The desktop dims disabled texts, sometimes until they can hardly be read. Only those colours
    // are the view's own (its views set their others again in paintColours, which follows): the rest
    // still comes from the desktop and the widgets around.
    const QPalette readable = OVStyleManager::withReadableDisabledText(QApplication::palette(this));
    QPalette own;
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        own.setColor(QPalette::Disabled, role, readable.color(QPalette::Disabled, role));
    setPalette(own);
}

void OVBaseViewController::initializeView() {}

void OVBaseViewController::uninitializeView() {}

void OVBaseViewController::paintColours() {}

void OVBaseViewController::changeEvent(QEvent* event) {
    // A window hears of a new desktop palette as ApplicationPaletteChange, the views inside it as the
    // PaletteChange that follows; either way the view paints again once per application palette.
    const auto type = event->type();
    if (type == QEvent::ApplicationPaletteChange || type == QEvent::PaletteChange) {
        const qint64 key = QApplication::palette().cacheKey();
        if (key != m_paintedPaletteKey) {
            m_paintedPaletteKey = key;
            keepDisabledTextReadable();
            paintColours();
        }
    }
    QWidget::changeEvent(event);
}

QMessageBox* OVBaseViewController::showMessage(const QString& message, const QString& informativeText) {
    auto* alert = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, window());
    alert->setTextFormat(Qt::PlainText);
    alert->setInformativeText(informativeText);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setAccessibleName(message);
    // A sheet of this window, after any prompt it already shows.
    OVPromptQueue::of(this).post(QString(), alert);
    return alert;
}

void OVBaseViewController::logException(std::exception_ptr exception, const QString& context) {
    OVLog("An exception occurred during %@. Exception: %@", context, OVException::describe(exception));
    OVLog("Backtrace:\n%@", OVException::callStackOf(exception));
}
