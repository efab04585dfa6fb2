#include "OvCli.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ovdevsim"));
    return OvCli::run(QCoreApplication::arguments());
}
