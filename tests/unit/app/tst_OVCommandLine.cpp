#include "OVCommandLine.h"

#include <QTest>

using Action = OVCommandLine::Action;

namespace {
QStringList words(const char* text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}
} // namespace
Q_DECLARE_METATYPE(OVCommandLine::Action)

class tst_OVCommandLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parses_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << words("status --help") << Action::Exit << 0;
        QTest::newRow("sign-in with an empty user")
            << QStringList{QStringLiteral("sign-in"), QString()} << Action::Exit << 2;
        QTest::newRow("sign-in with two users") << words("sign-in a b") << Action::Exit << 2;
        QTest::newRow("sync two devices") << words("sync a b") << Action::Exit << 2;
        QTest::newRow("quit with an argument") << words("quit now") << Action::Exit << 2;
        QTest::newRow("JSON for another command") << words("sync --json") << Action::Exit << 2;
        QTest::newRow("JSON without command") << words("--json") << Action::Exit << 2;
        QTest::newRow("headless with a command") << words("--headless quit") << Action::Exit << 2;
        QTest::newRow("export one session to a folder")
            << words("export --out /tmp/x OVR0000000000101 1796378400") << Action::RunCommand << 0;
        QTest::newRow("export with three arguments") << words("export a b c") << Action::Exit << 2;
        QTest::newRow("export verify with a serial")
            << words("export --verify /tmp/x a") << Action::Exit << 2;
        QTest::newRow("out without its value") << words("export --out") << Action::Exit << 2;
        QTest::newRow("out for another command") << words("status --out /tmp/x") << Action::Exit << 2;
    }
    void parses() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(int, exitCode);
        const OVCommandLine commandLine(QStringList{QStringLiteral("ovservices")} + arguments);
        QCOMPARE(commandLine.action(), action);
        if (action == Action::Exit)
            QCOMPARE(commandLine.exitCode(), exitCode);
    }
};

QTEST_GUILESS_MAIN(tst_OVCommandLine)
#include "tst_OVCommandLine.moc"
