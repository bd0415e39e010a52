// The registry's edits as the session runs them: the database first, then the objects in memory,
// the map items and the web map; and the field-settings import with its reconnection.

#include "app/Cp1251.h"
#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/ParamCatalogue.h"
#include "maps/MapObjManager.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/FuelPart.h"
#include "session/LiveObjects.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/RegistryEdits.h"
#include "session/Runner.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/DeviceData.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class RegistrySessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        QDir().mkpath(f.CoordCacheDir);
        QDir().mkpath(f.ProfileDir);
        options = options::Defaults(f);
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
        log = std::make_shared<TOperationsLog>(tmp.path() + "/log.txt");
        InstallOperationsLog(log);
        for (const char *t : {"OBJ_GRP", "GROUPS", "OBJECTS", "FUEL_POINTS", "INPUTSIGNALS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{A}', 'Депо')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{B}', 'Резерв')");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE, OBJ_LAT, "
                       "OBJ_LNG) VALUES (5, 'Пять', 2, 3000, 2400)");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (6, 'Шесть')");
        // 5 stands in both groups; read last under B, it is attached there.
        for (const char *row : {"(5, '{A}')", "(5, '{B}')", "(6, '{A}')"})
            database->exec(QString("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES %1").arg(row));
        for (const char *row : {"(5, '01.03.2014 10:00:00')", "(5, '01.03.2014 11:00:00')",
                                "(6, '01.03.2014 10:00:00')"})
            database->exec(
                QString("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME) VALUES %1").arg(row));
        session = std::make_unique<TClientSession>(options, dialogs);
        session->database().connectDatabase();
        ASSERT_TRUE(session->database().connected());
        ASSERT_NE(session->registry(), nullptr);
        dialogs.calls.clear();
    }
    void TearDown() override {
        session.reset();
        InstallOperationsLog(nullptr);
    }

    TManager &m() { return *session->registry(); }
    TControllableObject *object(int n) { return m().FindObject(n); }
    static QStringList members(const TGroup *g) {
        QStringList out;
        for (const TControllableObject *o : g->FObjects)
            out << QString::number(o->Number);
        return out;
    }
    static QString scalar(const QString &sql) { return database->scalar(sql); }

    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::shared_ptr<TOperationsLog> log;
    std::unique_ptr<TClientSession> session;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(RegistrySessionTest, AddMirrorsTheObjectAndATakenNumberChangesNothing) {
    EXPECT_EQ(session->registryEdits().groupChoices(),
              (std::vector<std::pair<QString, QString>>{
                  {"нет группы", ""}, {"Депо", "{A}"}, {"Резерв", "{B}"}}));
    TObjectForm f;
    f.number = "9";
    f.name = "Дрезина О'Коннора";
    f.shortName = "Д9";
    f.groupId = "{A}";
    f.tankVolume = "600";
    f.timeZone = "4";
    f.useEngineForPark = true;
    f.fuelConsS = 30;
    f.fuelConsW = 35;
    ASSERT_EQ(session->registryEdits().addRegistryObject(f), TRegistrySave::Saved);
    EXPECT_TRUE(dialogs.calls.empty());
    TControllableObject *o = object(9);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->Name, "Дрезина О'Коннора");
    EXPECT_EQ(o->ShortName, "Д9");
    EXPECT_EQ(o->TankVolume, 600);
    EXPECT_EQ(o->UseEngineForPark, 1);
    EXPECT_EQ(o->TimeZone, 4);
    EXPECT_EQ(o->FuelConsS, 30);
    EXPECT_EQ(o->FuelConsW, 35);
    EXPECT_EQ(o->Group, m().FindGroup("{A}"));
    EXPECT_EQ(members(m().FindGroup("{A}")), (QStringList{"5", "6", "9"}));
    EXPECT_EQ(m().FLMGroup, m().FindGroup("{A}"));
    EXPECT_TRUE(session->map().items().isObjPresent(9));
    EXPECT_TRUE(QDir(CoordCacheDir() + "9").exists());
    EXPECT_EQ(session->registryEdits().objectGroupId(9), "{A}");
    // The state grid takes it when the registry window closes.
    session->registryEdits().registryWindowClosed();
    EXPECT_NE(std::find(m().FDispObjects.begin(), m().FDispObjects.end(), o),
              m().FDispObjects.end());

    f.name = "Другой";
    f.groupId = "{B}";
    EXPECT_EQ(session->registryEdits().addRegistryObject(f), TRegistrySave::Failed);
    EXPECT_EQ(dialogs.messages(), QStringList{"Объект с номером '9' уже существует в базе данных"});
    EXPECT_EQ(m().ObjectsCount(), 3);
    EXPECT_EQ(object(9)->Name, "Дрезина О'Коннора");
    EXPECT_EQ(members(m().FindGroup("{B}")), QStringList{"5"});
}

