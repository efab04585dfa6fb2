#include "OVFileHandle.h"
#include "OVTestFiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// Caps the size of files this process writes, as a nearly full disk would: a write that crosses
// the cap is cut short, the next one fails. SIGXFSZ is ignored so the failure comes back as EFBIG.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = m_saved;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};

} // namespace

class tst_OVFileHandle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Two pages held, a third appended: it is whole or not there at all.
    void appendLeavesWholePagesWhenTheDiskFills_data() {
        QTest::addColumn<int>("capBytes");
        QTest::addColumn<bool>("appended");
        QTest::newRow("room for the page") << 4096 << true;
        QTest::newRow("room for part of the page") << 1300 << false;
        QTest::newRow("no room at all") << 1024 << false;
    }

    void appendLeavesWholePagesWhenTheDiskFills() {
        QFETCH(int, capBytes);
        QFETCH(bool, appended);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("session_data.dat"));
        const QByteArray twoPages(1024, 'a'), page(512, 'b');
        QVERIFY(writeFileBytes(path, twoPages));
        OVFileHandle handle;
        OVError error;
        QVERIFY(handle.openForUpdating(path, &error));
        const bool ok = [&] {
            const FileSizeCap cap(static_cast<rlim_t>(capBytes));
            return handle.append(page, &error);
        }();
        QCOMPARE(ok, appended);
        QCOMPARE(error.isSet(), !appended);
        QVERIFY(handle.closeFile(&error));
        QCOMPARE(fileBytes(path), appended ? twoPages + page : twoPages);
    }
};

QTEST_GUILESS_MAIN(tst_OVFileHandle)
#include "tst_OVFileHandle.moc"
