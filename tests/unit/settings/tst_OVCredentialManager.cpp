#include "OVCipher.h"
#include "OVConfiguration.h"
#include "OVCredentialManager.h"
#include "OVTestCapture.h"
#include "OVUserDefaults.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class tst_OVCredentialManager : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    }

    void init() { OVCredentialManager().deleteCredential(); }

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
        QVERIFY(!OVUserDefaults::objectForKey(QStringLiteral("ep")).isValid());
        QVERIFY(!OVUserDefaults::objectForKey(QStringLiteral("UserJson")).isValid());
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

private:
    QTemporaryDir m_home;
    std::shared_ptr<OVLogCapture> m_log = OVLogCapture::install();
};

QTEST_GUILESS_MAIN(tst_OVCredentialManager)
#include "tst_OVCredentialManager.moc"
