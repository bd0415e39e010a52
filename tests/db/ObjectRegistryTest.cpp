// The registry's edits and its object-settings files on the real server.

#include "db/ObjectRegistry.h"
#include "app/Cp1251.h"
#include "app/FormatSettings.h"
#include "app/IniFile.h"
#include "common/ScriptedDialogs.h"
#include "db/OnlineDb.h"

#include <QFile>
#include <QTemporaryDir>

#include <vector>

#include <gtest/gtest.h>

namespace {

class ObjectRegistryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        TFormatSettings::setCurrent(TFormatSettings::russian());
        for (const char *t :
             {"OBJ_GRP", "GROUPS", "OBJECTS", "FUEL_POINTS", "INPUTSIGNALS", "DRAIN_RULES"})
            database->exec(QString("DELETE FROM %1").arg(t));
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{A}', 'Депо')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{B}', 'Резерв')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{C}', 'Ремонт')");
    }

    QString file(const QString &name) const { return dir.path() + "/" + name; }
    void writeOni(const QString &name, const QString &text) {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(cp1251::encode(text));
    }
    static QString scalar(const QString &sql) { return database->scalar(sql); }

    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

TObjectForm form(const QString &number, const QString &name) {
    TObjectForm f;
    f.number = number;
    f.name = name;
    return f;
}

} // namespace

TEST_F(ObjectRegistryTest, AddWritesEveryFieldAndTheGroupRow) {
    TObjectRegistry reg(database->db, dialogs);
    TObjectForm f = form(" 7", "Тепловоз О'Брайен");
    f.shortName = "Т'7";
    f.groupId = "{A}";
    f.timeZone = "3";
    f.useEngineForPark = true;
    f.tankVolume = "900";
    f.fuelDepType = 1;
    f.fuelConsW = 120;
    f.fuelConsS = 100;
    f.tankSensor = true;
    f.engineSensor = false;
    f.sensorDelta = 250;
    const TRegistryEdit e = reg.Add(f);
    ASSERT_EQ(e.result, TRegistrySave::Saved) << dialogs.messages().join("|").toStdString();
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_EQ(scalar("SELECT OBJ_NAME || '|' || OBJ_SHORTNAME || '|' || OBJ_TANKVOLUME || '|' || "
                     "OBJ_FUELCONSW || '|' || OBJ_FUELCONSS || '|' || OBJ_TIMEZONE || '|' || "
                     "OBJ_USEENGINEFORPARK || '|' || OBJ_FUELDEPTYPE || '|' || "
                     "OBJ_FUELSENSORDELTA || '|' || OBJ_FUELUSETANKSENSOR || '|' || "
                     "OBJ_FUELUSEENGINE FROM OBJECTS WHERE OBJ_NUMBER = 7"),
              "Тепловоз О'Брайен|Т'7|900.00|120.00|100.00|3|1|1|250|1|0");
    EXPECT_EQ(scalar("SELECT LIST(OG_GRPID) FROM OBJ_GRP WHERE OG_OBJID = 7"), "{A}");

    // The list shows it; the form of the stored row gives the same values back.
    const std::vector<TObjectRecord> rows = reg.LoadList();
    ASSERT_EQ(rows.size(), 1u);
    const TObjectForm back = TObjectForm::fromRecord(rows[0], "{A}");
    EXPECT_EQ(back.name, f.name);
    EXPECT_EQ(back.tankVolume, "900");
    EXPECT_EQ(back.timeZone, "3");
    EXPECT_TRUE(back.useEngineForPark && back.tankSensor && !back.engineSensor);
    EXPECT_EQ(back.fuelDepType, 1);
    EXPECT_EQ(back.sensorDelta, 250);
}

