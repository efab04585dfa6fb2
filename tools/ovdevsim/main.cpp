#include "SimCli.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ovdevsim"));
    return SimCli::run(QCoreApplication::arguments());
}
