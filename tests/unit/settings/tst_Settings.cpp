// The settings library: the credential kept with its cipher, the preferences and their login item, and
// the update check.
#include "OVCipher.h"
#include "OVConfiguration.h"
#include "OVCredentialManager.h"
#include "OVPreferencesManager.h"
#include "OVTestCapture.h"
#include "OVTestFiles.h"
#include "OVUserDefaults.h"
#include "SUAppcast.h"
#include "SUUpdater.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

OVUser coach() {
    OVUser user;
    user.identifier = 100;
    user.username = user.email = QStringLiteral("coach");
    user.firstName = QStringLiteral("Casey");
    user.lastName = QStringLiteral("Morgan");
    user.uri = QStringLiteral("/api/user/100/");
    return user;
}

/** What openssl enc makes of the input with the 32 key bytes in hex and a zero initialisation vector. */
std::optional<QByteArray> openssl(const QByteArray& input, const QString& key) {
    QProcess process;
    process.start(QStringLiteral("openssl"),
                  {QStringLiteral("enc"), QStringLiteral("-aes-256-cbc"), QStringLiteral("-K"),
                   QString::fromLatin1(OVCipher::keyBytes(key)->toHex()), QStringLiteral("-iv"),
                   QString(32, QLatin1Char('0'))});
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

void storeRaw(const QString& key, const QVariant& value) {
    OVUserDefaults::setObject(value, key);
    OVUserDefaults::synchronize();
}

/** A release in a Sparkle appcast, its version as an element or as an enclosure attribute. */
QByteArray item(const QByteArray& version, bool asAttribute) {
    const QByteArray attribute = asAttribute ? " sparkle:version=\"" + version + "\"" : QByteArray();
    const QByteArray element =
        asAttribute ? QByteArray() : "<sparkle:version>" + version + "</sparkle:version>";
    return "<item><title>Version " + version + "</title>" + element +
           "<enclosure url=\"https://example.org/ov-" + version +
           ".tar.gz\" length=\"123\" type=\"application/octet-stream\"" + attribute + "/></item>";
}

QByteArray appcast(const QByteArray& items) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
           "sparkle\"><channel><title>OvServices</title>" +
           items + "</channel></rss>";
}

} // namespace

