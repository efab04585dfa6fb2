// Which view the device list shows when its devices change.
#include "OVDeviceInfo.h"
#include "OVDeviceListNavigator.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OVDeviceListPane)
Q_DECLARE_METATYPE(OVDeviceListNavigator::Action)

namespace {

std::shared_ptr<OVDeviceInfo> device(const QString& serial, bool connected = true, bool recovery = false) {
    auto record = std::make_shared<OVDeviceInfo>();
    record->setSerial(serial);
    record->setIsConnected(connected);
    record->setIsInRecovery(recovery);
    return record;
}

} // namespace

class tst_OVDeviceListNavigator : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void afterDeviceListChange_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<OVDeviceListPane>("showing");
        QTest::addColumn<bool>("wait");
        QTest::addColumn<QStringList>("serials"); // "-" suffix: disconnected, "!" suffix: recovering
        QTest::addColumn<OVDeviceListNavigator::Action>("action");
        QTest::addColumn<QString>("target");
        using A = OVDeviceListNavigator::Action;
        using P = OVDeviceListPane;
        QTest::newRow("signed out") << false << P::List << false << QStringList{u"A"_s} << A::ShowNoOrvane
                                    << u""_s;
        QTest::newRow("one device opens")
            << true << P::List << false << QStringList{u"A"_s} << A::ShowDetail << u"A"_s;
        QTest::newRow("two devices list")
            << true << P::List << false << QStringList{u"A"_s, u"B"_s} << A::ShowList << u""_s;
        QTest::newRow("no device lists")
            << true << P::NoOrvane << false << QStringList{} << A::ShowList << u""_s;
        QTest::newRow("one recovering lists")
            << true << P::List << false << QStringList{u"A!"_s} << A::ShowList << u""_s;
        QTest::newRow("detail follows")
            << true << P::Detail << false << QStringList{u"A"_s, u"S"_s} << A::ShowDetail << u"S"_s;
        QTest::newRow("detail of a gone device clears")
            << true << P::Detail << false << QStringList{u"A"_s} << A::ShowDetail << u""_s;
        QTest::newRow("restarting device gone")
            << true << P::Detail << true << QStringList{u"A"_s} << A::Keep << u""_s;
        QTest::newRow("restarting device unplugged")
            << true << P::Detail << true << QStringList{u"S-"_s} << A::Keep << u""_s;
        QTest::newRow("restarted device back")
            << true << P::Detail << true << QStringList{u"S"_s} << A::ShowDetail << u"S"_s;
        QTest::newRow("assign refreshes")
            << true << P::Assign << false << QStringList{u"A"_s} << A::RefreshAssign << u""_s;
    }
    void afterDeviceListChange() {
        QFETCH(bool, signedIn);
        QFETCH(OVDeviceListPane, showing);
        QFETCH(bool, wait);
        QFETCH(QStringList, serials);
        QFETCH(OVDeviceListNavigator::Action, action);
        QFETCH(QString, target);
        QList<std::shared_ptr<OVDeviceInfo>> devices;
        for (QString serial : serials) {
            const bool recovering = serial.endsWith(QLatin1Char('!'));
            const bool unplugged = serial.endsWith(QLatin1Char('-'));
            if (recovering || unplugged)
                serial.chop(1);
            devices << device(serial, !unplugged && !recovering, recovering);
        }
        const auto decision = OVDeviceListNavigator::afterDeviceListChange(
            {signedIn, showing, QStringLiteral("S"), wait}, devices,
            [](const std::shared_ptr<OVDeviceInfo>& d) { return d->isInRecovery(); });
        QCOMPARE(decision.action, action);
        QCOMPARE(decision.device ? decision.device->serial() : QString(), target);
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceListNavigator)
#include "tst_OVDeviceListNavigator.moc"
