// The catalogue editors, the field-order file and the field-settings file on the real server.

#include "db/ParamCatalogue.h"
#include "app/Cp1251.h"
#include "common/ScriptedDialogs.h"
#include "db/OnlineDb.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ParamCatalogueTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    // A small catalogue: two groups, five parameters (NULLs in several columns, an apostrophe),
    // three computed parameters.
    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        for (const char *t : {"PARAMGROUPS", "PARAMS", "CALCPARAMS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        database->exec("INSERT INTO PARAMGROUPS (PGRP_INDEX, PGRP_NAME, PGRP_SEQ, PGRP_ISSHOW) "
                       "VALUES (10, 'Двигатель', 3, 1)");
        database->exec("INSERT INTO PARAMGROUPS (PGRP_INDEX, PGRP_NAME, PGRP_SEQ, PGRP_ISSHOW) "
                       "VALUES (12, 'Топливо О''Нила', 5, 2)");
        const char *params[] = {
            "'подключение', 1, NULL, 'Подключение', '0', 1, 3, 1, 0, 0, 0, 90, 0, 1, "
            "'Связь', 0, 1",
            "'дизель локомотива', 2, 10, 'Дизель;локомотива', 'INS_DIESELWORK', 1, 1, 1, 0, 1, "
            "3, 90, 0, 1, NULL, 0, 1",
            "'движение локомотива', 3, 10, 'Движение', 'INS_LOCOMOTIVEMOVE', 1, 2, 1, 0, 1, 4, "
            "NULL, 0, 1, NULL, 0, 1",
            "'режим предупреждения', 4, NULL, 'Режим', 'INS_WARNINGMODE', 0, 5, 1, 0, 0, 5, 110, "
            "0, 1, 'Режим ''особый''', 0, 1",
            "'тревожная кнопка', 5, NULL, NULL, 'INS_ALERTBTN', 0, 6, 2, 0, 0, 6, 80, NULL, 1, "
            "NULL, 0, 1",
        };
        for (const char *p : params)
            database->exec(QString("INSERT INTO PARAMS (PRM_NAME, PRM_INDEX, PRM_GRPINDEX, "
                                   "PRM_CAPTION, PRM_INPSTBLNAME, PRM_USEINDATAQUERY, "
                                   "PRM_USEINPSINDEX, PRM_VISIBLEINSOSTGRID, PRM_USEINCALCQUERY, "
                                   "PRM_USEINSOSTQUERY, PRM_USESOSTINDEX, "
                                   "PRM_SOST_GRID_COL_WIDTH, PRM_COLROWPOSITION, "
                                   "PRM_USEINPROGRAM, PRM_DESCRIPTION, PRM_VISIBLEINSUMMARY, "
                                   "PRM_USEINSOSTGRID) VALUES (%1)")
                               .arg(QString::fromUtf8(p)));
        const char *calc[] = {
            "'PAR_TRACKLEN', 'Пробег;км', 1, 1, 'Пробег', 1, 1, 'FLOAT'",
            "'PAR_GENTIME', 'Время;работы', 2, 0, NULL, 2, 0, 'MYTIME'",
            "'PAR_DATE', 'Дата', 0, 0, 'Дата', 0, 1, NULL",
        };
        for (const char *c : calc)
            database->exec(QString("INSERT INTO CALCPARAMS (PR_NAME, PR_CAPTION, PR_INDEX, "
                                   "PR_DISP, PR_DISPNAME, PR_SETINDEX, PR_SETDISP, PR_FIELDTYPE) "
                                   "VALUES (%1)")
                               .arg(QString::fromUtf8(c)));
        database->exec("SET GENERATOR GEN_PARAMGROUPS TO 12");
        database->exec("SET GENERATOR GEN_PGRPSEQ TO 5");
        orderFile = dir.path() + "/fieldsorder.ord";
    }

    static QString scalar(const QString &sql) { return database->scalar(sql); }
    // Every row of a table, every column, NULL shown as "∅".
    static QStringList dump(const QString &table, const QString &key) {
        db::TTransaction tr(database->db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, QString("SELECT * FROM %1 ORDER BY %2").arg(table, key));
        q.open();
        QStringList rows;
        while (q.next()) {
            QStringList v;
            for (int i = 0; i < q.fieldCount(); ++i)
                v << (q.field(i).isNull() ? QStringLiteral("∅") : q.field(i).asString());
            rows << v.join('|');
        }
        q.close();
        tr.commit();
        return rows;
    }
    static QStringList catalogue() {
        return dump("PARAMGROUPS", "PGRP_INDEX") + dump("PARAMS", "PRM_NAME") +
               dump("CALCPARAMS", "PR_NAME");
    }
    static QString generators() {
        return scalar("SELECT GEN_ID(GEN_PARAMGROUPS, 0) || '/' || GEN_ID(GEN_PGRPSEQ, 0) FROM "
                      "RDB$DATABASE");
    }
    static QString triggerInactive() {
        return scalar("SELECT COALESCE(RDB$TRIGGER_INACTIVE, 0) FROM RDB$TRIGGERS WHERE "
                      "RDB$TRIGGER_NAME = 'PARAMGROUPS_BI'");
    }
    static QStringList keys(const TCatalogueList &l) {
        QStringList out;
        for (const TCatalogueRow &r : l.rows)
            out << r.key;
        return out;
    }
    void writeText(const QString &path, const QString &text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(cp1251::encode(text));
    }
    QString readText(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? cp1251::decode(f.readAll()) : QString("<missing>");
    }

    TScriptedDialogs dialogs;
    QTemporaryDir dir;
    QString orderFile;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(ParamCatalogueTest, ColumnEditorListsFollowTheirFlagsAndOrders) {
    TColumnEditor data(database->db, TColumnEditor::Kind::DataGrid);
    // "подключение" has no history column and is never offered.
    EXPECT_EQ(keys(data.available), (QStringList{"режим предупреждения", "тревожная кнопка"}));
    EXPECT_EQ(keys(data.assigned), (QStringList{"дизель локомотива", "движение локомотива"}));
    TColumnEditor calcSet(database->db, TColumnEditor::Kind::CalcSet);
    // The fixed date column of the object-set report is not offered.
    EXPECT_EQ(keys(calcSet.available), QStringList{"PAR_GENTIME"});
    EXPECT_EQ(keys(calcSet.assigned), QStringList{"PAR_TRACKLEN"});
    EXPECT_EQ(calcSet.assigned.texts(), QStringList{"Пробег;км"});
}