TEST_F(ObjectRegistryTest, AddRefusalsSayWhyAndWriteNothing) {
    TObjectRegistry reg(database->db, dialogs);
    ASSERT_EQ(reg.Add(form("7", "Первый")).result, TRegistrySave::Saved);

    const struct {
        QString number, tank;
        TRegistrySave result;
        QString text, caption;
        TMsgIcon icon;
    } cases[] = {
        {"7а", "0", TRegistrySave::BadNumber, "В поле \"номер объекта\" не числовое значение",
         "Зарнекс-Клиент-Авто", TMsgIcon::Warning},
        {"7", "0", TRegistrySave::Failed, "Объект с номером '7' уже существует в базе данных",
         "Добавление объекта", TMsgIcon::Error},
        {"8", "много", TRegistrySave::Failed,
         "Во время сохранения данных произошла ошибка: \r\n'много' is not a valid integer value",
         "Добавление объекта", TMsgIcon::Error},
    };
    for (const auto &c : cases) {
        dialogs.calls.clear();
        TObjectForm f = form(c.number, "Второй");
        f.tankVolume = c.tank;
        f.groupId = "{B}";
        EXPECT_EQ(reg.Add(f).result, c.result) << c.number.toStdString();
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, c.text);
        EXPECT_EQ(dialogs.calls[0].caption, c.caption);
        EXPECT_EQ(dialogs.calls[0].icon, c.icon);
    }
    EXPECT_EQ(scalar("SELECT LIST(OBJ_NAME) FROM OBJECTS"), "Первый");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJ_GRP"), "0");
}

