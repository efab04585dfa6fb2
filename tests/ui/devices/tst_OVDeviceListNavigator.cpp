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
    // Opening the only device, listing two, the detail staying open as devices come and the placeholder
    // when signed out are checked on the real views.
    void afterDeviceListChange_data() {
        QTest::addColumn<OVDeviceListPane>("showing");
        QTest::addColumn<bool>("wait");
        QTest::addColumn<QStringList>("serials"); // "-" suffix: disconnected, "!" suffix: recovering
        QTest::addColumn<OVDeviceListNavigator::Action>("action");
        QTest::addColumn<QString>("target");
        using A = OVDeviceListNavigator::Action;
        using P = OVDeviceListPane;
        QTest::newRow("no device lists") << P::NoOrvane << false << QStringList{} << A::ShowList << u""_s;
        QTest::newRow("one recovering lists")
            << P::List << false << QStringList{u"A!"_s} << A::ShowList << u""_s;
        QTest::newRow("detail of a gone device clears")
            << P::Detail << false << QStringList{u"A"_s} << A::ShowDetail << u""_s;
        QTest::newRow("restarting device gone")
            << P::Detail << true << QStringList{u"A"_s} << A::Keep << u""_s;
        QTest::newRow("restarting device unplugged")
            << P::Detail << true << QStringList{u"S-"_s} << A::Keep << u""_s;
        QTest::newRow("restarted device back")
            << P::Detail << true << QStringList{u"S"_s} << A::ShowDetail << u"S"_s;
        QTest::newRow("assign refreshes")
            << P::Assign << false << QStringList{u"A"_s} << A::RefreshAssign << u""_s;
    }
    void afterDeviceListChange() {
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
            {true, showing, QStringLiteral("S"), wait}, devices,
            [](const std::shared_ptr<OVDeviceInfo>& d) { return d->isInRecovery(); });
        QCOMPARE(decision.action, action);
        QCOMPARE(decision.device ? decision.device->serial() : QString(), target);
    }
};

QTEST_GUILESS_MAIN(tst_OVDeviceListNavigator)
#include "tst_OVDeviceListNavigator.moc"
