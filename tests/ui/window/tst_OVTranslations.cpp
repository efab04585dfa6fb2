// The string table: every text the device views choose at run time (session statuses, battery and
// row texts) is in it under the context it is looked up with, and the table of the user's language is
// found in the resources and installed. The texts written in tr() are lupdate's; the pseudo runs of
// the views fail on any looked up that the table lacks.
#include "OVBatteryGauge.h"
#include "OVOrvaneCellModel.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVTranslations.h"
#include "OVUser.h"
#include "PseudoLocale.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_OVTranslations : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyTextOfTheDeviceViewsIsInTheTable() {
        QVERIFY(!englishTable().isEmpty());
        RecordingTranslator recorder;
        QCoreApplication::installTranslator(&recorder);
        for (const bool corrupted : {false, true}) {
            for (int status = -1; status <= 16; ++status) {
                OVSession session;
                session.setSyncStatus(status);
                session.setCrcCorruption(corrupted);
                session.setPercentage(40);
                OVSessionRowAppearance::forSession(session);
            }
        }
        for (const int level : {-1, 10, 100}) {
            OVBatteryGauge::levelText(level);
            OVOrvaneCellModel::batteryText(level);
        }
        OVOrvaneCellModel::userText(std::nullopt);
        OVOrvaneCellModel::recoveryText(0.5);
        QCoreApplication::removeTranslator(&recorder);
        QVERIFY(recorder.asked().size() > 15);
        const QStringList missing = recorder.missingFromTable();
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(u'\n')));
    }

    // Each text comes out bracketed (an unbracketed one in a view was not translated), longer, and
    // with the placeholders and the accelerator it had, in the same order.
    void thePseudoTableTranslatesEveryTextKeepingPlaceholders() {
        QVERIFY(OVTranslations::installPseudo());
        const QRegularExpression kept(u"%L?\\d+|&[^&\\s]"_s); // %n is replaced by translate()
        const auto keptParts = [&kept](const QString& text) {
            QStringList parts;
            for (auto it = kept.globalMatch(text); it.hasNext();)
                parts << it.next().captured();
            return parts;
        };
        QStringList wrong;
        for (const auto& [context, source] : englishTable()) {
            const QString text =
                QCoreApplication::translate(context.toUtf8().constData(), source.toUtf8().constData(),
                                            nullptr, source.contains(u"%n"_s) ? 2 : -1);
            if (source.trimmed().isEmpty())
                continue;
            if (!text.startsWith(u'[') || !text.endsWith(u']') || text.size() < source.size() * 1.3 ||
                keptParts(text) != keptParts(source))
                wrong << context + u": "_s + source + u" -> "_s + text;
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        QVERIFY(OVTranslations::install(QLocale(QLocale::English)));
    }

    void theTableOfTheUsersLanguageIsInstalled() {
        QVERIFY(OVTranslations::install(QLocale(QLocale::English, QLocale::UnitedKingdom)));
        QVERIFY(!OVTranslations::install(QLocale(QLocale::Zulu)));
    }
};

QTEST_GUILESS_MAIN(tst_OVTranslations)
#include "tst_OVTranslations.moc"