class tst_Settings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    }

    void init() {
        OVCredentialManager().deleteCredential();
        QFile::remove(OVUserDefaults::filePath());
        OVLogger::sharedInstance().turnLogOn();
        m_log->take();
    }

    void savedCredentialsSurviveARestart() {
        OVCredentialManager().saveCredential(coach(), QStringLiteral("sécret"));
        QCOMPARE(OVCredentialManager().getPassword(), std::optional<QString>(QStringLiteral("sécret")));
        // Kept as raw cipher bytes, which under another application key read as no password.
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("ep")).typeId(), QMetaType::QByteArray);
        OVCredentialManager otherKey(QStringLiteral("\x02") + QString(30, QLatin1Char('z')));
        QVERIFY(!otherKey.getPassword() && !otherKey.isUserSignedIn());
    }

    void incompleteCredentialsAreSignedOut() {
        QVERIFY(!OVCredentialManager().getUsername() && !OVCredentialManager().isUserSignedIn());
        storeRaw(QStringLiteral("ep"),
                 *OVCipher::AES256EncryptWithKey("pw", OVConfiguration::applicationKey()));
        QVERIFY(!OVCredentialManager().getPassword()); // a password without a user

        OVCredentialManager manager;
        manager.saveCredential(coach(), QString());
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("ep")).toByteArray().size(), 16);
        QVERIFY(manager.currentUser() && !manager.getPassword() && !manager.isUserSignedIn());

        manager.saveCredential(coach(), QStringLiteral("pw"));
        manager.deleteCredential();
        QVERIFY(!OVUserDefaults::objectForKey(QStringLiteral("ep")).isValid() &&
                !OVUserDefaults::objectForKey(QStringLiteral("UserJson")).isValid());
        QVERIFY(!manager.currentUser() && !OVCredentialManager().currentUser());

        manager.setCurrentUser(coach()); // in memory only
        QVERIFY(!OVCredentialManager().currentUser());
    }

    void damagedUserJsonLeavesUserSignedOut_data() {
        QTest::addColumn<QString>("json");
        QTest::newRow("not json") << "{\"username\": ";
        QTest::newRow("array") << "[1, 2]";
        QTest::newRow("null username") << "{\"username\": null}";
    }

    void damagedUserJsonLeavesUserSignedOut() {
        QFETCH(QString, json);
        storeRaw(QStringLiteral("UserJson"), json);
        QVERIFY(!OVCredentialManager().currentUser());
        QVERIFY(
            m_log->take().value(0).startsWith(QLatin1String("Error in building model for logged in user. ")));
    }

    void passwordDecoding_data() {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("password"); // "-": absent
        QTest::addColumn<QStringList>("logLines");
        const QString failed = QStringLiteral("credential initWithData failed.");
        QTest::newRow("utf-8, a whole block of padding")
            << QByteArray("exactly sïxteen") << "exactly sïxteen" << QStringList();
        QTest::newRow("zero inside utf-8")
            << QByteArray("ab\0cd", 5) << QStringLiteral("ab\0cd") << QStringList();
        QTest::newRow("bad bytes after a zero")
            << QByteArray("pw\0\xff", 4) << "pw"
            << QStringList{failed, QStringLiteral("credential stringWithUTF8String succeed.")};
        QTest::newRow("bad bytes") << QByteArray("p\xffw") << "-"
                                   << QStringList{failed,
                                                  QStringLiteral("credential stringWithUTF8String failed.")};
        QTest::newRow("bad padding") << QByteArray() << "-" << QStringList();
    }

    void passwordDecoding() {
        QFETCH(QByteArray, plain);
        QFETCH(QString, password);
        QFETCH(QStringList, logLines);
        OVCredentialManager manager;
        manager.saveCredential(coach(), QStringLiteral("replaced below"));
        const QString key = OVConfiguration::applicationKey();
        storeRaw(QStringLiteral("ep"),
                 plain.isEmpty() ? QByteArray(16, '\0') : *OVCipher::AES256EncryptWithKey(plain, key));
        m_log->take();
        QCOMPARE(manager.getPassword(),
                 password == QLatin1String("-") ? std::nullopt : std::optional(password));
        QCOMPARE(m_log->take(), logLines);
    }

    void keyBuffer_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("keyBytes"); // empty: the key does not fit
        QTest::newRow("31 characters") << QStringLiteral("\x01") + QString(30, QLatin1Char('k'))
                                       << QByteArray("\x01") + QByteArray(30, 'k') + QByteArray(1, '\0');
        QTest::newRow("32 characters") << QString(32, QLatin1Char('k')) << QByteArray(32, 'k');
        QTest::newRow("33 characters") << QString(33, QLatin1Char('k')) << QByteArray();
        QTest::newRow("31 characters, 33 bytes")
            << QString(29, QLatin1Char('k')) + QStringLiteral("éé") << QByteArray();
    }

    // The cipher is openssl's, so a password stored by either reads with the other.
    void keyBuffer() {
        QFETCH(QString, key);
        QFETCH(QByteArray, keyBytes);
        QCOMPARE(OVCipher::keyBytes(key), keyBytes.isEmpty() ? std::nullopt : std::optional(keyBytes));
        const QByteArray plain("exactly sixteen!"); // a whole block of padding follows
        QCOMPARE(OVCipher::AES256EncryptWithKey(plain, key),
                 keyBytes.isEmpty() ? std::nullopt : openssl(plain, key));
    }

    void settingsAreWrittenThrough() {
        OVPreferencesManager preferences = manager();
        // An empty store: defaults, and nothing counts as chosen yet.
        QVERIFY(preferences.getAllowLog() && !preferences.getAutoUpdate());
        QVERIFY(!preferences.getAutoStart() && !preferences.getAutoSync() && !preferences.getAutoStore());
        QVERIFY(!preferences.isAutoStartSet() && !preferences.isAutoSyncSet() &&
                !preferences.isAutoStoreSet());
        preferences.resetServerUrl(); // harmless on an empty store
        preferences.setServerUrl(QStringLiteral("https://elsewhere.example/api/"));
        preferences.setApiVersion(QStringLiteral("9.9.9"));
        // The stored server URL and API version are never read back.
        QCOMPARE(preferences.getServerUrl(), OVConfiguration::serverUrl());
        QCOMPARE(preferences.getApiVersion(), QStringLiteral("3.3.0"));

        preferences.setAllowLog(false);
        QVERIFY(!OVLogger::sharedInstance().isLogOn() && !preferences.getAllowLog());
        // On disk where other processes read it.
        const QString path = m_home.filePath(QStringLiteral("config/Pellwick/OvServices.conf"));
        QCOMPARE(OVUserDefaults::filePath(), path);
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("Allow Log")), QVariant(false));
        preferences.setAllowLog(true);
        QVERIFY(OVLogger::sharedInstance().isLogOn());
    }

    void autoStartWritesTheAutostartEntry() {
        OVPreferencesManager preferences = manager();
        preferences.setAutoStart(true);
        const QByteArray enabled = fileBytes(entryPath());
        QVERIFY(
            enabled.startsWith("[Desktop Entry]\n") && enabled.contains("\nHidden=false\n") &&
            enabled.contains("\nExec=" + QFile::encodeName(QCoreApplication::applicationFilePath()) + "\n"));
        QVERIFY(OVLoginItem(QString(), entryPath()).isEnabled());

        preferences.setAutoStart(false);
        QVERIFY(fileBytes(entryPath()).contains("\nHidden=true\n") &&
                !OVLoginItem(QString(), entryPath()).isEnabled());
        QVERIFY(preferences.isAutoStartSet() && !preferences.getAutoStart());
        QCOMPARE(m_log->take(), QStringList());
        QCOMPARE(OVLoginItem::quotedExec(QStringLiteral("/opt/Ov $ervices/100%/ov")),
                 QStringLiteral("\"/opt/Ov \\\\$ervices/100%%/ov\""));
    }

    void loginItemFailuresAreLoggedAndTheChoiceKept() {
        const QString blocker = m_home.filePath(QStringLiteral("blocker")); // a file where a folder should be
        QVERIFY(writeFileBytes(blocker, "x"));
        const QString missing = m_home.filePath(QStringLiteral("no-such-executable"));
        OVPreferencesManager preferences(
            OVLoginItem(missing, blocker + QStringLiteral("/autostart/ov.desktop")), &m_updater);
        preferences.setAutoStart(true);
        QCOMPARE(m_log->take(), (QStringList{QStringLiteral("Failed to LSRegisterURL '%1': 2").arg(missing),
                                             QStringLiteral("Failed to start Helper")}));
        QVERIFY(preferences.getAutoStart());
    }

    void autoUpdateUsesTheUpdaterSettings() {
        OVPreferencesManager preferences = manager();
        m_updater.setUpdateCheckInterval(120);
        preferences.setAutoUpdate(false);
        QCOMPARE(m_updater.updateCheckInterval(), 120.0); // untouched when switching off
        QVERIFY(!preferences.getAutoUpdate());
        preferences.setAutoUpdate(true);
        QVERIFY(preferences.getAutoUpdate());
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("SUEnableAutomaticChecks")).toBool(), true);
        QCOMPARE(OVUserDefaults::objectForKey(QStringLiteral("SUScheduledCheckInterval")).toDouble(), 3600.0);
    }

    void versionOrder_data() {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("numeric, not text") << QStringLiteral("1.10") << QStringLiteral("1.9") << 1;
        QTest::newRow("longer is newer") << QStringLiteral("1.0") << QStringLiteral("1.0.1") << -1;
        QTest::newRow("pre-release is older") << QStringLiteral("1.0b1") << QStringLiteral("1.0") << -1;
        QTest::newRow("release after beta") << QStringLiteral("1.0.1") << QStringLiteral("1.0b1") << 1;
        QTest::newRow("beta order") << QStringLiteral("1.0b2") << QStringLiteral("1.0b10") << -1;
        QTest::newRow("leading zeros") << QStringLiteral("1.01") << QStringLiteral("1.1") << 0;
    }

    void versionOrder() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(SUAppcast::compareVersions(a, b), order);
        QCOMPARE(SUAppcast::compareVersions(b, a), -order);
    }

    void backgroundCheckReadsTheAppcast_data() {
        QTest::addColumn<QByteArray>("feed");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("newest of several")
            << appcast(item("0.9", false) + item("1.10.0", false) + item("1.2.1", true))
            << "Update available: version 1.10.0 (https://example.org/ov-1.10.0.tar.gz)";
        QTest::newRow("nothing newer") << appcast(item("1.2.0", true) + item("1.0", false))
                                       << "No update available: 1.2.0 is the newest version";
        QTest::newRow("not xml") << QByteArray("<rss><channel><item>") << "Update check failed: ";
    }

    void backgroundCheckReadsTheAppcast() {
        QFETCH(QByteArray, feed);
        QFETCH(QString, logLine);
        const QString path = m_home.filePath(QStringLiteral("appcast.xml"));
        QVERIFY(writeFileBytes(path, feed));
        SUUpdater updater;
        updater.setFeedURL(QUrl::fromLocalFile(path).toString());
        updater.setCurrentVersion(QStringLiteral("1.2.0"));
        QSignalSpy finished(&updater, &SUUpdater::updateCheckFinished);
        QVERIFY(updater.checkForUpdatesInBackground());
        QVERIFY(finished.wait(30000));
        QVERIFY2(m_log->take().last().startsWith(logLine), qPrintable(logLine));

        updater.setFeedURL(QString()); // no appcast: nothing is fetched
        QVERIFY(!updater.checkForUpdatesInBackground());
        updater.waitForBackgroundChecks();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(m_log->take(), QStringList{QStringLiteral("Update check skipped: no appcast configured")});
    }

private:
    QString entryPath() const { return m_home.filePath(QStringLiteral("autostart/ovservices.desktop")); }
    OVPreferencesManager manager() {
        return OVPreferencesManager(OVLoginItem(QCoreApplication::applicationFilePath(), entryPath()),
                                    &m_updater);
    }

    QTemporaryDir m_home;
    std::shared_ptr<OVLogCapture> m_log = OVLogCapture::install();
    SUUpdater m_updater;
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