TEST_F(RegistrySessionTest, OnlyTheTimeZoneChangedAndNoDeletesTheHistoryWithoutReimport) {
    TObjectForm f =
        TObjectForm::fromRecord(*TObjectRegistry(session->database().database(), dialogs).Find(5),
                                session->registryEdits().objectGroupId(5));
    EXPECT_EQ(f.groupId, "{B}");
    f.timeZone = "5";
    int stored = 2;
    dialogs.answers = {mbNo};
    ASSERT_EQ(session->registryEdits().editRegistryObject(f, stored), TRegistrySave::Saved);
    dialogs.expectDone();
    ASSERT_EQ(dialogs.calls.size(), 1u); // the question; no import, no message
    EXPECT_EQ(stored, 5);
    EXPECT_EQ(object(5)->TimeZone, 5);
    EXPECT_EQ(scalar("SELECT LIST(INS_NUMBER) FROM INPUTSIGNALS"), "6");
    // The group choice did not change: both memberships stay, in the database and in memory.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJ_GRP WHERE OG_OBJID = 5"), "2");
    EXPECT_EQ(members(m().FindGroup("{A}")), (QStringList{"5", "6"}));
    EXPECT_EQ(members(m().FindGroup("{B}")), QStringList{"5"});
}

TEST_F(RegistrySessionTest, ATimeZoneChangeAnsweredYesImportsTheDataFilesAgain) {
    // The object's device data file: three records, 12:00 to 12:02 device time.
    QByteArray bytes;
    for (int i = 0; i < 3; ++i) {
        TDeviceRecord r;
        r.time = dt::encode(2026, 12, 10, 12, i, 0);
        r.position = TGeoCoords{3345.0L + i / 100.0L, 2256.0L};
        r.state = QByteArray(9, '\0');
        r.state[1] = char(0x08 + i % 2); // the alarm bit changes: each record is a new state
        bytes += r.toBytes();
    }
    QDir().mkpath(DataDir() + "5");
    QFile file(DataDir() + "5/20261210.dat");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    TObjectForm f =
        TObjectForm::fromRecord(*TObjectRegistry(session->database().database(), dialogs).Find(5),
                                session->registryEdits().objectGroupId(5));
    f.timeZone = "3";
    int stored = 2;
    dialogs.answers = {mbYes};
    QSignalSpy finished(&session->runner(), &TRunner::finished);
    ASSERT_EQ(session->registryEdits().editRegistryObject(f, stored), TRegistrySave::Saved);
    // The import runs through the runner, and the window's events go on meanwhile.
    ASSERT_TRUE(finished.wait(10000));
    // The old history went, the file came back with the new shift: 12:00 device time is 15:00.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 5"), "3");
    EXPECT_EQ(scalar("SELECT EXTRACT(HOUR FROM MIN(INS_PACKTIME)) FROM INPUTSIGNALS "
                     "WHERE INS_NUMBER = 5"),
              "15");
    for (const auto &c : dialogs.calls)
        EXPECT_NE(c.icon, TMsgIcon::Error) << c.text.toStdString();
}