TEST_F(ParamCatalogueTest, AssignSelectsTheFollowingRowOrTheNewLastOne) {
    TColumnEditor e(database->db, TColumnEditor::Kind::DataGrid);
    e.available.current = 1; // the last row
    e.Assign();
    EXPECT_EQ(keys(e.available), QStringList{"режим предупреждения"});
    EXPECT_EQ(e.available.current, 0);
    EXPECT_EQ(scalar("SELECT PRM_USEINDATAQUERY FROM PARAMS WHERE PRM_NAME = 'тревожная кнопка'"),
              "1");
    // The order column is not touched by assigning.
    EXPECT_EQ(scalar("SELECT PRM_USEINPSINDEX FROM PARAMS WHERE PRM_NAME = 'тревожная кнопка'"),
              "6");

    e.assigned.current = 0;
    e.Unassign();
    EXPECT_EQ(e.assigned.current, e.assigned.indexOf("движение локомотива"));
    EXPECT_EQ(keys(e.available), (QStringList{"дизель локомотива", "режим предупреждения"}));

    e.AssignAll();
    EXPECT_TRUE(e.available.rows.empty());
    EXPECT_EQ(e.available.current, -1);
    EXPECT_EQ(e.assigned.count(), 4);
    e.UnassignAll();
    EXPECT_EQ(e.available.count(), 4);
    EXPECT_TRUE(e.changed());
}

