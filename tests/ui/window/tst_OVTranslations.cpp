// The string table: every text the device views make is in it under the context it is looked up
// with, and the table of the user's language is found in the resources and installed.
#include "OVBatteryGauge.h"
#include "OVMaintenanceFlow.h"
#include "OVOrvaneCellModel.h"
#include "OVSession.h"
#include "OVSessionRowAppearance.h"
#include "OVTranslations.h"
#include "OVUser.h"
#include "PseudoLocale.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

/** Runs the maintenance flows through their messages, the device answering as told. */
void runMaintenanceFlows(bool deviceSucceeds) {
    const auto start = [deviceSucceeds](OVError*) { return deviceSucceeds; };
    const OVMaintenanceFlow::Actions actions{start, start, start, start,
                                             [](int, const std::function<void()>&) {}};
    for (const QString& packaged : {u"1.0.4"_s, u"1.2.0"_s}) {
        OVMaintenanceFlow flow(actions, packaged, QString());
        flow.setOSVersion(10, 12);
        const OVMaintenanceFlow::Device device{u"OV1"_s, true, false, true, true, u"1.1.0"_s};
        flow.askForFirmwareUpdate(device);
        flow.onCancelClick();
        flow.onUpdateClick(device);
        flow.onUpdateClick({u"OV1"_s, true, false, true, true, u"1.0.9"_s}); // locked
        flow.onUpdateClick({u"OV1"_s, true, false, false, false, u"1.2.0"_s});
        flow.onOkClick();
        flow.onUpdateClick({u"OV1"_s, true, false, true, false, u"1.1.0"_s});
        flow.onOkClick();
        flow.onUpdateDeviceCompleted(deviceSucceeds);
        flow.onRecoverDeviceCompleted(deviceSucceeds);
        flow.deviceIsBack();
        flow.onOkClick();
        flow.onRestoreClick();
        flow.onOkClick();
        flow.onResetDeviceCompleted(deviceSucceeds);
        flow.deviceIsBack();
        flow.onOkClick();
        flow.onEraseClick();
        flow.onOkClick();
        flow.onEraseDeviceCompleted(deviceSucceeds);
    }
}

} // namespace

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
        runMaintenanceFlows(true);
        runMaintenanceFlows(false);
        QCoreApplication::removeTranslator(&recorder);
        QVERIFY(recorder.asked().size() > 30);
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
