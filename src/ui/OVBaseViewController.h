#pragma once

#include <QString>
#include <QWidget>

#include <exception>

class QMessageBox;

/**
 * The base of every content view of the main window. The window calls initializeView each time the
 * view is put on screen; uninitializeView is for views taken off for good. Lives on the GUI thread.
 */
class OVBaseViewController : public QWidget {
    Q_OBJECT
public:
    explicit OVBaseViewController(QWidget* parent = nullptr);

    /** The view the window places in its content area; the controller is its own view. */
    QWidget* view() { return this; }

    /** Each time the view is shown. Empty here. */
    virtual void initializeView();
    /** When the view is taken off. Empty here. */
    virtual void uninitializeView();

    /**
     * A window-modal alert on the view's window with one "OK": message is its text, informativeText
     * is shown as given (never interpreted as a format). It waits for any prompt the window shows
     * (and for the window to be shown), and deletes itself when closed.
     */
    QMessageBox* showMessage(const QString& message, const QString& informativeText);
    /** Logs "An exception occurred during <context>. Exception: …" and its backtrace. */
    static void logException(std::exception_ptr exception, const QString& context);

protected:
    /**
     * Paints the view's colours from OVStyleManager. Views call it once when made; it runs again
     * whenever the desktop's palette changes, so that the view follows a dark theme. Empty here.
     */
    virtual void paintColours();
    void changeEvent(QEvent* event) override;

private:
    /** The texts of disabled controls readable on their surfaces in the desktop's palette. */
    void keepDisabledTextReadable();
    /** The application palette the view last painted for (its cache key). */
    qint64 m_paintedPaletteKey;
};