TEST_F(ParamCatalogueTest, MovingSwapsOrderNumbersOnlyWhenTheyDiffer) {
    TColumnEditor e(database->db, TColumnEditor::Kind::DataGrid);
    const auto order = [] {
        return scalar("SELECT LIST(PRM_USEINPSINDEX, ',') FROM (SELECT PRM_USEINPSINDEX FROM "
                      "PARAMS WHERE PRM_NAME IN ('дизель локомотива', 'движение локомотива') "
                      "ORDER BY PRM_NAME DESC)");
    };
    // The first row moved up, the last moved down: nothing.
    e.assigned.current = 0;
    e.MoveUp(TCatalogueSide::Assigned);
    e.assigned.current = 1;
    e.MoveDown(TCatalogueSide::Assigned);
    EXPECT_EQ(order(), "1,2");
    EXPECT_FALSE(e.changed());

    e.assigned.current = 0;
    e.MoveDown(TCatalogueSide::Assigned);
    EXPECT_EQ(keys(e.assigned), (QStringList{"движение локомотива", "дизель локомотива"}));
    EXPECT_EQ(e.assigned.current, 1); // the moved row stays selected
    EXPECT_EQ(order(), "2,1");

    // Equal numbers never change places.
    database->exec("UPDATE PARAMS SET PRM_USEINPSINDEX = 7 WHERE PRM_USEINDATAQUERY = 1");
    e.Reopen();
    const QStringList before = keys(e.assigned);
    e.assigned.current = 0;
    e.MoveDown(TCatalogueSide::Assigned);
    EXPECT_EQ(keys(e.assigned), before);
    EXPECT_EQ(order(), "7,7");
    EXPECT_EQ(e.assigned.current, 0);
}

TEST_F(ParamCatalogueTest, DefaultSetsOfTheTwoGrids) {
    {
        TColumnEditor sost(database->db, TColumnEditor::Kind::SostGrid);
        database->exec("UPDATE PARAMS SET PRM_USEINSOSTQUERY = 1");
        sost.RestoreDefaults();
    }
    // The state-change set never takes "подключение"; names outside the set are cleared.
    EXPECT_EQ(scalar("SELECT LIST(PRM_NAME, ',') FROM (SELECT PRM_NAME FROM PARAMS WHERE "
                     "PRM_USEINSOSTQUERY = 1 ORDER BY PRM_NAME)"),
              "движение локомотива,дизель локомотива,режим предупреждения");
    {
        TColumnEditor data(database->db, TColumnEditor::Kind::DataGrid);
        data.RestoreDefaults();
        EXPECT_EQ(keys(data.assigned), (QStringList{"дизель локомотива", "движение локомотива",
                                                    "режим предупреждения"}));
    }
    EXPECT_EQ(scalar("SELECT LIST(PRM_NAME, ',') FROM (SELECT PRM_NAME FROM PARAMS WHERE "
                     "PRM_USEINDATAQUERY = 1 ORDER BY PRM_NAME)"),
              "движение локомотива,дизель локомотива,подключение,режим предупреждения");
}

TEST_F(ParamCatalogueTest, RenamingAComputedParameter) {
    TColumnEditor e(database->db, TColumnEditor::Kind::CalcObject);
    e.assigned.current = 0;
    dialogs.texts = {"Пробег О'Нила"};
    EXPECT_TRUE(e.Rename(TCatalogueSide::Assigned, dialogs));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].caption, "Переименование параметра");
    EXPECT_EQ(dialogs.calls[0].text, "Введите заголовок параметра \"Пробег\"");
    EXPECT_EQ(scalar("SELECT PR_CAPTION FROM CALCPARAMS WHERE PR_NAME = 'PAR_TRACKLEN'"),
              "Пробег О'Нила");
    EXPECT_EQ(e.assigned.texts(), QStringList{"Пробег О'Нила"});

    e.UnassignAll();
    dialogs.calls.clear();
    EXPECT_FALSE(e.Rename(TCatalogueSide::Assigned, dialogs));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "Нет доступных полей");
    EXPECT_EQ(dialogs.calls[0].caption, "Ошибка переименования");
}

