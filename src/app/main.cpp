#include "AppDelegate.h"
#include "OVCommandLine.h"
#include "OVControlServer.h"
#include "OVHelper.h"
#include "OVTerminationSignals.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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
        delegate.applicationDidFinishLaunching();
        QString errorText;
        if (!delegate.startControlServer(OVControlServer::socketPath(), &errorText))
            err << "ovservices: no control socket (" << errorText << "); the subcommands will not reach it\n";
        return app.exec();
    } catch (...) {
        AppDelegate::logUnhandledException(std::current_exception());
        return 0;
    }
}
