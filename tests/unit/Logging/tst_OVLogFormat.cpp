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
        QTest::newRow("object placeholder with text")
            << OVLogFormat::format("(%@)-Storing page %@", QStringLiteral("OVR0001"), 12)
            << "(OVR0001)-Storing page 12";
        QTest::newRow("zero padded duration")
            << OVLogFormat::format("%02i:%02i:%02i", 25, 1, 7) << "25:01:07";
        QTest::newRow("unsigned 64 bits")
            << OVLogFormat::format("%llu", quint64(18446744073709551615ULL)) << "18446744073709551615";
        QTest::newRow("float with six decimals")
            << OVLogFormat::format("Epoch : %f", 1462442400.5) << "Epoch : 1462442400.500000";
        QTest::newRow("percent sign") << OVLogFormat::format("100%% at %i%%", 7) << "100% at 7%";
        QTest::newRow("hex location") << OVLogFormat::format("0x%X", 0x14200000u) << "0x14200000";
        QTest::newRow("described object") << OVLogFormat::format("[%@]", Described{}) << "[described!]";
        QTest::newRow("shared pointer to described")
            << OVLogFormat::format("[%@]", std::make_shared<Described>()) << "[described!]";
        QTest::newRow("null pointer prints null")
            << OVLogFormat::format("[%@]", std::shared_ptr<Described>()) << "[(null)]";
        QTest::newRow("absent optional prints null")
            << OVLogFormat::format("User:%@", std::optional<quint64>()) << "User:(null)";
        QTest::newRow("present optional")
            << OVLogFormat::format("User:%@", std::optional<quint64>(42)) << "User:42";
        QTest::newRow("bytes in groups of four")
            << OVLogFormat::format("%@", QByteArray::fromHex("000102030405")) << "<00010203 0405>";
        QTest::newRow("utf8 literal and argument")
            << OVLogFormat::format("été %@", QStringLiteral("ñ")) << QStringLiteral("été ñ");
        QTest::newRow("missing argument leaves nothing") << OVLogFormat::format("a %@ b %@", 1) << "a 1 b ";
        QTest::newRow("text argument to a numeric conversion")
            << OVLogFormat::format("%i", QStringLiteral("17")) << "17";
        QTest::newRow("boolean prints as number") << OVLogFormat::format("%@/%i", true, false) << "1/0";
        // The formatted text is final: a "%" inside an argument is never formatted again.
        QTest::newRow("argument not formatted twice")
            << OVLogFormat::format("%@", QStringLiteral("50%@ %i")) << "50%@ %i";
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
