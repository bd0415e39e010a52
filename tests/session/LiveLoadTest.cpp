// Many objects through the real link from the simulator on the loopback: every packet sent must
// be recorded, its positions in the day file and, for each object, its last packet in the row
// soon after the last send. Small here; for the long run set LIVE_LOAD_OBJECTS and
// LIVE_LOAD_SECONDS (e.g. 1000 and 60) and read the figures it prints.

#include "app/Logging.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "link/ClientSock.h"
#include "link/SimProcess.h"
#include "session/OnlineProcessor.h"
#include "session/ServerMessages.h"
#include "tracks/FileManager.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
int envInt(const char *name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariable(name).toInt(&ok);
    return ok && v > 0 ? v : fallback;
}

QSet<qint64> dayFileTimes(const QString &file) {
    QSet<qint64> out;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray b = f.readAll();
    for (qsizetype i = 0; i + TCoordData::RecordSize <= b.size(); i += TCoordData::RecordSize)
        out.insert(std::llround(
            TCoordData::fromBytes(reinterpret_cast<const unsigned char *>(b.constData() + i)).ts *
            dt::MsPerDay));
    return out;
}
} // namespace

TEST(LiveLoad, EveryPacketOfAFleetIsRecorded) {
    const int objects = envInt("LIVE_LOAD_OBJECTS", 200);
    const int seconds = envInt("LIVE_LOAD_SECONDS", 10);
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    QStringList args{"--account",   "demo:demo", "--packet-interval", "1",
                     "--keepalive", "0",         "--exit-after",      QString::number(seconds)};
    for (int i = 0; i < objects; ++i) {
        const int n = 3000 + i;
        database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                               "VALUES (%1, 'Объект %1', 500)")
                           .arg(n));
        args << "--object"
             << QString::number(n) + "," + QString::number(55.5 + i * 0.001, 'f', 3) +
                    ",37.55,50,short1";
    }
    TSimProcess sim(args);
    ASSERT_TRUE(sim.ok()) << "the simulator did not start";

    QTemporaryDir cache;
    const QString cacheDir = cache.path() + "/coord/";
    auto log = std::make_shared<TOperationsLog>(cache.path() + "/log.txt");
    InstallOperationsLog(log);
    TScriptedDialogs dialogs;
    TOptions options;
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = "demo";
    options.AppPass = "demo";
    TFManager fmngr;
    TManager manager(database->settings, dialogs, cacheDir);
    TOnlineProcessor processor(fmngr, database->db, cacheDir);
    processor.setKeepsWholeTrack([](int) { return false; });
    TServerController server(options, dialogs);
    server.setManager(&manager);
    server.setProcessor(&processor);
    TClientThread client([&] { server.ClientDataIn(); }, [&] { server.ClientStateChanged(); },
                         dialogs);
    client.setOnLines([&](const std::vector<TBytes> &lines) { server.ProcessLines(lines); });
    server.setClient(&client);
    server.miConnectToServerClick();

    // Its log is read as it goes (a full pipe would stop the simulator); then it is stopped.
    waitUntil(
        [&] {
            sim.log();
            return false;
        },
        seconds * 1000);
    sim.process().kill();
    sim.process().waitForFinished(2000);
    QElapsedTimer sinceLastSend;
    sinceLastSend.start();

    // What the simulator sent: object -> packet times (ms) and the last packet's time.
    static const QRegularExpression sent("sent data object=(\\d+) packet=([0-9a-f]+)");
    QHash<int, QSet<qint64>> expected;
    QHash<int, TDateTime> last;
    int packets = 0;
    for (const QString &l : sim.log()) {
        const QRegularExpressionMatch m = sent.match(l);
        if (!m.hasMatch())
            continue;
        const int n = m.captured(1).toInt();
        TDecodedPacket pkt;
        ASSERT_EQ(DecodeOnlinePacket(n, QByteArray::fromHex(m.captured(2).toLatin1()), pkt),
                  TPacketResult::Decoded);
        ++packets;
        for (const TCoordStamp &c : pkt.coords)
            expected[n].insert(std::llround(c.ts * dt::MsPerDay));
        last[n] = std::max(last.value(n, 0), pkt.time);
    }
    ASSERT_GE(packets, objects * (seconds - 2)) << "the simulator sent too little";

    // Within 2 s of the last send every row holds its object's last packet.
    const auto rowsCurrent = [&] {
        for (auto it = last.cbegin(); it != last.cend(); ++it) {
            const TControllableObject *o = manager.FindObject(it.key());
            if (!o || o->validPackTime().value_or(0) < it.value())
                return false;
        }
        return true;
    };
    const bool current = waitUntil(rowsCurrent, 2000);
    const qint64 drained = sinceLastSend.elapsed();
    ASSERT_TRUE(current) << "not every object reached its last packet within 2 s";
    for (auto it = last.cbegin(); it != last.cend(); ++it)
        EXPECT_EQ(database->scalar(QString("SELECT OBJ_PACKTIME FROM OBJECTS WHERE OBJ_NUMBER = "
                                           "%1")
                                       .arg(it.key())),
                  dt::formatDateTime("dd.mm.yyyy hh:nn:ss", it.value()))
            << it.key();

    // Every position in its day file.
    int lost = 0;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QSet<qint64> inFiles;
        for (qint64 ms : it.value()) {
            const QString file = processor.dayFileName(it.key(), ms / dt::MsPerDay);
            if (!inFiles.contains(ms))
                inFiles.unite(dayFileTimes(file));
            lost += !inFiles.contains(ms);
        }
    }
    EXPECT_EQ(lost, 0) << "positions missing from the day files";
    std::printf("live load: %d objects, %d s, %d packets (%.0f/s), drained %lld ms after the "
                "last send\n",
                objects, seconds, packets, double(packets) / seconds, (long long)drained);
    server.DisconnectFromServer();
    InstallOperationsLog(nullptr);
}
