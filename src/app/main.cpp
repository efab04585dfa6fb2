#include "OVHelper.h"
#include "OVLogger.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pellwick"));
    QCoreApplication::setApplicationName(QStringLiteral("OvServices"));
    QCoreApplication::setApplicationVersion(OVHelper::getApplicationVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("OvServices: downloads Orvane sessions and uploads them."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(QStringLiteral("headless"), QStringLiteral("Run without any window."));
    parser.addOption(headless);
    parser.process(app);

    OVLogger::sharedInstance().turnLogOn();
    OVLogger::sharedInstance().configure();
    OVLog("OvServices %@ started", OVHelper::getApplicationVersion());
    return app.exec();
}
