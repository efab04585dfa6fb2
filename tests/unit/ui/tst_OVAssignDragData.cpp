// The drag payload between the assign view's tables and the rule for where a drop assigns.
#include "OVAssignDragData.h"

#include <QMimeData>
#include <QTest>

#include <memory>

class tst_OVAssignDragData : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rowsSurviveTheDrag() {
        std::unique_ptr<QMimeData> data(OVAssignDragData::encodeRows({4, 1}));
        QCOMPARE(OVAssignDragData::decodeRows(data.get()), std::optional<QList<int>>(QList<int>{4, 1}));
    }

    void foreignOrBrokenPayloadsAreRefused_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain text") << QStringLiteral("text/plain") << QByteArray("3");
        QTest::newRow("our type, truncated") << OVAssignDragData::mimeType() << QByteArray("\x00\x00", 2);
        QTest::newRow("our type, no rows") << OVAssignDragData::mimeType() << QByteArray(4, '\0');
    }
    void foreignOrBrokenPayloadsAreRefused() {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QMimeData data;
        data.setData(format, bytes);
        QCOMPARE(OVAssignDragData::decodeRows(&data), std::nullopt);
        QCOMPARE(OVAssignDragData::decodeRows(nullptr), std::nullopt);
    }

    void acceptsDrop_data() {
        QTest::addColumn<bool>("ontoRow");
        QTest::addColumn<int>("deviceRow");
        QTest::addColumn<int>("userRow");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("onto a device row") << true << 1 << 0 << true;
        QTest::newRow("onto the last rows") << true << 1 << 2 << true;
        QTest::newRow("between two rows") << false << 1 << 0 << false;
        QTest::newRow("below the last device") << true << 2 << 0 << false;
        QTest::newRow("no row under the cursor") << true << -1 << 0 << false;
        QTest::newRow("user row gone after a reload") << true << 0 << 3 << false;
        QTest::newRow("negative user row") << true << 0 << -1 << false;
    }
    void acceptsDrop() {
        QFETCH(bool, ontoRow);
        QFETCH(int, deviceRow);
        QFETCH(int, userRow);
        QFETCH(bool, accepted);
        QCOMPARE(OVAssignDragData::acceptsDrop(ontoRow, deviceRow, 2, userRow, 3), accepted);
    }
};

QTEST_APPLESS_MAIN(tst_OVAssignDragData)
#include "tst_OVAssignDragData.moc"
