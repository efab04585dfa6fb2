#include "AppDelegate.h"
#include "OVCommandLine.h"
#include "OVControlServer.h"
#include "OVHelper.h"
#include "OVIndicatorStyle.h"
#include "OVTerminationSignals.h"

#include <QApplication>
#include <QDir>
#include <QNetworkProxyFactory>
#include <QTextStream>

#include <memory>

namespace {
QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Installed, the binary is in bin/ and its resources in share/ovservices/; built, they lie beside it.
void useInstalledResources() {
    const QDir binary(QCoreApplication::applicationDirPath());
    const QString installed = binary.filePath(QStringLiteral("../share/ovservices/resources"));
    if (!binary.exists(QStringLiteral("resources")) && QDir(installed).exists())
        OVHelper::setResourcesDirectory(QDir(installed).canonicalPath());
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QCoreApplication::setApplicationName(QStringLiteral("OvServices"));
    QCoreApplication::setApplicationVersion(OVHelper::getApplicationVersion());
    // Only the service with its window needs a display; commands and headless runs work without.
    const OVCommandLine commandLine(argumentsOf(argc, argv));
    const bool withWindow =
        commandLine.action() == OVCommandLine::Action::RunService && !commandLine.isHeadless();
    std::unique_ptr<QCoreApplication> application;
    if (withWindow) {
        application = std::make_unique<QApplication>(argc, argv);
        // Closing the window leaves the service running in the panel.
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setDesktopFileName(QStringLiteral("ovservices"));
        OVIndicatorStyle::install();
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    useInstalledResources();
    // Hotel and office networks reach the web through the desktop's proxy (http_proxy, https_proxy,
    // no_proxy, or the desktop's settings), for the service and the doctor alike.
    QNetworkProxyFactory::setUseSystemConfiguration(true);

    QTextStream out(stdout);
    QTextStream err(stderr);
    switch (commandLine.action()) {
    case OVCommandLine::Action::Exit:
        (commandLine.exitCode() == OVCommandLine::Done ? out : err) << commandLine.exitText();
        return commandLine.exitCode();
    case OVCommandLine::Action::RunCommand:
        return commandLine.runCommand(OVControlServer::socketPath(), out, err);
    case OVCommandLine::Action::RunService:
        break;
    }
    if (OVCommandLine::askRunningInstanceToReopen(OVControlServer::socketPath(), err))
        return OVCommandLine::Done;

    try {
        OVTerminationSignals terminationSignals;
        AppDelegate delegate(commandLine.isHeadless());
        // The socket first: a launch racing this one finds the instance taken. Requests wait for the
        // event loop, so none is served before launching has finished.
        OVError error;
        switch (delegate.startControlServer(OVControlServer::socketPath(), &error)) {
        case OVControlServer::Listen::AlreadyRunning:
            // It may still be starting: give it the time to open its socket.
            OVCommandLine::askRunningInstanceToReopen(OVControlServer::socketPath(), err, 10000);
            return OVCommandLine::Done;
        case OVControlServer::Listen::Failed:
            err << "ovservices: no control socket (" << error.description()
                << "); the subcommands will not reach it\n";
            break;
        case OVControlServer::Listen::Listening:
            break;
        }
        delegate.applicationDidFinishLaunching();
        return application->exec();
    } catch (...) {
        AppDelegate::logUnhandledException(std::current_exception());
        return 0;
    }
}
