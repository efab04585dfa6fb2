#include "AppDelegate.h"
#include "OVConsoleSink.h"
#include "OVException.h"
#include "OVLogger.h"
#include "OVPreferencesManager.h"
#include "OVTestFiles.h"
#include "OVUserDefaults.h"
#include "SUUpdater.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {
const char kEscapeFlag[] = "--let-an-exception-escape";

/** The child process: "handler" throws past everything (the uncaught-exception handler logs and the
 * process aborts), "guard" throws out of what main's guard wraps (it logs and the process returns 0). */
int letAnExceptionEscape(const char* mode) {
    OVLogger::sharedInstance().addSink(std::make_shared<OVConsoleSink>());
    OVLogger::sharedInstance().turnLogOn();
    AppDelegate::installUncaughtExceptionHandler();
    if (qstrcmp(mode, "guard") == 0) {
        try {
            throw OVException(QStringLiteral("escaped the loop"));
        } catch (...) {
            AppDelegate::logUnhandledException(std::current_exception());
            return 0;
        }
    }
    throw OVException(QStringLiteral("nobody caught this"));
}
} // namespace

class tst_AppDelegate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QCoreApplication::setOrganizationName(QStringLiteral("Pellwick"));
        QCoreApplication::setApplicationName(QStringLiteral("OvServices"));
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("state"))));
        // An empty feed, so that a background check has something to read.
        const QString feed = m_home.filePath(QStringLiteral("appcast.xml"));
        QVERIFY(
            writeFileBytes(feed, "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel></channel></rss>"));
        SUUpdater::sharedUpdater()->setFeedURL(QUrl::fromLocalFile(feed).toString());
    }

    void init() { QFile::remove(OVUserDefaults::filePath()); }

    void firstRunDefaults_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("never written") << QVariant() << true;
        QTest::newRow("stored false stays false") << QVariant(false) << false;
    }
    void firstRunDefaults() {
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        if (stored.isValid())
            for (const char* key : {"Auto Sync", "Auto Start", "Auto Store", "Allow Log"})
                OVUserDefaults::setObject(stored, QString::fromLatin1(key));
        // Automatic checks switched off before: they come back on, and a check is made at once.
        SUUpdater::sharedUpdater()->setAutomaticallyChecksForUpdates(false);
        // The check ends on the updater's thread; count it on this one.
        int checks = 0;
        const auto counting = connect(
            SUUpdater::sharedUpdater(), &SUUpdater::updateCheckFinished, this, [&checks] { ++checks; },
            Qt::QueuedConnection);

        // The logger starts the other way round: the stored choice (on when never written) switches it.
        expected ? OVLogger::sharedInstance().turnLogOff() : OVLogger::sharedInstance().turnLogOn();

        AppDelegate delegate(true);
        delegate.initializePreferences();
        QCOMPARE(OVLogger::sharedInstance().isLogOn(), expected);
        OVPreferencesManager* prefs = delegate.preferencesManager();
        QCOMPARE((QList<bool>{prefs->getAutoSync(), prefs->getAutoStart(), prefs->getAutoStore()}),
                 QList<bool>(3, expected));
        QVERIFY(prefs->isAutoSyncSet() && prefs->isAutoStartSet() && prefs->isAutoStoreSet());
        QVERIFY(prefs->getAutoUpdate());
        QTRY_COMPARE(checks, 1);
        disconnect(counting);
    }

    void escapedExceptionsAreLoggedWithTheirStack_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("crashes");
        QTest::newRow("nobody catches it")
            << "handler"
            << "Unhandled exception occured. Error: nobody caught this. Stack : " << true;
        QTest::newRow("out of the event loop")
            << "guard"
            << "Unhandled exception occurred. Exception: escaped the loop. Stack:" << false;
    }
    void escapedExceptionsAreLoggedWithTheirStack() {
        QFETCH(QString, mode);
        QFETCH(QString, line);
        QFETCH(bool, crashes);
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kEscapeFlag), mode});
        QVERIFY(probe.waitForFinished(30000));
        const QString output = QString::fromUtf8(probe.readAllStandardError());
        QVERIFY2(output.contains(line), qPrintable(output));
        // The stack follows, one frame a line.
        QVERIFY2(output.mid(output.indexOf(line) + line.size()).contains(QLatin1Char('\n')),
                 qPrintable(output));
        QCOMPARE(probe.exitStatus() == QProcess::CrashExit, crashes);
        if (!crashes)
            QCOMPARE(probe.exitCode(), 0);
    }

private:
    QTemporaryDir m_home;
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kEscapeFlag) == 0)
        return letAnExceptionEscape(argv[2]);
    QCoreApplication app(argc, argv);
    tst_AppDelegate test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_AppDelegate.moc"