TEST_F(ObjectRegistryTest, EditTouchesOnlyThisObjectsRowOfTheOldGroup) {
    TObjectRegistry reg(database->db, dialogs);
    database->exec(
        "INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE) VALUES (5, 'Пять', 2)");
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (6, 'Шесть')");
    for (const char *row : {"(5, '{A}')", "(5, '{B}')", "(6, '{A}')"})
        database->exec(QString("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES %1").arg(row));
    const auto members = [] {
        return scalar("SELECT LIST(M) FROM (SELECT OG_OBJID || OG_GRPID AS M FROM OBJ_GRP ORDER "
                      "BY 1)");
    };

    // The same group: OBJ_GRP is left alone.
    TObjectForm f = TObjectForm::fromRecord(*reg.Find(5), "{B}");
    f.name = "Пять'бис";
    TRegistryEdit e = reg.Edit(f, 2, "{B}");
    ASSERT_EQ(e.result, TRegistrySave::Saved);
    EXPECT_FALSE(e.groupChanged || e.deleteHistory);
    EXPECT_EQ(members(), "5{A},5{B},6{A}");
    EXPECT_EQ(scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = 5"), "Пять'бис");

    // B to C: only 5's row of B goes; its row of A and 6's rows stay.
    f.groupId = "{C}";
    e = reg.Edit(f, 2, "{B}");
    ASSERT_EQ(e.result, TRegistrySave::Saved);
    EXPECT_TRUE(e.groupChanged);
    EXPECT_EQ(members(), "5{A},5{C},6{A}");

    // To a group it already stands in, then to none.
    f.groupId = "{A}";
    ASSERT_EQ(reg.Edit(f, 2, "{C}").result, TRegistrySave::Saved);
    EXPECT_EQ(members(), "5{A},6{A}");
    f.groupId.clear();
    ASSERT_EQ(reg.Edit(f, 2, "{A}").result, TRegistrySave::Saved);
    EXPECT_EQ(members(), "6{A}");
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(ObjectRegistryTest, TheTimeZoneQuestionDecidesHistoryAndReimport) {
    TObjectRegistry reg(database->db, dialogs);
    database->exec(
        "INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE) VALUES (5, 'Пять', 2)");
    const TObjectForm stored = TObjectForm::fromRecord(*reg.Find(5), QString());
    const QString question = "Изменено поле \"Часовой пояс\". Данные по объекту будут удалены. "
                             "Выполнить повторный импорт данных?";
    const struct {
        QString zone;
        TMsgButton answer; // mbNone: no question expected
        TRegistrySave result;
        bool deleteHistory, reimport;
        QString storedZone;
    } cases[] = {
        {"2", mbNone, TRegistrySave::Saved, false, false, "2"},
        {"4", mbCancel, TRegistrySave::Cancelled, false, false, "2"},
        {"4", mbNo, TRegistrySave::Saved, true, false, "4"},
        {"3", mbYes, TRegistrySave::Saved, true, true, "3"},
        // A zone that is no number counts as 0 for the question; saving it then fails.
        {"три", mbNo, TRegistrySave::Failed, false, false, "3"},
    };
    int zone = 2;
    for (const auto &c : cases) {
        dialogs.calls.clear();
        if (c.answer != mbNone)
            dialogs.answers.push_back(c.answer);
        TObjectForm f = stored;
        f.timeZone = c.zone;
        const TRegistryEdit e = reg.Edit(f, zone, QString());
        EXPECT_EQ(e.result, c.result) << c.zone.toStdString();
        EXPECT_EQ(e.deleteHistory, c.deleteHistory) << c.zone.toStdString();
        EXPECT_EQ(e.reimport, c.reimport) << c.zone.toStdString();
        if (c.answer != mbNone) {
            ASSERT_FALSE(dialogs.calls.empty());
            EXPECT_EQ(dialogs.calls[0].kind, "question");
            EXPECT_EQ(dialogs.calls[0].text, question);
            EXPECT_EQ(dialogs.calls[0].buttons, mbYes | mbNo | mbCancel);
        }
        EXPECT_EQ(scalar("SELECT OBJ_TIMEZONE FROM OBJECTS WHERE OBJ_NUMBER = 5"), c.storedZone);
        if (e.result == TRegistrySave::Saved)
            zone = e.record.timeZone;
    }
    dialogs.expectDone();
}

TEST_F(ObjectRegistryTest, DeleteKeepsTheHistoryAndDeleteHistoryKeepsOtherObjects) {
    TObjectRegistry reg(database->db, dialogs);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (5, 'Пять')");
    database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (5, '{A}')");
    for (const char *row :
         {"(5, '01.03.2014 10:00:00')", "(5, '01.03.2014 11:00:00')", "(6, '01.03.2014 10:00:00')"})
        database->exec(
            QString("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME) VALUES %1").arg(row));

    dialogs.answers = {mbNo};
    EXPECT_FALSE(reg.Delete(5));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "Вы уверены что хотите удалить объект №5 ?");
    EXPECT_EQ(dialogs.calls[0].caption, "Удаление объекта");
    EXPECT_EQ(dialogs.calls[0].buttons, mbYes | mbNo);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJECTS"), "1");

    dialogs.answers = {mbYes};
    EXPECT_TRUE(reg.Delete(5));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJECTS"), "0");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJ_GRP"), "0");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "3");

    EXPECT_TRUE(reg.DeleteHistory(5));
    EXPECT_EQ(scalar("SELECT LIST(INS_NUMBER) FROM INPUTSIGNALS"), "6");
}

