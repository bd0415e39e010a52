// What the transfer adds to the import: 30 days of 20 objects fetched from the archive FTP
// service on loopback and imported (the download as the window runs it), against reading the
// same day files from disk and importing them, and against the transfers alone (fetched and
// decompressed, nothing stored). One run of each per iteration, on the local Firebird server.
// Run: build/bench/archive_bench (the server must be running: scripts/firebird.sh start).

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/Dialogs.h"
#include "archive/DownloadObjectData.h"
#include "archive/DownloadProgress.h"
#include "archive/Transfers.h"
#include "db/Database.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"

namespace {

constexpr int Objects = 20;
constexpr int Days = 30;
constexpr int RecordsPerDay = 720; // one every two minutes, each with another state
const QDate FirstDay(2024, 3, 1);

QByteArray dayFile(int number, int day) {
    QByteArray bytes;
    QByteArray st("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
    const TDateTime start = dt::encodeDate(FirstDay.addDays(day));
    for (int i = 0; i < RecordsPerDay; ++i) {
        st[6] = char(i & 0xFF);
        st[8] = char(((i >> 8) + number) & 0xFF);
        bytes += TDeviceRecord{start + i * 120.0 / 86400,
                               {3345.0L + i * 1e-4L, 2256.0L + number * 1e-2L},
                               st}
                     .toBytes();
    }
    return bytes;
}

struct Bench {
    QString dir;
    db::TConnectionSettings settings;
    db::TDatabase database;
    QString serverRoot, dataDir, cacheDir;
    QProcess ftp;
    int port = 0;
    qint64 bytes = 0;
    int databases = 0;
    std::unique_ptr<TManager> registry;

    Bench() {
        dir = QStringLiteral("/tmp/zarnex-archivebench-%1/").arg(getpid());
        QDir().mkpath(dir);
        ::chmod(QFile::encodeName(dir).constData(), 01777);
        serverRoot = dir + QStringLiteral("server");
        dataDir = dir + QStringLiteral("data/");
        cacheDir = dir + QStringLiteral("coord/");
        for (int n = 1; n <= Objects; ++n) {
            const QString folder = serverRoot + QStringLiteral("/%1/").arg(100 + n);
            QDir().mkpath(folder);
            for (int d = 0; d < Days; ++d) {
                QFile f(folder + FirstDay.addDays(d).toString(QStringLiteral("yyyyMMdd")) +
                        QStringLiteral(".dat"));
                f.open(QIODevice::WriteOnly);
                bytes += f.write(dayFile(n, d));
            }
        }
        ftp.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral(ZARNEX_TOOLS_DIR "/zarnex-archive-ftp.py"),
                   QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--root"),
                   serverRoot, QStringLiteral("--account"), QStringLiteral("b:b")});
        ftp.waitForStarted(5000);
        while (!ftp.canReadLine() && ftp.waitForReadyRead(10000)) {
        }
        port = QString::fromLatin1(ftp.readLine()).trimmed().toInt();
        if (port <= 0)
            throw std::runtime_error("the archive FTP service did not start");
        reset();
    }
    ~Bench() {
        registry.reset();
        ftp.kill();
        ftp.waitForFinished(3000);
        dropDatabase();
        QDir(dir).removeRecursively();
    }
    void dropDatabase() {
        if (!database.isOpen())
            return;
        try {
            database.drop();
        } catch (...) {
            database.forceClose();
        }
    }
    // Nothing fetched or imported yet, in a new database (deleted rows would leave garbage for
    // the next run to collect), with the registry made as at a connection.
    void reset() {
        registry.reset();
        dropDatabase();
        QDir(dataDir).removeRecursively();
        QDir(cacheDir).removeRecursively();
        settings = {QStringLiteral("localhost"),
                    dir + QStringLiteral("bench%1.fdb").arg(++databases), QStringLiteral("SYSDBA"),
                    QStringLiteral("qvx7tpl2m")};
        database.create(settings.databaseName(), settings.login, settings.password);
        db::BuildFromUpdateScript(database, QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql"));
        for (int n = 1; n <= Objects; ++n)
            database.execute(
                QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (%1, 'О%1')")
                    .arg(100 + n));
        registry = std::make_unique<TManager>(settings, SilentDialogs(), cacheDir);
    }
    TDownloadSettings ftpSettings() const {
        TDownloadSettings s;
        s.ftp.host = QStringLiteral("127.0.0.1");
        s.ftp.port = port;
        s.ftp.user = s.ftp.password = QStringLiteral("b");
        return s;
    }
};

Bench &bench() {
    static Bench b;
    return b;
}

const TDateTime Start = dt::encodeDate(FirstDay), End = dt::encodeDate(FirstDay.addDays(Days - 1));

void BM_DownloadAndImport(benchmark::State &state) {
    Bench &b = bench();
    int files = 0;
    for (auto _ : state) {
        state.PauseTiming();
        b.reset();
        TFManager fmngr;
        TImportProgress importProgress;
        TTrackImport import(*b.registry, fmngr, b.settings, b.cacheDir, importProgress);
        TDownloadProgress progress;
        TDownloadObjectData run(*b.registry, import, progress, SilentDialogs(), b.ftpSettings(),
                                b.dataDir);
        state.ResumeTiming();
        run.DownloadObjectData(0, Start, End);
        files = run.importedFiles();
        if (run.failed() || files != Objects * Days) {
            for (const QString &l : progress.lines().filter(QStringLiteral("ошибка")).mid(0, 5))
                std::fprintf(stderr, "%s\n", l.toUtf8().constData());
            std::fprintf(stderr, "%d files imported\n", files);
            state.SkipWithError("the download failed");
            break;
        }
    }
    state.counters["files"] = files;
    state.SetBytesProcessed(state.iterations() * b.bytes);
}

void BM_ReadFromDiskAndImport(benchmark::State &state) {
    Bench &b = bench();
    for (auto _ : state) {
        state.PauseTiming();
        b.reset();
        TFManager fmngr;
        TImportProgress importProgress;
        TTrackImport import(*b.registry, fmngr, b.settings, b.cacheDir, importProgress);
        state.ResumeTiming();
        for (int n = 1; n <= Objects; ++n)
            for (int d = 0; d < Days; ++d) {
                const QString name = FirstDay.addDays(d).toString(QStringLiteral("yyyyMMdd")) +
                                     QStringLiteral(".dat");
                QFile f(b.serverRoot + QStringLiteral("/%1/").arg(100 + n) + name);
                f.open(QIODevice::ReadOnly);
                QByteArray bytes = f.readAll();
                QBuffer stream(&bytes);
                stream.open(QIODevice::ReadOnly);
                import.FileToDB(QString::number(100 + n) + QLatin1Char('/') + name, stream,
                                100 + n);
            }
    }
    state.SetBytesProcessed(state.iterations() * b.bytes);
}

void BM_TransfersAlone(benchmark::State &state) {
    Bench &b = bench();
    for (auto _ : state) {
        TFtpClient ftp(b.ftpSettings().ftp);
        for (int n = 1; n <= Objects; ++n) {
            QByteArray list;
            TDownloadThread(ftp, ArchiveListName(100 + n, Start, End), list).WaitTillExecuted();
            for (const QString &line :
                 QString::fromLatin1(list).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
                QByteArray content;
                TDownloadThread t(ftp, line.section(QLatin1Char('='), 0, 0), content);
                t.WaitTillExecuted();
                if (t.ErrorCode() != 0) {
                    state.SkipWithError("a transfer failed");
                    return;
                }
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * b.bytes);
}

BENCHMARK(BM_DownloadAndImport)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ReadFromDiskAndImport)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_TransfersAlone)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    try {
        bench();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "archive_bench: %s\n", e.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