TEST_F(ParamCatalogueTest, ParameterGroupsOfTheSettingsWindow) {
    TParamGroupsEditor e(database->db);
    EXPECT_EQ(keys(e.groups), (QStringList{"10", "12"}));
    EXPECT_EQ(e.groups.current, 0);
    EXPECT_EQ(keys(e.assigned), (QStringList{"дизель локомотива", "движение локомотива"}));
    EXPECT_EQ(keys(e.available),
              (QStringList{"подключение", "режим предупреждения", "тревожная кнопка"}));

    // "All" walks from the current row.
    e.available.current = 1;
    e.AssignAll();
    EXPECT_EQ(keys(e.available), QStringList{"подключение"});
    EXPECT_EQ(scalar("SELECT LIST(PRM_GRPINDEX) FROM PARAMS WHERE PRM_NAME IN ('режим "
                     "предупреждения', 'тревожная кнопка')"),
              "10,10");

    // Without a group nothing is assigned.
    e.selectGroup(-1);
    EXPECT_TRUE(e.assigned.rows.empty());
    e.available.current = 0;
    e.Assign();
    e.AssignAll();
    EXPECT_EQ(keys(e.available), QStringList{"подключение"});

    // Groups: add (the trigger numbers it), rename, move, show and hide, delete.
    e.AddGroup("Печь 'А'");
    EXPECT_EQ(e.groups.texts(), (QStringList{"Двигатель", "Топливо О'Нила", "Печь 'А'"}));
    EXPECT_EQ(e.currentGroup()->key, "13");
    EXPECT_EQ(e.currentGroup()->order, 6);
    e.RenameGroup("Печь 'Б'");
    EXPECT_EQ(e.currentGroup()->caption, "Печь 'Б'");
    e.MoveGroupUp();
    EXPECT_EQ(e.groups.texts(), (QStringList{"Двигатель", "Печь 'Б'", "Топливо О'Нила"}));
    e.selectGroup(0);
    e.ShowGroupParams(false);
    EXPECT_EQ(scalar("SELECT LIST(DISTINCT PRM_VISIBLEINSOSTGRID) FROM PARAMS WHERE PRM_GRPINDEX "
                     "= 10"),
              "2");
    e.ShowUnassignedParams(false);
    EXPECT_EQ(scalar("SELECT PRM_VISIBLEINSOSTGRID FROM PARAMS WHERE PRM_NAME = 'подключение'"),
              "2");
    e.SetGroupShown(2);
    EXPECT_EQ(scalar("SELECT PGRP_ISSHOW FROM PARAMGROUPS WHERE PGRP_INDEX = 10"), "2");

    dialogs.answers = {mbCancel, mbOK};
    EXPECT_FALSE(e.DeleteGroup(dialogs));
    EXPECT_TRUE(e.DeleteGroup(dialogs));
    EXPECT_EQ(dialogs.calls[0].text, "Удалить выбранную группу?");
    EXPECT_EQ(keys(e.groups), (QStringList{"13", "12"}));
    // Its parameters keep their group number.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM PARAMS WHERE PRM_GRPINDEX = 10"), "4");

    e.SetParamCaption("подключение", "Связь 'есть'", 1);
    EXPECT_EQ(scalar("SELECT PRM_CAPTION || PRM_VISIBLEINSOSTGRID FROM PARAMS WHERE PRM_NAME = "
                     "'подключение'"),
              "Связь 'есть'1");
}

TEST_F(ParamCatalogueTest, FieldOrderKeepsTheUsersArrangementOfWhatIsShown) {
    database->exec("UPDATE PARAMS SET PRM_VISIBLEINSOSTGRID = 1 WHERE PRM_NAME = 'тревожная "
                   "кнопка'");
    EXPECT_EQ(TFieldsOrder::CurrentEntries(database->db),
              (QStringList{"Двигатель (Г)", "подключение (П)", "режим предупреждения (П)",
                           "тревожная кнопка (П)"}));
    // An entry the file lists twice keeps its first place only.
    writeText(orderFile, "тревожная кнопка (П)\r\nушедший (П)\r\nДвигатель (Г)\r\n"
                         "тревожная кнопка (П)\r\n");
    TFieldsOrder::Rewrite(database->db, orderFile);
    EXPECT_EQ(readText(orderFile), "тревожная кнопка (П)\r\nДвигатель (Г)\r\nподключение (П)\r\n"
                                   "режим предупреждения (П)\r\n");

    TFieldsOrder order(orderFile);
    order.Load();
    EXPECT_EQ(order.MoveUp(0), 0);
    EXPECT_EQ(order.MoveDown(3), 3);
    EXPECT_EQ(order.MoveDown(0), 1);
    EXPECT_EQ(order.entries.first(), "Двигатель (Г)");

    TFieldsOrder missing(dir.path() + "/none/fieldsorder.ord");
    missing.Load();
    EXPECT_TRUE(missing.entries.isEmpty());
    try {
        missing.Save();
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()),
                  "Error load fields order from file " + dir.path() + "/none/fieldsorder.ord");
    }
}