TEST_F(ObjectRegistryTest, ExportWritesEveryKeyAndKeepsTheRestOfTheFile) {
    TObjectRegistry reg(database->db, dialogs);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_DESC, OBJ_SHORTNAME, "
                   "OBJ_TIMEZONE, OBJ_USEENGINEFORPARK, OBJ_FUELDEPTYPE, OBJ_TANKVOLUME, "
                   "OBJ_FUELCONSW, OBJ_FUELCONSS, OBJ_FUELSENSORDELTA, OBJ_FUELUSETANKSENSOR, "
                   "OBJ_FUELUSEENGINE) VALUES (12, 'Дюжина', 'Опис', 'Д', -2, 1, 1, 812.5, 31.25, "
                   "27, 150, 1, 0)");
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (13, 'Без точек')");
    for (const char *p : {"(12, 900, 10.5, 1)", "(12, 100, 0, 0)", "(12, 500, 250, 1)"})
        database->exec(
            QString("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES %1").arg(p));
    // An existing file: its foreign keys stay, its old calibration goes.
    writeOni("12.oni", "[Extra]\r\nKeep=1\r\n[Calibration]\r\nValue_max=7\r\nSensor_ADC_5=1\r\n");
    reg.Export(*reg.Find(12), file("12.oni"));
    reg.Export(*reg.Find(13), file("13.oni"));

    TIniFile ini(file("12.oni"));
    ASSERT_TRUE(ini.load());
    const auto v = [&ini](const char *s, const char *k) {
        return ini.readString(s, k, "<missing>");
    };
    EXPECT_EQ(v("Extra", "Keep"), "1");
    EXPECT_EQ(v("Object", "ID"), "12");
    EXPECT_EQ(v("Object", "Name"), "Дюжина");
    EXPECT_EQ(v("Object", "Desc"), "Опис");
    EXPECT_EQ(v("Object", "Shortname"), "Д");
    EXPECT_EQ(v("Object", "Timezone"), "-2");
    EXPECT_EQ(v("Object", "EnginePark"), "1");
    EXPECT_EQ(v("Fuel", "DepType"), "1");
    EXPECT_EQ(v("Fuel", "TankV"), "812,5");
    EXPECT_EQ(v("Fuel", "FuelW"), "31,25");
    EXPECT_EQ(v("Fuel", "FuelS"), "27");
    EXPECT_EQ(v("Fuel", "ChargeDelta"), "150");
    EXPECT_EQ(v("Fuel", "TankCharge"), "1");
    EXPECT_EQ(v("Fuel", "EngineCharge"), "0");
    EXPECT_EQ(ini.keys("Calibration"),
              (QStringList{"Sensor_ADC_0", "Value_0", "Fixed_0", "Sensor_ADC_1", "Value_1",
                           "Fixed_1", "Sensor_ADC_2", "Value_2", "Fixed_2", "Count"}));
    EXPECT_EQ(v("Calibration", "Sensor_ADC_1") + v("Calibration", "Value_1") +
                  v("Calibration", "Fixed_1"),
              "5002501");
    EXPECT_EQ(v("Calibration", "Value_2"), "10,5");
    EXPECT_EQ(v("Calibration", "Count"), "3");

    TIniFile none(file("13.oni"));
    ASSERT_TRUE(none.load());
    EXPECT_EQ(none.keys("Calibration"), QStringList{"Count"});
    EXPECT_EQ(none.readString("Calibration", "Count", ""), "0");
}

// An object's own drain rule: saved with the form (0 takes the general default and stores no
// value), carried by the object file in a section of its own, and read from a file without
// the section (an older program's) as the defaults: the stored rule, or none for a new object.
TEST_F(ObjectRegistryTest, TheDrainRuleTravelsWithTheObjectAndOlderFilesKeepTheDefault) {
    TObjectRegistry reg(database->db, dialogs);
    TObjectForm f = form("40", "Кран");
    f.drainLitres = 35;
    f.drainMedian = 7;
    ASSERT_EQ(reg.Add(f).result, TRegistrySave::Saved);
    EXPECT_EQ(scalar("SELECT CAST(DR_LITRES AS INTEGER) || '|' || COALESCE(DR_WINDOW, '-') || "
                     "'|' || DR_MEDIAN FROM DRAIN_RULES WHERE DR_OBJECT = 40"),
              "35|-|7");
    const TObjectRecord r = *reg.Find(40);
    EXPECT_EQ(r.drains, (TObjectDrainRule{35.0, std::nullopt, 7}));
    EXPECT_EQ(TObjectForm::fromRecord(r, {}).drainWindow, 0);

    reg.Export(r, file("40.oni"));
    TIniFile ini(file("40.oni"));
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.keys("Drains"), (QStringList{"Litres", "Median"}));
    EXPECT_EQ(ini.readString("Drains", "Litres", ""), "35");

    // The file's rule replaces the stored one; a file without the section keeps it.
    writeOni("41.oni", "[Object]\r\nID=40\r\n[Drains]\r\nLitres=22,5\r\nWindow=15\r\n");
    writeOni("old.oni", "[Object]\r\nID=40\r\nName=Кран КС\r\n");
    dialogs.answers = {mbYes, mbYes};
    ASSERT_TRUE(reg.Import(file("41.oni")));
    EXPECT_EQ(reg.Find(40)->drains, (TObjectDrainRule{22.5, 15, 7}));
    ASSERT_TRUE(reg.Import(file("old.oni")));
    EXPECT_EQ(reg.Find(40)->drains, (TObjectDrainRule{22.5, 15, 7}));
    writeOni("new.oni", "[Object]\r\nID=42\r\n");
    ASSERT_TRUE(reg.Import(file("new.oni")));
    EXPECT_TRUE(reg.Find(42)->drains.empty());

    // Back to the general rule: the row goes; deleting the object takes its rule too.
    TObjectForm back = TObjectForm::fromRecord(*reg.Find(40), {});
    back.drainLitres = back.drainWindow = back.drainMedian = 0;
    ASSERT_EQ(reg.Edit(back, 0, {}).result, TRegistrySave::Saved);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM DRAIN_RULES"), "0");
    f.number = "43";
    ASSERT_EQ(reg.Add(f).result, TRegistrySave::Saved);
    dialogs.answers = {mbYes};
    ASSERT_TRUE(reg.Delete(43));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM DRAIN_RULES"), "0");
    EXPECT_EQ(dialogs.messages(), QStringList{});
}

