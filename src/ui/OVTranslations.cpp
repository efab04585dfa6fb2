#include "OVTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

bool OVTranslations::install(const QLocale& locale) {
    // One table at a time: the window may be made again (tests), and a later one must not pile up.
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("ovservices"), QStringLiteral("_"),
                          QStringLiteral(":/translations"))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
