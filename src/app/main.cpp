#include "AppDelegate.h"
#include "OVCommandLine.h"
#include "OVControlServer.h"
#include "OVHelper.h"
#include "OVTerminationSignals.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QCoreApplication::setApplicationName(QStringLiteral("OvServices"));
    QCoreApplication::setApplicationVersion(OVHelper::getApplicationVersion());

    QTextStream out(stdout);
    QTextStream err(stderr);
    const OVCommandLine commandLine(QCoreApplication::arguments());
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
        QString errorText;
        switch (delegate.startControlServer(OVControlServer::socketPath(), &errorText)) {
        case OVControlServer::Listen::AlreadyRunning:
            // It may still be starting: give it the time to open its socket.
            OVCommandLine::askRunningInstanceToReopen(OVControlServer::socketPath(), err, 10000);
            return OVCommandLine::Done;
        case OVControlServer::Listen::Failed:
            err << "ovservices: no control socket (" << errorText << "); the subcommands will not reach it\n";
            break;
        case OVControlServer::Listen::Listening:
            break;
        }
        delegate.applicationDidFinishLaunching();
        return app.exec();
    } catch (...) {
        AppDelegate::logUnhandledException(std::current_exception());
        return 0;
    }
}
