#include "OVLogFormat.h"

#include <QTest>

#include <memory>
#include <optional>

namespace {
struct Described {
    QString description() const { return QStringLiteral("described!"); }
};
} // namespace

class tst_OVLogFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void conversions_data() {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("object") << OVLogFormat::format("(%@)-Storing page %@", QStringLiteral("OVR0001"), 12)
                                << "(OVR0001)-Storing page 12";
        QTest::newRow("zero padded") << OVLogFormat::format("%02i:%02i:%02i", 25, 1, 7) << "25:01:07";
        QTest::newRow("u64") << OVLogFormat::format("%llu", quint64(18446744073709551615ULL))
                             << "18446744073709551615";
        QTest::newRow("float") << OVLogFormat::format("Epoch : %f", 1462442400.5)
                               << "Epoch : 1462442400.500000";
        QTest::newRow("percent sign") << OVLogFormat::format("100%% at %i%%", 7) << "100% at 7%";
        QTest::newRow("hex") << OVLogFormat::format("0x%X", 0x14200000u) << "0x14200000";
        QTest::newRow("described") << OVLogFormat::format("[%@]", Described{}) << "[described!]";
        QTest::newRow("shared") << OVLogFormat::format("[%@]", std::make_shared<Described>())
                                << "[described!]";
        QTest::newRow("null shared") << OVLogFormat::format("[%@]", std::shared_ptr<Described>())
                                     << "[(null)]";
        QTest::newRow("no optional") << OVLogFormat::format("User:%@", std::optional<quint64>())
                                     << "User:(null)";
        QTest::newRow("optional") << OVLogFormat::format("User:%@", std::optional<quint64>(42)) << "User:42";
        QTest::newRow("bytes in groups of four")
            << OVLogFormat::format("%@", QByteArray::fromHex("000102030405")) << "<00010203 0405>";
        QTest::newRow("utf8") << OVLogFormat::format("été %@", QStringLiteral("ñ"))
                              << QStringLiteral("été ñ");
        QTest::newRow("missing argument") << OVLogFormat::format("a %@ b %@", 1) << "a 1 b ";
        QTest::newRow("text to number") << OVLogFormat::format("%i", QStringLiteral("17")) << "17";
        QTest::newRow("boolean") << OVLogFormat::format("%@/%i", true, false) << "1/0";
        // The formatted text is final: a "%" inside an argument is never formatted again.
        QTest::newRow("not twice") << OVLogFormat::format("%@", QStringLiteral("50%@ %i")) << "50%@ %i";
        QTest::newRow("width on text") << OVLogFormat::format("[%5@]", QStringLiteral("ab")) << "[   ab]";
    }

    void conversions() {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }
};

QTEST_GUILESS_MAIN(tst_OVLogFormat)
#include "tst_OVLogFormat.moc"
