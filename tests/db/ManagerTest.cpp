#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/StatisticsPurge.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        for (const char *t : {"OBJ_GRP", "GROUPS", "OBJECTS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        // Objects 1..12; groups: A {1, 5} with subgroups A1 {3} and A2 {2}; B {4, 1};
        // an orphan whose master does not exist.
        for (int n = 1; n <= 12; ++n)
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, "
                                   "OBJ_VERSION, OBJ_TANKVOLUME) VALUES (%1, 'Тепловоз %1', "
                                   "'T%1', 1, 400)")
                               .arg(n));
        group("{A}", "", "A");
        group("{B}", "", "B");
        group("{A1}", "{A}", "A1");
        group("{A2}", "{A}", "A2");
        group("{ORPHAN}", "{NOBODY}", "Сирота");
        member(5, "{A}");
        member(1, "{A}");
        member(3, "{A1}");
        member(2, "{A2}");
        member(4, "{B}");
        member(1, "{B}");
        member(99, "{B}");      // no such object
        member(6, "{MISSING}"); // no such group
    }

    static void group(const char *id, const char *master, const char *name) {
        database->exec(QString("INSERT INTO GROUPS (GRP_ID, GRP_MASTERID, GRP_NAME) VALUES "
                               "('%1', %2, '%3')")
                           .arg(id, *master ? QString("'%1'").arg(master) : QString("NULL"), name));
    }
    static void member(int obj, const char *grp) {
        database->exec(QString("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (%1, '%2')")
                           .arg(obj)
                           .arg(grp));
    }

    std::unique_ptr<TManager> make() {
        return std::make_unique<TManager>(database->settings, dialogs, cache.path() + "/");
    }
    static QStringList numbers(const std::vector<TControllableObject *> &v) {
        QStringList out;
        for (auto *o : v)
            out << QString::number(o->Number);
        return out;
    }
    static QStringList tree(const TTreeNode &n, int depth = 0) {
        QStringList out{QString(depth * 2, ' ') + n.text};
        for (const auto &c : n.children)
            out << tree(*c, depth + 1);
        return out;
    }

    TScriptedDialogs dialogs;
    QTemporaryDir cache;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST(ManagerTracks, PacketPositionsAppendWithoutCopyingTheDayEachTime) {
    // A day of packets, one position each: the open day file's array grows geometrically, so
    // its records move a few dozen times, not once a packet.
    TControllableObject obj;
    TTrackFile file;
    int moves = 0;
    const TCoordData *where = file.coords.data();
    for (int i = 0; i < 86400; ++i) {
        obj.CCoords.assign(1, TCoordStamp{TGeoCoords{3345.1, 2256.1}, 46000 + i / 86400.0});
        TManager::ObjCoordsToCoordsTable(&obj, &file);
        if (file.coords.data() != where) {
            where = file.coords.data();
            ++moves;
        }
    }
    EXPECT_EQ(file.coords.size(), 86400);
    EXPECT_DOUBLE_EQ(double(file.coords.back().ts), 46000 + 86399 / 86400.0);
    EXPECT_LT(moves, 64);
}

