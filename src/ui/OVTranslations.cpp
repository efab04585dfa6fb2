#include "OVTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include <functional>

namespace {

/** Replaces the installed table by the one load() fills; false (and none installed) when it fails. */
bool installTable(const std::function<bool(QTranslator&)>& load) {
    // One table at a time: the window may be made again (tests), and a later one must not pile up.
    static QPointer<QTranslator> installed;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!load(*translator)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

} // namespace

bool OVTranslations::install(const QLocale& locale) {
    return installTable([&locale](QTranslator& translator) {
        return translator.load(locale, QStringLiteral("ovservices"), QStringLiteral("_"),
                               QStringLiteral(":/translations"));
    });
}

bool OVTranslations::installPseudo() {
    return installTable([](QTranslator& translator) {
        return translator.load(QStringLiteral(":/translations/ovservices_pseudo.qm"));
    });
}

bool OVTranslations::installForEnvironment() {
    return qEnvironmentVariableIntValue("OV_PSEUDO_LOCALE") == 1 ? installPseudo()
                                                                 : install(QLocale::system());
}