TEST_F(ParamCatalogueTest, ExportThenImportRestoresTheCatalogueWithNullsAndGenerators) {
    writeText(orderFile, "Двигатель (Г)\r\nподключение (П)\r\n");
    const QStringList before = catalogue();
    const QString fcg = dir.path() + "/fields.fcg";
    fieldsettings::Export(database->db, fcg, orderFile);
    const QString text = readText(fcg);
    EXPECT_TRUE(text.startsWith("~PARAMGROUPS\r\nДвигатель^10^3^1^\r\nТопливо О'Нила^12^5^2^\r\n"
                                "~PARAMS\r\n"));
    EXPECT_TRUE(text.contains("\r\nтревожная кнопка^5^^^INS_ALERTBTN^0^6^2^0^0^6^80^^1^^0^1^\r\n"));
    EXPECT_TRUE(text.endsWith("\r\n$$$$$\r\nДвигатель (Г)\r\nподключение (П)\r\n"));

    // Everything changes meanwhile; the import brings it back.
    database->exec("DELETE FROM PARAMS WHERE PRM_NAME = 'подключение'");
    database->exec("UPDATE CALCPARAMS SET PR_DISPNAME = 'x', PR_FIELDTYPE = 'y'");
    database->exec("INSERT INTO PARAMGROUPS (PGRP_NAME) VALUES ('лишняя')");
    database->exec("SET GENERATOR GEN_PARAMGROUPS TO 40");
    QFile::remove(orderFile);

    EXPECT_EQ(fieldsettings::Import(database->db, fcg, orderFile, dialogs), 0);
    EXPECT_TRUE(dialogs.calls.empty()) << dialogs.messages().join("\n").toStdString();
    EXPECT_EQ(catalogue(), before);
    EXPECT_EQ(generators(), "12/5");
    EXPECT_EQ(triggerInactive(), "0");
    EXPECT_EQ(readText(orderFile), "Двигатель (Г)\r\nподключение (П)\r\n");
    // The trigger numbers new groups after the restored ones again.
    database->exec("INSERT INTO PARAMGROUPS (PGRP_NAME) VALUES ('новая')");
    EXPECT_EQ(scalar("SELECT PGRP_INDEX || '/' || PGRP_SEQ FROM PARAMGROUPS WHERE PGRP_NAME = "
                     "'новая'"),
              "13/6");
}

TEST_F(ParamCatalogueTest, ManyRefusedRowsShowTenBoxesThenOneCount) {
    const QString fcg = dir.path() + "/refused.fcg";
    QString text = "~PARAMGROUPS\r\n~PARAMS\r\nодин^1^\r\n~CALCPARAMS\r\n";
    for (int i = 0; i < fieldsettings::kShownRefusals + 2; ++i)
        text += QString("PAR_%1^П^не число^\r\n").arg(i); // PR_INDEX takes numbers only
    writeText(fcg, text);
    EXPECT_EQ(fieldsettings::Import(database->db, fcg, orderFile, dialogs),
              fieldsettings::kShownRefusals + 2);
    const QStringList shown = dialogs.messages();
    ASSERT_EQ(shown.size(), fieldsettings::kShownRefusals + 1);
    EXPECT_TRUE(shown[fieldsettings::kShownRefusals - 1].startsWith(
        "Не удалось загрузить строку настроек:\r\n"
        "PAR_9^"));
    EXPECT_EQ(shown.last(), "Не загружено строк настроек: 12; сверх первых 10 они записаны в "
                            "журнал операций");
    EXPECT_EQ(scalar("SELECT LIST(PRM_NAME) FROM PARAMS"), "один");
}

