// Handing a support request to the mail command: its exact arguments and what counts as taken.
#include "OVSupportMailer.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class tst_OVSupportMailer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    /** A mail command that records its arguments, one per line, and ends with exitCode. */
    QString writeCommand(int exitCode) {
        const QString path = m_dir.filePath(QStringLiteral("mail-%1.sh").arg(exitCode));
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return QString();
        script.write(
            QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"%1\"\nexit %2\n")
                .arg(m_dir.filePath(QStringLiteral("args")))
                .arg(exitCode)
                .toUtf8());
        script.setPermissions(script.permissions() | QFile::ExeOwner);
        return path;
    }

private Q_SLOTS:
    void commandOutcome_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("taken");
        QTest::newRow("mail client took it") << writeCommand(0) << true;
        QTest::newRow("no mail client (exit 3)") << writeCommand(3) << false;
        QTest::newRow("command missing") << m_dir.filePath(QStringLiteral("absent")) << false;
    }
    void commandOutcome() {
        QFETCH(QString, program);
        QFETCH(bool, taken);
        QFile::remove(m_dir.filePath(QStringLiteral("args")));
        OVSupportMailer mailer;
        mailer.setProgram(program);
        QSignalSpy finished(&mailer, &OVSupportMailer::finished);
        const QString subject = QStringLiteral("OvService 1.0 PROD Support \n\r");
        mailer.sendEmailWithMail(subject, {QStringLiteral("/tmp/a b.zip")}, QStringLiteral("it \"fails\""),
                                 QStringLiteral("help@example.org"));
        QVERIFY(mailer.isSending());
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().at(0).toBool(), taken);
        QCOMPARE(finished.first().at(1).toString().isEmpty(), taken);
        QVERIFY(!mailer.isSending());
        if (!taken)
            return;
        QFile args(m_dir.filePath(QStringLiteral("args")));
        QVERIFY(args.open(QIODevice::ReadOnly));
        const QByteArray expected =
            QByteArrayLiteral("--subject\0OvService 1.0 PROD Support \n\r\0--body\0it "
                              "\"fails\"\0--attach\0/tmp/a b.zip\0help@example.org\0");
        QCOMPARE(args.readAll(), expected);
    }

    void secondRequestWhileSendingIsIgnored() {
        OVSupportMailer mailer;
        mailer.setProgram(writeCommand(0));
        QSignalSpy finished(&mailer, &OVSupportMailer::finished);
        mailer.sendEmailWithMail(QStringLiteral("s"), {}, QString(), QStringLiteral("a@example.org"));
        mailer.sendEmailWithMail(QStringLiteral("s"), {}, QString(), QStringLiteral("a@example.org"));
        QVERIFY(finished.wait(10000));
        QTest::qWait(200);
        QCOMPARE(finished.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_OVSupportMailer)
#include "tst_OVSupportMailer.moc"
