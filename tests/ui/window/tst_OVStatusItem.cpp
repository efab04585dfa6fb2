#include "OVConfiguration.h"
#include "OVNotificationCenter.h"
#include "OVStatusItem.h"
#include "UiTestSupport.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;

class tst_OVStatusItem : public QObject {
    Q_OBJECT

private:
    QList<QUrl> m_opened;

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase() {
        qputenv("OV_DASHBOARD_URL", "http://127.0.0.1:9/dashboard/");
        QDesktopServices::setUrlHandler(u"http"_s, this, "openUrl");
    }

    void framesCycleWhileUploading() {
        OVStatusItem item;
        item.observeSyncNotifications([] { return false; });
        QCOMPARE(item.currentImageName(), u"ov-logo"_s);
        QStringList seen;
        OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSyncStart);
        QTRY_VERIFY(item.syncProgressTimerStarted());
        // The first frame shows at once, then one every 0.3 seconds, round and round.
        seen << item.currentImageName();
        while (seen.size() < 8) {
            QTest::qWait(OVStatusItem::kFrameIntervalMs / 3);
            if (item.currentImageName() != seen.last())
                seen << item.currentImageName();
        }
        QCOMPARE(
            seen.join(u' '),
            u"ov-logo-p1 ov-logo-p2 ov-logo-p3 ov-logo-p4 ov-logo-p5 ov-logo-p6 ov-logo-p1 ov-logo-p2"_s);
        // Stopped mid-cycle, the next upload starts again at the first frame.
        item.stopSyncProgressTimer();
        QCOMPARE(item.currentImageName(), u"ov-logo"_s);
        item.startSyncProgressTimer();
        QCOMPARE(item.currentImageName(), u"ov-logo-p1"_s);
    }

    // Every "OnDeviceSyncDone" but the last arrives while other devices still upload.
    void stopsWhenTheLastDeviceIsDone_data() {
        QTest::addColumn<int>("devices");
        QTest::newRow("one device") << 1;
        QTest::newRow("three devices, done twice while others upload") << 3;
    }
    void stopsWhenTheLastDeviceIsDone() {
        QFETCH(int, devices);
        std::atomic<bool> synching{true};
        OVStatusItem item;
        item.observeSyncNotifications([&synching] { return synching.load(); });
        for (int i = 0; i < devices; ++i)
            OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSyncStart);
        QTRY_VERIFY(item.syncProgressTimerStarted());
        for (int done = 1; done <= devices; ++done) {
            synching = done < devices;
            // Posted from an uploader's thread, as the device synchers do.
            std::thread([] {
                OVNotificationCenter::defaultCenter().post(OVNotificationName::OnDeviceSyncDone);
            }).join();
            QTest::qWait(50);
            QCOMPARE(item.syncProgressTimerStarted(), done < devices);
        }
        QCOMPARE(item.currentImageName(), u"ov-logo"_s);
    }

    void menuActions() {
        OVStatusItem item;
        const QList<QAction*> actions = item.menu()->actions();
        QCOMPARE(std::count_if(actions.begin(), actions.end(), [](QAction* a) { return !a->isSeparator(); }),
                 3);
        QSignalSpy open(&item, &OVStatusItem::showMainWindowRequested);
        item.menuItemOpen()->trigger();
        QCOMPARE(open.count(), 1);
        item.menuItemOpenDashboard()->trigger();
        QCOMPARE(m_opened, QList<QUrl>{QUrl(OVConfiguration::dashboardUrl())});
        // Quit ends the event loop (a watchdog ends it with 1 otherwise).
        QTimer::singleShot(0, item.menuItemQuit(), &QAction::trigger);
        QTimer::singleShot(5000, &item, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(open.count(), 1);
    }

    // Every image at the panel sizes, on a light and a dark panel, in one sheet for a person to check.
    void iconsAtPanelSizes() {
        QStringList names{u"ov-logo"_s, u"ov-logo-highlighted"_s};
        for (int i = 1; i <= OVStatusItem::kFrameCount; ++i)
            names << u"ov-logo-p%1"_s.arg(i);
        const int cell = 30;
        QImage sheet(names.size() * cell, 4 * cell, QImage::Format_ARGB32);
        QPainter painter(&sheet);
        int row = 0;
        for (const QColor& panel : {QColor(240, 240, 240), QColor(40, 40, 40)})
            for (int size : {16, 22}) {
                painter.fillRect(0, row * cell, sheet.width(), cell, panel);
                for (int i = 0; i < names.size(); ++i) {
                    const QPixmap icon = OVStatusItem::image(names[i]).pixmap(size, size);
                    // Drawn, not blank: an image that failed to load would leave the panel showing.
                    QVERIFY2(!icon.isNull() && icon.toImage().pixelColor(size / 2, 1).alpha() > 0,
                             qPrintable(names[i]));
                    painter.drawPixmap(i * cell + (cell - size) / 2, row * cell + (cell - size) / 2, icon);
                }
                ++row;
            }
        painter.end();
        QVERIFY(sheet.scaled(sheet.size() * 4, Qt::KeepAspectRatio, Qt::FastTransformation)
                    .save(screenshotDir() + u"/tray-frames.png"_s));
    }
};

QTEST_MAIN(tst_OVStatusItem)
#include "tst_OVStatusItem.moc"
