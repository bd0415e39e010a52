#include "DbTestEnv.h"

#include <QFile>

#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/Database.h"
#include "db/ScriptExecution.h"

using namespace db;

namespace {

QString scriptFile(const QString &name, const QByteArray &text) {
    const QString path = dbtest::scratchDir() + name;
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
    return path;
}

} // namespace

TEST(ScriptExecution, RunsTheChosenFileOnItsOwnConnectionAndReportsSuccess) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("exec_ok");
    TOptions o;
    o.DBServ = "localhost";
    o.DBPath = t.path;
    o.DBPass = dbtest::password();
    TScriptedDialogs d;
    // A Windows-1251 file, as scripts written on the old system are.
    d.files.push_back(
        {scriptFile("ok.sql", "create table A (S varchar(20));\r\n"
                              "insert into A values ('\xCF\xF0\xE8\xE2\xE5\xF2');\r\n")});
    TScriptExecution x(o, d);
    ASSERT_TRUE(x.miExecScriptClick());
    ASSERT_EQ(d.calls.size(), 2u);
    EXPECT_EQ(d.calls[0].caption, "Выберете файл скрипта.");
    EXPECT_TRUE(d.calls[0].text.endsWith("|Файлы скрипта (*.sql)|*.sql"));
    EXPECT_EQ(d.calls[1].text, "Метаданные базы данных обновленны.");
    EXPECT_EQ(d.calls[1].caption, "Выполнение скрипта");
    EXPECT_EQ(d.calls[1].icon, TMsgIcon::Information);
    EXPECT_EQ(selectValue(t.db, "select S from A").toString(), "Привет");
}

TEST(ScriptExecution, AnErrorReachesTheCallerUndoesTheDataAndShowsNoSuccess) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase t("exec_err");
    t.db.execute("create table A (X integer)");
    TOptions o;
    o.DBServ = "localhost";
    o.DBPath = t.path;
    o.DBPass = dbtest::password();
    TScriptedDialogs d;
    d.files.push_back({scriptFile("err.sql", "insert into A values (1);\n"
                                             "insert into NO_SUCH values (2);\n")});
    TScriptExecution x(o, d);
    try {
        x.miExecScriptClick();
        FAIL() << "no error";
    } catch (const EDatabaseError &e) {
        EXPECT_TRUE(e.text().contains("NO_SUCH")) << e.text().toStdString();
    }
    EXPECT_EQ(d.messages().size(), 0);
    EXPECT_EQ(selectValue(t.db, "select count(*) from A").toInt(), 0);

    // Cancelling the file dialog does nothing.
    d.files.push_back({});
    EXPECT_FALSE(x.miExecScriptClick());
    EXPECT_EQ(d.messages().size(), 0);
}
