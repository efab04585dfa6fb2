#include "OVBaseViewController.h"

#include "OVException.h"
#include "OVLogger.h"

#include <QMessageBox>

OVBaseViewController::OVBaseViewController(QWidget* parent)
    : QWidget(parent) {}

void OVBaseViewController::initializeView() {}

void OVBaseViewController::uninitializeView() {}

QMessageBox* OVBaseViewController::showMessage(const QString& message, const QString& informativeText) {
    auto* alert = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, window());
    alert->setTextFormat(Qt::PlainText);
    alert->setInformativeText(informativeText);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setAccessibleName(message);
    // A sheet: it blocks this window only, and returns at once.
    alert->setWindowModality(Qt::WindowModal);
    alert->open();
    return alert;
}

void OVBaseViewController::logException(std::exception_ptr exception, const QString& context) {
    OVLog("An exception occurred during %@. Exception: %@", context, OVException::describe(exception));
    OVLog("Backtrace:\n%@", OVException::callStackOf(exception));
}