TEST_F(RegistrySessionTest, AChangedGroupMovesTheObjectInMemory) {
    TObjectForm f = TObjectForm::fromRecord(
        *TObjectRegistry(session->database().database(), dialogs).Find(5), "{B}");
    f.name = "Пять'бис";
    f.shortName = "П5";
    f.tankVolume = "75";
    f.groupId.clear();
    int stored = 2;
    ASSERT_EQ(session->registryEdits().editRegistryObject(f, stored), TRegistrySave::Saved);
    EXPECT_EQ(object(5)->Group, nullptr);
    EXPECT_EQ(object(5)->Name, "Пять'бис");
    EXPECT_EQ(object(5)->ShortName, "П5");
    EXPECT_EQ(object(5)->TankVolume, 75);
    EXPECT_EQ(session->map().items().Item(5)->description().Name, "Пять'бис");
    EXPECT_TRUE(members(m().FindGroup("{B}")).isEmpty());
    EXPECT_EQ(members(m().FindGroup("{A}")), (QStringList{"5", "6"}));
    EXPECT_EQ(scalar("SELECT LIST(OG_GRPID) FROM OBJ_GRP WHERE OG_OBJID = 5"), "{A}");

    f.groupId = "{B}";
    ASSERT_EQ(session->registryEdits().editRegistryObject(f, stored), TRegistrySave::Saved);
    EXPECT_EQ(object(5)->Group, m().FindGroup("{B}"));
    EXPECT_EQ(members(m().FindGroup("{B}")), QStringList{"5"});
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(RegistrySessionTest, DeleteLeavesTheHistoryAndRemovesEveryMirror) {
    session->live().selectObject(5, 1);
    ASSERT_EQ(session->map().items().GetActiveObject(), 5);
    dialogs.answers = {mbYes};
    ASSERT_TRUE(session->registryEdits().deleteRegistryObject(5));
    EXPECT_EQ(object(5), nullptr);
    EXPECT_EQ(members(m().FindGroup("{A}")), QStringList{"6"});
    EXPECT_TRUE(members(m().FindGroup("{B}")).isEmpty());
    EXPECT_FALSE(session->map().items().isObjPresent(5));
    EXPECT_EQ(session->map().items().GetActiveObject(), -1);
    EXPECT_TRUE(session->map().items().isObjPresent(6));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJECTS"), "1");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 5"), "2");
    EXPECT_EQ(session->registryEdits().registryList().size(), 1u);
}

TEST_F(RegistrySessionTest, ImportRegistersANewObjectWithItsFuelSettings) {
    const QString file = tmp.path() + "/44.oni";
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(cp1251::encode("[Object]\r\nID=44\r\nName=Кран О'Хара\r\nShortname=К\r\n"
                             "Timezone=3\r\nEnginePark=1\r\n[Fuel]\r\nTankV=320,6\r\n"
                             "FuelW=20,9\r\nFuelS=18.2\r\n"));
    out.close();
    dialogs.files = {{file}};
    ASSERT_EQ(session->registryEdits().importRegistryObject(), std::optional<int>(44));
    EXPECT_EQ(dialogs.messages(), QStringList{"Импорт данных объекта №44 завершен"});
    TControllableObject *o = object(44);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->Name, "Кран О'Хара");
    EXPECT_EQ(o->ShortName, "К");
    EXPECT_EQ(o->Group, nullptr);
    EXPECT_EQ(o->TimeZone, 3);
    EXPECT_EQ(o->TankVolume, 320); // fractions rounded down
    EXPECT_EQ(o->FuelConsW, 20);
    EXPECT_EQ(o->FuelConsS, 18);
    EXPECT_EQ(o->UseEngineForPark, 1);
    EXPECT_TRUE(session->map().items().isObjPresent(44));
    EXPECT_TRUE(QDir(CoordCacheDir() + "44").exists());

    // Again, replacing: the same object in memory takes the new values.
    dialogs.files = {{file}};
    dialogs.answers = {mbYes};
    ASSERT_EQ(session->registryEdits().importRegistryObject(), std::optional<int>(44));
    EXPECT_EQ(object(44), o);
    EXPECT_EQ(m().ObjectsCount(), 3);
}

