// The client doing its job against the simulator and the local database: objects connect,
// packets are decoded and recorded, a command from the grid reaches the server.

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

#include <QDir>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(EndToEnd, PacketsOfRegisteredObjectsAreRecordedAndCommandsArrive) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    // 2001 and 2002 are registered; the simulator's others are not.
    for (int n : {2001, 2002})
        database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                               "VALUES (%1, 'Объект %1', 500)")
                           .arg(n));

    TSimProcess sim(
        {"--account", "диспетчер:пароль", "--packet-interval", "1", "--keepalive", "0"});
    ASSERT_TRUE(sim.ok()) << "the simulator did not start";

    QTemporaryDir cache;
    const QString cacheDir = cache.path() + "/coord/";
    auto log = std::make_shared<TOperationsLog>(cache.path() + "/log.txt");
    InstallOperationsLog(log);

    TScriptedDialogs dialogs;
    TOptions options;
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = "диспетчер";
    options.AppPass = "пароль";
    TFManager fmngr;
    TManager manager(database->settings, dialogs, cacheDir);
    TOnlineProcessor processor(fmngr, database->db, cacheDir);
    TServerController server(options, dialogs);
    server.setManager(&manager);
    server.setProcessor(&processor);
    TClientThread client([&] { server.ClientDataIn(); }, [&] { server.ClientStateChanged(); },
                         dialogs);
    server.setClient(&client);

    server.miConnectToServerClick();
    TControllableObject *a = manager.FindObject(2001);
    TControllableObject *b = manager.FindObject(2002);
    ASSERT_TRUE(waitUntil(
        [&] { return a->HadOnlineData && b->HadOnlineData && a->track.coords.size() >= 4; }, 15000))
        << "no packets applied";
    EXPECT_EQ(server.FCurrentConnectState, 1);
    EXPECT_TRUE(a->Connected && b->Connected);

    // The rows hold the latest state; the positions lie in the simulator's area.
    for (int n : {2001, 2002}) {
        EXPECT_FALSE(database->isNull(
            QString("SELECT OBJ_PACKTIME FROM OBJECTS WHERE OBJ_NUMBER = %1").arg(n)));
        const double lat =
            database->scalar(QString("SELECT OBJ_LAT FROM OBJECTS WHERE OBJ_NUMBER = %1").arg(n))
                .replace(',', '.')
                .toDouble();
        EXPECT_GT(lat, 55 * 60 + 30) << n;
        EXPECT_LT(lat, 56 * 60) << n;
    }
    // Day files of the registered objects only, with every decoded position in them.
    const QStringList days = QDir(cacheDir + "2001").entryList({"*.dat"}, QDir::Files);
    ASSERT_FALSE(days.isEmpty());
    qint64 records = 0;
    for (const QString &d : days)
        records += QFileInfo(cacheDir + "2001/" + d).size() / 48;
    // One record per time: equal times in the track are kept once in the file.
    QSet<qint64> times;
    for (const TCoordData &c : a->track.coords)
        times.insert(std::llround(c.ts * dt::MsPerDay));
    EXPECT_EQ(records, times.size());
    EXPECT_GE(records, 4);
    EXPECT_FALSE(QDir(cacheDir + "2003").exists());
    // On-line processing keeps no time series, and nothing was rejected.
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "0");
    for (const QString &l : log->takeQueued())
        EXPECT_FALSE(l.contains("Неверн") || l.contains("Невозможно")) << l.toStdString();

    // A relay command from the grid's row arrives in Windows-1251.
    server.SendObjectCommand("2001", 2);
    EXPECT_TRUE(waitUntil(
        [&] { return sim.count("command login=диспетчер object=2001 word=lock") == 1; }, 5000));
    EXPECT_TRUE(dialogs.messages().isEmpty());

    server.DisconnectFromServer();
    EXPECT_TRUE(waitUntil([&] { return client.getState() == 0; }, 3000));
    EXPECT_FALSE(a->Connected);
    client.Terminate();
    InstallOperationsLog(nullptr);
}