TEST_F(ManagerTest, TreePickListAndDisplayFilter) {
    auto m = make();
    ASSERT_TRUE(m->isConnected());
    EXPECT_EQ(m->ObjectsCount(), 12);
    EXPECT_EQ(m->GroupsCount(), 5);
    EXPECT_TRUE(QDir(cache.path() + "/7").exists()); // every object gets its track folder

    EXPECT_EQ(tree(m->root()), (QStringList{"Группы", "  A", "    A1", "      3 {Тепловоз 3}",
                                            "    A2", "      2 {Тепловоз 2}", "    5 {Тепловоз 5}",
                                            "  B", "    1 {Тепловоз 1}", "    4 {Тепловоз 4}"}));
    // Object 1 stands in A and B; its node hangs under the group read last.
    QStringList picks;
    for (const auto &e : m->FViewList())
        picks << e.text;
    EXPECT_EQ(picks, (QStringList{"Все объекты", "Отмеченные группы", "Все группы", "A", "A~A1",
                                  "A~A2", "B"}));
    EXPECT_EQ(m->viewIndex(), 0);
    EXPECT_EQ(numbers(m->FDispObjects).size(), 12);

    m->selectView(3); // A: its own members and those of its subgroups, sorted
    EXPECT_EQ(numbers(m->FDispObjects), (QStringList{"1", "2", "3", "5"}));
    m->selectView(2); // every group's members; object 1 twice
    EXPECT_EQ(numbers(m->FDispObjects), (QStringList{"1", "1", "2", "3", "4", "5"}));
    m->selectView(1);
    EXPECT_TRUE(m->FDispObjects.empty());
    m->MarkGroyp(m->FindGroup("{B}")->FNode);
    EXPECT_EQ(m->FindGroup("{B}")->FNode->stateImage, 4);
    EXPECT_EQ(numbers(m->FDispObjects), (QStringList{"1", "4"}));
    m->DeMarkGroyp(m->FindGroup("{B}")->FNode);
    EXPECT_TRUE(m->FDispObjects.empty());

    for (int n : {2, 5, 9})
        m->FindObject(n)->Connected = true;
    EXPECT_EQ(m->AllObjConnectObjRatio(), "12 / 3");
}

TEST_F(ManagerTest, GroupCommandsReachTheDatabase) {
    auto m = make();
    m->setSelectedNode(&m->root());
    m->AddNewGroup(); // two top-level groups exist
    TGroup *g = m->FLMGroup;
    ASSERT_TRUE(g);
    EXPECT_EQ(g->FName, "Новая группа 3");
    EXPECT_TRUE(g->FMasterID.isEmpty());
    EXPECT_EQ(
        database->scalar(QString("SELECT GRP_NAME FROM GROUPS WHERE GRP_ID = '%1'").arg(g->FID)),
        "Новая группа 3");
    EXPECT_TRUE(database->isNull(
        QString("SELECT GRP_MASTERID FROM GROUPS WHERE GRP_ID = '%1'").arg(g->FID)));

    // A name with an apostrophe is stored as typed.
    m->NodeEdited(g->FNode, "Депо О'Брайена");
    EXPECT_EQ(
        database->scalar(QString("SELECT GRP_NAME FROM GROUPS WHERE GRP_ID = '%1'").arg(g->FID)),
        "Депо О'Брайена");

    m->setSelectedNode(m->FindGroup("{A}")->FNode);
    m->AddNewGroup(); // A has two subgroups and one object node
    EXPECT_EQ(m->FLMGroup->FName, "Новая группа 4");
    EXPECT_EQ(m->FLMGroup->FMasterID, "{A}");

    // Deleting A takes its subgroups, leaves the memberships and detaches the members.
    m->DeleteGroup(m->FindGroup("{A}")->FNode);
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM GROUPS"), "3"); // B, orphan, the new one
    EXPECT_EQ(
        database->scalar("SELECT COUNT(*) FROM OBJ_GRP WHERE OG_GRPID IN ('{A}','{A1}','{A2}')"),
        "4");
    EXPECT_EQ(m->FindObject(3)->Group, nullptr);
    EXPECT_EQ(m->FindObject(5)->Group, nullptr);
    EXPECT_FALSE(m->FindGroup("{A1}"));

    // Membership is written in one go.
    TGroup *b = m->FindGroup("{B}");
    b->FObjects = {m->FindObject(7), m->FindObject(8)};
    m->SyncDBObjGrpWithList(b);
    EXPECT_EQ(database->scalar("SELECT LIST(OG_OBJID) FROM (SELECT OG_OBJID FROM OBJ_GRP WHERE "
                               "OG_GRPID = '{B}' ORDER BY OG_OBJID)"),
              "7,8");
}