TEST(OniFile, CalibrationCountIsBelievedOnlyUpToTheKeysPresent) {
    struct Case {
        const char *calibration;
        int declared;
        std::vector<int> sensors;
    };
    const Case cases[] = {
        {"Count=2\r\nSensor_ADC_0=100\r\nValue_0=1\r\nSensor_ADC_1=900\r\n", 2, {100, 900}},
        // Points the file lacks read as zeros while keys remain to pay for them.
        {"Count=3\r\nSensor_ADC_0=100\r\n", 3, {100, 0}},
        {"Count=999999999\r\nSensor_ADC_0=7\r\n", 999999999, {7, 0}},
        {"Count=-5\r\nSensor_ADC_0=7\r\n", -5, {}},
    };
    for (const Case &c : cases) {
        TIniFile ini;
        ini.fromBytes(QByteArray("[Object]\r\nID=4\r\n[Calibration]\r\n") + c.calibration);
        const TOniContents oni = ReadOni(ini, TObjectRecord{});
        EXPECT_EQ(oni.record.number, 4);
        EXPECT_EQ(oni.declaredCount, c.declared) << c.calibration;
        std::vector<int> sensors;
        for (const TCalibrationPoint &p : oni.points)
            sensors.push_back(p.sensor);
        EXPECT_EQ(sensors, c.sensors) << c.calibration;
    }
}

