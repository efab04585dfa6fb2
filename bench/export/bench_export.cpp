// Bytes exported per second by OVSessionExporter (copy, SHA-256, tag files, fsync) against a bare
// loop that copies the same data files in chunks of the same size and syncs them, in the same run;
// and the peak memory of exporting a small and a large store.
//
// usage: bench_export [MIB]   (default 1024: 1 GiB of sessions, 64 MiB each)
#include "OVSessionExporter.h"
#include "OVSessionFileRepository.h"
#include "PeakRss.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr qint64 kSessionMiB = 64;
constexpr qint64 kChunk = 1024 * 1024;

// A store of sessions of kSessionMiB (the last one smaller) adding up to mib; answers their data files.
QStringList fillStore(OVSessionFileRepository& repository, qint64 mib, double firstStart) {
    QStringList files;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (qint64 i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i * 131 % 251);
    for (qint64 done = 0, n = 0; done < mib; done += kSessionMiB, ++n) {
        const qint64 sessionMiB = qMin(kSessionMiB, mib - done);
        OVSession session;
        session.setDeviceSerial(QStringLiteral("OVR0000000000950"));
        session.setStart(OVDate::fromSecondsSince1970(firstStart + double(n) * 3600));
        session.setEnd(OVDate::fromSecondsSince1970(firstStart + double(n) * 3600 + 1800));
        session.setPageCount(quint64(sessionMiB * kChunk / 512));
        session.setFirmwareRev(QStringLiteral("1.0.9"));
        repository.addSession(session, nullptr);
        const QString path = repository.getSessionDataFilePath(session, nullptr);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        for (qint64 m = 0; m < sessionMiB; ++m)
            file.write(chunk);
        files.append(path);
    }
    return files;
}

double bareCopySeconds(const QStringList& files, const QString& outDir) {
    QElapsedTimer timer;
    timer.start();
    QByteArray chunk(kChunk, Qt::Uninitialized);
    int n = 0;
    for (const QString& path : files) {
        QFile in(path);
        QFile out(outDir + QStringLiteral("/copy%1").arg(n++));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return -1;
        for (qint64 got; (got = in.read(chunk.data(), kChunk)) > 0;)
            out.write(chunk.constData(), got);
        out.flush();
        ::fsync(out.handle());
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

double exportSeconds(OVSessionFileRepository& repository, const QString& outDir, qint64* peakKiB) {
    OVSessionExporter exporter(&repository);
    resetPeakRss();
    QElapsedTimer timer;
    timer.start();
    const auto report = exporter.exportSessions(outDir, {}, nullptr);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    *peakKiB = peakRssKiB();
    return report && report->skipped.isEmpty() ? seconds : -1;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
    OVSessionFileRepository repository;

    // A small store first: the large export must not need more memory than this one.
    const QStringList small = fillStore(repository, 16, 1.0e9);
    qint64 smallPeak = 0;
    const double smallSeconds = exportSeconds(repository, home.path() + QStringLiteral("/small"), &smallPeak);
    for (const QString& path : small)
        QFile::remove(path.section(QLatin1Char('/'), 0, -2) + QStringLiteral("/session.dat"));

    const QStringList files = fillStore(repository, mib, 1.7e9);
    const QString copyDir = home.path() + QStringLiteral("/copy");
    QDir().mkpath(copyDir);
    const double copy = bareCopySeconds(files, copyDir);
    QDir(copyDir).removeRecursively();
    qint64 peak = 0;
    const double exported = exportSeconds(repository, home.path() + QStringLiteral("/export"), &peak);
    if (copy <= 0 || exported <= 0 || smallSeconds <= 0) {
        std::fprintf(stderr, "bench_export: a run failed\n");
        return 1;
    }
    std::printf("export of %lld MiB: %.2f s (%.0f MiB/s); bare copy of the same files: %.2f s (%.0f MiB/s)\n",
                static_cast<long long>(mib), exported, double(mib) / exported, copy, double(mib) / copy);
    std::printf("export time / bare copy time: %.2f\n", exported / copy);
    std::printf("peak resident memory: 16 MiB export %lld KiB, %lld MiB export %lld KiB (ratio %.2f)\n",
                static_cast<long long>(smallPeak), static_cast<long long>(mib), static_cast<long long>(peak),
                double(peak) / double(smallPeak));
    return 0;
}