TEST_F(ParamCatalogueTest, ImportReadsShortLinesAndWorksWithoutTheOrderPart) {
    writeText(orderFile, "оставить (П)\r\n");
    const QString fcg = dir.path() + "/short.fcg";
    // A short line, a last field without "^", a caption holding "~" (it starts a section: the
    // next row then goes to CALCPARAMS and its text does not fit there).
    writeText(fcg, "~PARAMGROUPS\r\nОдна^1^1^1^\r\nДве^7^2\r\n"
                   "~PARAMS\r\nкороткий^3^\r\nполный^4^7^Полный^INS_X^1^2^1^0^1^3^60^0^1^^0^1\r\n"
                   "волна^5^^Волна ~ гребень^0^0^0^1^0^0^0^64^0^1^^0^1^\r\n"
                   "после волны^6^^После^0^0^0^1^0^0^0^64^0^1^^0^1^\r\n"
                   "~CALCPARAMS\r\nPAR_A^А^1^1^^1^1^FLOAT^\r\n");
    EXPECT_EQ(fieldsettings::Import(database->db, fcg, orderFile, dialogs), 1);
    EXPECT_EQ(dump("PARAMGROUPS", "PGRP_INDEX"), (QStringList{"1|Одна|1|1", "7|Две|2|∅"}));
    EXPECT_EQ(scalar("SELECT LIST(PRM_NAME, ',') FROM (SELECT PRM_NAME FROM PARAMS ORDER BY "
                     "PRM_INDEX)"),
              "короткий,полный");
    EXPECT_EQ(scalar("SELECT PRM_INDEX || '|' || COALESCE(PRM_GRPINDEX, 'NULL') || '|' || "
                     "COALESCE(PRM_CAPTION, 'NULL') FROM PARAMS WHERE PRM_NAME = 'короткий'"),
              "3|NULL|NULL");
    EXPECT_EQ(scalar("SELECT PRM_USEINSOSTGRID FROM PARAMS WHERE PRM_NAME = 'полный'"), "1");
    EXPECT_EQ(dump("CALCPARAMS", "PR_NAME").size(), 1);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].startsWith(
        "Не удалось загрузить строку настроек:\r\nпосле волны^6^"));
    // No "$$$$$": the field-order file stays as it was; the rest completes.
    EXPECT_EQ(readText(orderFile), "оставить (П)\r\n");
    EXPECT_EQ(generators(), "7/2");
    EXPECT_EQ(triggerInactive(), "0");
}

TEST_F(ParamCatalogueTest, AFileThatIsNoCatalogueDeletesNothing) {
    const QStringList before = catalogue();
    const QString fcg = dir.path() + "/bad.fcg";
    for (const QString &text :
         {QString("[Object]\r\nID=5\r\n"), QString("~PARAMGROUPS\r\nОдна^1^1^1^\r\n~PARAMS\r\n"
                                                   "~CALCPARAMS\r\nPAR_A^А^1^1^^1^1^FLOAT^\r\n")}) {
        writeText(fcg, text);
        EXPECT_THROW(fieldsettings::Import(database->db, fcg, orderFile, dialogs),
                     EFieldSettingsError);
        EXPECT_EQ(catalogue(), before);
        EXPECT_EQ(triggerInactive(), "0");
    }
    EXPECT_THROW(fieldsettings::Import(database->db, dir.path() + "/none.fcg", orderFile, dialogs),
                 EFieldSettingsError);
}

TEST(FieldSettingsLine, SplitsAtCarets) {
    const struct {
        const char *line;
        QStringList fields;
    } cases[] = {
        {"a^b^c^", {"a", "b", "c"}},
        {"a^^c^", {"a", "", "c"}},
        {"^^", {"", ""}},
        {"a^b", {"a", "b"}},
        {"", {}},
        {"О'Нил^2^", {"О'Нил", "2"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fieldsettings::SplitLine(QString::fromUtf8(c.line)), c.fields) << c.line;
}