TEST_F(ManagerTest, GridColumnsWidthsAndCells) {
    database->exec("UPDATE PARAMS SET PRM_CAPTION = 'Дата;время' WHERE PRM_NAME = 'дата\\время'");
    database->exec(
        "UPDATE PARAMS SET PRM_SOST_GRID_COL_WIDTH = 123 WHERE PRM_NAME = 'дата\\время'");
    auto m = make();
    m->RestructSostGridFields();
    const QStringList headers = m->gridHeaders();
    ASSERT_GE(headers.size(), 5);
    EXPECT_EQ(headers[0], "№");
    const int dateCol = static_cast<int>(headers.indexOf("Дата время"));
    ASSERT_GT(dateCol, 0) << headers.join('|').toStdString();
    EXPECT_EQ(m->gridWidths()[static_cast<size_t>(dateCol)], 123);
    m->setGridWidth(dateCol, 77);
    m->SaveSostGridColWidth(); // matched by the full caption, ";" included
    EXPECT_EQ(database->scalar("SELECT PRM_SOST_GRID_COL_WIDTH FROM PARAMS WHERE PRM_NAME = "
                               "'дата\\время'"),
              "77");
    EXPECT_EQ(m->SostGridCell(0, dateCol).text, "Дата время");

    auto column = [&](const QString &paramName) {
        for (size_t i = 0; i < m->ParamsList.size(); ++i)
            if (m->ParamsList[i].name == paramName)
                return static_cast<int>(i) + 1;
        return -1;
    };
    TControllableObject *o = m->FDispObjects[0]; // object 1
    struct Case {
        const char *param;
        std::function<void(TControllableObject &)> set;
        QString text;
        int icon;
    } cases[] = {
        {"подключение", [](auto &x) { x.Connected = true; }, "", 1},
        {"подключение", [](auto &x) { x.Connected = false; }, "", 0},
        {"тревожная кнопка", [](auto &x) { x.AlertBtn = 1; }, "", 2},
        {"тревожная кнопка", [](auto &x) { x.Version = 0; }, "", 3},
        {"режим предупреждения", [](auto &x) { x.KungTrailer = 1; }, "", 0},
        {"режим предупреждения", [](auto &x) { x.KungTrailer = 0; }, "", 2},
        {"отказ автомата защиты 65 вольт", [](auto &x) { x.V24Gen = 1; }, "", 1},
        {"время горения котла 1", [](auto &x) { x.BoardVoltage = 21638; }, "21,64", -1},
        {"время горения котла 1", [](auto &x) { x.Version = 0; }, "не поддерживается", -1},
        {"датчик уровня топлива мв", [](auto &x) { x.FuelLevel = 512; }, "512", -1},
        {"время горения котла 2", [](auto &x) { x.FuelLevelL = 123.456L; }, "123,46", -1},
        {"текущая скорость", [](auto &x) { x.Speed = -1; }, "0,00", -1},
        {"текущая скорость", [](auto &x) { x.Speed = 61.237L; }, "61,24", -1},
        {"широта", [](auto &x) { x.LastTextLat = 0; }, "----", -1},
        {"широта",
         [](auto &x) {
             x.LastTextLat = 3345.1234L;
             x.LastTextLng = 2256.25L;
         },
         "55,752056", -1},
        {"долгота",
         [](auto &x) {
             x.LastTextLat = 3345.1234L;
             x.LastTextLng = 2256.25L;
         },
         "37,604167", -1},
        {"метка", [](auto &) {}, "T1", -1},
        {"наименование объекта", [](auto &) {}, "Тепловоз 1", -1},
    };
    for (const Case &c : cases) {
        const int col = column(QString::fromUtf8(c.param));
        if (col < 0) {
            ADD_FAILURE() << "no column for " << c.param;
            continue;
        }
        o->Version = 1;
        c.set(*o);
        const TSostCell cell = m->SostGridCell(1, col);
        EXPECT_EQ(cell.text, c.text) << c.param;
        EXPECT_EQ(cell.icon, c.icon) << c.param;
    }
    EXPECT_EQ(m->SostGridCell(1, 0).text, "1");

    o->Version = 1;
    o->BoardVoltage = 24500;
    o->FuelLevelL = 200;
    const TGaugeValues g = m->gaugesFor(1);
    EXPECT_DOUBLE_EQ(g.voltage, 24.5);
    EXPECT_DOUBLE_EQ(g.fuel, 200);
    EXPECT_EQ(g.scale, 400);
    EXPECT_EQ(g.upperMark, 300);
    EXPECT_EQ(g.lowerMark, 100);
}