TEST_F(RegistrySessionTest, FieldSettingsImportReconnectsAndABadFileChangesNothing) {
    const QString fcg = tmp.path() + "/fields.fcg";
    dialogs.files = {{fcg}};
    session->maintenance().exportFieldSettings();
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Настройки успешно экспортированны из базы данных во внешний файл"});
    const QString params = scalar("SELECT COUNT(*) FROM PARAMS");

    QSignalSpy registries(session.get(), &TClientSession::registryChanged);
    dialogs.calls.clear();
    dialogs.files = {{fcg}};
    session->maintenance().importFieldSettings();
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Настройки успешно загруженны из файла в базу данных"});
    EXPECT_TRUE(session->database().connected());
    EXPECT_GE(registries.count(), 1); // a new registry for the new connection
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM PARAMS"), params);

    QFile bad(tmp.path() + "/bad.fcg");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("~PARAMS\r\n");
    bad.close();
    registries.clear();
    dialogs.calls.clear();
    dialogs.files = {{bad.fileName()}};
    session->maintenance().importFieldSettings();
    ASSERT_EQ(dialogs.calls.size(), 2u); // the file dialog, then the refusal
    EXPECT_EQ(dialogs.calls[1].caption, "Импорт настроек");
    EXPECT_EQ(registries.count(), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM PARAMS"), params);
}

// Texts a user types or a file carries are stored as they are: place markers of a message
// ("%1", "%2"), a lone "%", "%%" and an apostrophe, through the object form, an ".oni" file,
// a group's and a parameter's name and a field-settings file.
TEST_F(RegistrySessionTest, TextsWithPlaceMarkersAndApostrophesAreKeptAsTyped) {
    const QStringList texts = {"Кран %1 и %2", "К%2", "100% дизель", "%%", "О'Брайен %1%"};
    int number = 70;
    for (const QString &t : texts) {
        SCOPED_TRACE(t.toStdString());
        const QString n = QString::number(number);
        // The object form: a new object, then its edit.
        TObjectForm f;
        f.number = n;
        f.name = t;
        f.shortName = t.left(10);
        f.groupId = "{A}";
        ASSERT_EQ(session->registryEdits().addRegistryObject(f), TRegistrySave::Saved)
            << dialogs.messages().join("\n").toStdString();
        EXPECT_EQ(scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = " + n), t);
        EXPECT_EQ(scalar("SELECT OBJ_SHORTNAME FROM OBJECTS WHERE OBJ_NUMBER = " + n), t.left(10));
        EXPECT_EQ(object(number)->Name, t);
        f.name = t + " (2)";
        int zone = 0;
        ASSERT_EQ(session->registryEdits().editRegistryObject(f, zone), TRegistrySave::Saved);
        EXPECT_EQ(scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = " + n), t + " (2)");
        EXPECT_EQ(object(number)->Name, t + " (2)");

        // An object-settings file of another object.
        const QString oni = tmp.path() + "/" + n + ".oni";
        {
            QFile file(oni);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(cp1251::encode("[Object]\r\nID=" + QString::number(number + 100) +
                                      "\r\nName=" + t + "\r\nShortname=" + t + "\r\nDesc=" + t +
                                      "\r\n"));
        }
        ASSERT_EQ(session->registryEdits().importObject(oni), std::optional<int>(number + 100));
        const QString other = QString::number(number + 100);
        EXPECT_EQ(scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = " + other), t);
        EXPECT_EQ(scalar("SELECT OBJ_DESC FROM OBJECTS WHERE OBJ_NUMBER = " + other), t);
        EXPECT_EQ(object(number + 100)->ShortName, t);

        // A group's new name, and a parameter's caption.
        TGroup *g = m().FindGroup("{B}");
        m().NodeEdited(g->FNode, t);
        EXPECT_EQ(scalar("SELECT GRP_NAME FROM GROUPS WHERE GRP_ID = '{B}'"), t);
        TParamGroupsEditor editor(session->database().database());
        const QString param = scalar("SELECT FIRST 1 PRM_NAME FROM PARAMS ORDER BY PRM_NAME");
        editor.SetParamCaption(param, t, 1);
        EXPECT_EQ(scalar("SELECT PRM_CAPTION FROM PARAMS WHERE PRM_NAME = '" + param + "'"), t);
        ++number;
    }

    // The catalogue through a field-settings file: every caption read back equal.
    const QString fcg = tmp.path() + "/marks.fcg";
    session->maintenance().exportFields(fcg);
    database->exec("UPDATE PARAMS SET PRM_CAPTION = 'другое'");
    ASSERT_TRUE(session->maintenance().importFields(fcg).has_value());
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM PARAMS WHERE PRM_CAPTION = 'О''Брайен %1%'"), "1");
    for (const auto &c : dialogs.calls)
        EXPECT_NE(c.icon, TMsgIcon::Error) << c.text.toStdString();
}
