// The rules of a new emulated device's options, which the command line, the control protocol and
// the hub all check through SimPlugOptions.
#include "SimPlugOptions.h"

#include <QJsonArray>
#include <QTest>

namespace {
QJsonObject options(std::initializer_list<std::pair<const char*, QJsonValue>> values) {
    QJsonObject json;
    for (const auto& [key, value] : values)
        json.insert(QLatin1String(key), value);
    return json;
}
QJsonValue text(const char* value) {
    return QJsonValue(QLatin1String(value));
}
} // namespace

class tst_SimPlugOptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rulesOfANewDevice_data() {
        QTest::addColumn<QJsonObject>("json");
        QTest::addColumn<QString>("message"); // empty: accepted
        const auto pages = [](qint64 n) { return QJsonArray{n}; };
        QTest::newRow("defaults") << options({}) << "";
        QTest::newRow("largest accepted")
            << options({{"sessions", 2}, {"pages", pages(1000000)}, {"battery", 100}}) << "";
        QTest::newRow("too many sessions")
            << options({{"sessions", 1001}}) << "sessions must be from 0 to 1000";
        QTest::newRow("page count too large")
            << options({{"pages", pages(1000001)}}) << "pages must be at most 1000000 per session";
        QTest::newRow("one page") << options({{"pages", pages(1)}}) << "pages must be numbers from 2";
        QTest::newRow("battery above 100") << options({{"battery", 101}}) << "battery must be from 0 to 100";
        QTest::newRow("short serial") << options({{"serial", text("OVR1")}}) << "12 to 32";
        QTest::newRow("serial with a space") << options({{"serial", text("OVR 000000000001")}}) << "12 to 32";
        QTest::newRow("firmware text") << options({{"firmware", text("1.x")}}) << "MAJOR.MINOR.PATCH";
        QTest::newRow("location zero") << options({{"location", 0}}) << "location must be from 1";
        QTest::newRow("more than the flash holds")
            << options({{"sessions", 3}, {"pages", pages(1000000)}}) << "do not fit in the flash";
        QTest::newRow("empty sessions take no room")
            << options({{"sessions", 3}, {"pages", pages(1000000)}, {"empty", QJsonArray{2}}}) << "";
    }

    void rulesOfANewDevice() {
        QFETCH(QJsonObject, json);
        QFETCH(QString, message);
        QString error;
        const std::optional<SimPlugOptions> read = SimPlugOptions::fromJson(json, &error);
        QCOMPARE(read.has_value(), message.isEmpty());
        if (!read) {
            QVERIFY2(error.contains(message), qPrintable(error));
            return;
        }
        QVERIFY(read->validate(&error)); // what the protocol accepts, the hub accepts too
    }
};

QTEST_GUILESS_MAIN(tst_SimPlugOptions)
#include "tst_SimPlugOptions.moc"