TEST_F(ManagerTest, RecordingState) {
    auto m = make();
    TControllableObject *o = m->FindObject(4);
    o->PackTime.reset();
    o->Temperature = 21.456;
    o->Lat = 3345.1234L;
    o->FuelLevelL = 10.005L;
    o->TS = dt::encode(2026, 12, 10, 8, 0, 0, 250);
    {
        db::TTransaction tr(database->db, db::TTransactionKind::Write);
        tr.start();
        m->ObjSostToDB(4, tr);
        m->ObjSostToDB(404, tr); // unknown: nothing, no error
        tr.commit();
    }
    EXPECT_TRUE(database->isNull("SELECT OBJ_PACKTIME FROM OBJECTS WHERE OBJ_NUMBER = 4"));
    EXPECT_EQ(database->scalar("SELECT CAST(OBJ_TEMPERATURE AS NUMERIC(9,3)) FROM OBJECTS WHERE "
                               "OBJ_NUMBER = 4"),
              "21,46");
    EXPECT_EQ(database->scalar("SELECT CAST(OBJ_LAT AS NUMERIC(9,3)) FROM OBJECTS WHERE "
                               "OBJ_NUMBER = 4"),
              "3345,12");
    EXPECT_EQ(database->scalar("SELECT EXTRACT(MILLISECOND FROM OBJ_TS) FROM OBJECTS WHERE "
                               "OBJ_NUMBER = 4"),
              "250");

    // Two states with one packet time leave one row holding the later values.
    o->PackTime = dt::encode(2026, 12, 10, 8, 0, 0);
    {
        db::TTransaction tr(database->db, db::TTransactionKind::Write);
        tr.start();
        o->FuelLevel = 100;
        m->ObjSostToInputSignalTable(o, tr);
        o->FuelLevel = 200;
        m->ObjSostToInputSignalTable(4, tr);
        tr.commit();
    }
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 4"), "1");
    EXPECT_EQ(database->scalar("SELECT INS_FUELLEVEL FROM INPUTSIGNALS WHERE INS_NUMBER = 4"),
              "200");
    EXPECT_TRUE(database->isNull("SELECT INS_PCTIME FROM INPUTSIGNALS WHERE INS_NUMBER = 4"));
}

TEST_F(ManagerTest, StatisticsPurgeUpToAndIncludingTheMoment) {
    database->exec("DELETE FROM INPUTSIGNALS");
    database->exec("DELETE FROM COORDINATS");
    for (int n : {4, 5, 404}) // 404 is not registered
        for (const char *t : {"10.12.2026 10:00:00", "10.12.2026 11:00:00"}) {
            database->exec(QString("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME) VALUES "
                                   "(%1, '%2')")
                               .arg(n)
                               .arg(t));
            database->exec(
                QString("INSERT INTO COORDINATS (ID, TS_PACKET) VALUES (%1, '%2')").arg(n).arg(t));
        }
    const TDateTime ten = dt::encode(2026, 12, 10, 10, 0, 0);
    PurgeStatistics(database->db, 4, ten); // equal time: deleted
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 4"), "1");
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM COORDINATS WHERE ID = 4"), "1");
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "5");
    PurgeStatistics(database->db, std::nullopt, ten + 1.0 / 24);
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "0");
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM COORDINATS"), "0");
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM OBJECTS"), "12");
}
