#include "OVBaseViewController.h"

#include "OVException.h"
#include "OVLogger.h"
#include "OVPromptQueue.h"

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
    // A sheet of this window, after any prompt it already shows.
    OVPromptQueue::of(this).post(QString(), alert);
    return alert;
}

void OVBaseViewController::logException(std::exception_ptr exception, const QString& context) {
    OVLog("An exception occurred during %@. Exception: %@", context, OVException::describe(exception));
    OVLog("Backtrace:\n%@", OVException::callStackOf(exception));
}