TEST_F(ObjectRegistryTest, ImportReadsNewAndOldFilesWithEitherSeparator) {
    TObjectRegistry reg(database->db, dialogs);
    // The old form: no TankV or DepType, the table's ends instead; "." and "," both read.
    writeOni("old.oni", "[Object]\r\nID=21\r\nName=Старый О'Нил\r\n[Fuel]\r\nFuelW=12.5\r\n"
                        "FuelS=10,75\r\n[Calibration]\r\nValue_max=0\r\nValue_min=250\r\n"
                        "Count=2\r\nSensor_ADC_0=100\r\nValue_0=250\r\nSensor_ADC_1=900\r\n"
                        "Value_1=0,5\r\nFixed_1=0\r\n");
    std::optional<TObjectRecord> r = reg.Import(file("old.oni"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->fuelDepType, 0);
    EXPECT_DOUBLE_EQ(r->tankVolume, 250);
    EXPECT_EQ(scalar("SELECT OBJ_NAME || '|' || OBJ_DESC || '|' || OBJ_SHORTNAME || '|' || "
                     "OBJ_FUELDEPTYPE || '|' || OBJ_TANKVOLUME || '|' || OBJ_FUELCONSW || '|' || "
                     "OBJ_FUELCONSS || '|' || OBJ_FUELSENSORDELTA || '|' || OBJ_FUELUSETANKSENSOR "
                     "|| '|' || OBJ_FUELUSEENGINE FROM OBJECTS WHERE OBJ_NUMBER = 21"),
              "Старый О'Нил|||0|250.00|12.50|10.75|100|1|0");
    EXPECT_EQ(scalar("SELECT LIST(P) FROM (SELECT SENSOR_VAL || ':' || FUEL_VAL || ':' || FIXED "
                     "AS P FROM FUEL_POINTS WHERE ID = 21 ORDER BY SENSOR_VAL)"),
              "100:250.0000000000000:1,900:0.5000000000000000:0");

    // Value_max above Value_min is the direct dependence.
    writeOni("rising.oni",
             "[Object]\r\nID=22\r\n[Calibration]\r\nValue_max=300\r\nValue_min=5\r\n");
    r = reg.Import(file("rising.oni"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->fuelDepType, 1);
    EXPECT_DOUBLE_EQ(r->tankVolume, 300);
    EXPECT_EQ(r->name, "Объект №22");
    EXPECT_EQ(dialogs.messages(), QStringList{}); // the caller reports completion
}

TEST_F(ObjectRegistryTest, ImportOfARegisteredNumberAsksAndDefaultsToTheStoredValues) {
    TObjectRegistry reg(database->db, dialogs);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, OBJ_TANKVOLUME, "
                   "OBJ_FUELSENSORDELTA) VALUES (30, 'Тридцать', 'Т30', 400, 77)");
    database->exec("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL) VALUES (30, 1, 2)");
    // Keys the file lacks keep the stored values; Count 0 leaves the stored calibration alone.
    writeOni("30.oni", "[Object]\r\nID=30\r\nName=Новое\r\n[Fuel]\r\nDepType=0\r\n"
                       "[Calibration]\r\nCount=0\r\n");

    dialogs.answers = {mbNo};
    EXPECT_FALSE(reg.Import(file("30.oni")));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              "Объект №30 уже существует в БД. Заменить настройки существующего объекта?");
    EXPECT_EQ(dialogs.calls[0].caption, "Импорт объекта");
    EXPECT_EQ(scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = 30"), "Тридцать");

    dialogs.answers = {mbYes};
    ASSERT_TRUE(reg.Import(file("30.oni")));
    EXPECT_EQ(scalar("SELECT OBJ_NAME || '|' || OBJ_SHORTNAME || '|' || OBJ_TANKVOLUME || '|' || "
                     "OBJ_FUELSENSORDELTA FROM OBJECTS WHERE OBJ_NUMBER = 30"),
              "Новое|Т30|400.00|77");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FUEL_POINTS WHERE ID = 30"), "1");
}

TEST_F(ObjectRegistryTest, ImportRefusesANumberBelowOne) {
    TObjectRegistry reg(database->db, dialogs);
    for (const auto &[text, shown] :
         std::vector<std::pair<QString, QString>>{{"[Object]\r\nID=0\r\nName=Ноль\r\n", "0"},
                                                  {"[Object]\r\nName=Без номера\r\n", "-1"}}) {
        dialogs.calls.clear();
        writeOni("bad.oni", text);
        EXPECT_FALSE(reg.Import(file("bad.oni")));
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, "Неверный номер объекта (" + shown + ")!");
        EXPECT_EQ(dialogs.calls[0].caption, "Ошибка импорта данных");
        EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Warning);
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM OBJECTS"), "0");
}

TEST_F(ObjectRegistryTest, FractionsReadWithEitherSeparator) {
    const struct {
        const char *text;
        double value;
    } cases[] = {{"12,5", 12.5}, {"12.5", 12.5}, {" 7 ", 7}, {"", -1}, {"abc", -1}, {"1,2,3", -1}};
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(OniFloatValue(c.text, -1), c.value) << c.text;
    EXPECT_EQ(OniFloatText(0.1), "0,1");
    EXPECT_EQ(OniFloatText(250), "250");
}
