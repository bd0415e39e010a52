// The calibration table as its window edits it, and the point made from an object's current
// reading, against the real database.

#include "FuelDb.h"

#include "common/ScriptedDialogs.h"
#include "reports/Calibration.h"

bool operator==(const TCalibrationPoint &a, const TCalibrationPoint &b) {
    return a.sensor == b.sensor && a.fuel == b.fuel && a.fixed == b.fixed;
}

void PrintTo(const TCalibrationPoint &p, std::ostream *os) {
    *os << "{" << p.sensor << ", " << p.fuel << ", " << p.fixed << "}";
}

namespace {

// The table window's point dialog, answering from a queue and recording what it was shown.
struct TPointAnswers {
    struct Shown {
        QString caption, sensor, volume;
    };
    std::vector<Shown> shown;
    std::deque<std::pair<QString, QString>> answers; // a null sensor text cancels

    TPointDialog dialog() {
        return [this](const QString &caption, QString &sensor, QString &volume) {
            shown.push_back({caption, sensor, volume});
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected point dialog";
                return false;
            }
            const auto a = answers.front();
            answers.pop_front();
            if (a.first.isNull())
                return false;
            sensor = a.first;
            volume = a.second;
            return true;
        };
    }
};

class CalibrationTest : public fueltest::FuelDbTest {
protected:
    QStringList stored(int object) {
        return rows(QString("select SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS where ID = %1 "
                            "order by SENSOR_VAL")
                        .arg(object));
    }
    TScriptedDialogs dialogs;
};

} // namespace

TEST_F(CalibrationTest, TheWindowAddsEditsAndDeletesInItsTransaction) {
    TCalibrationTable table(database(), dialogs);
    EXPECT_EQ(table.caption(), "Таблица тарировки");
    table.setObject(201);
    EXPECT_EQ(table.caption(), "Таблица тарировки для объекта № 201");
    table.updateTable();
    EXPECT_TRUE(table.points().empty());
    EXPECT_EQ(table.currentRow(), -1);

    // A field that does not read opens the dialog again with what was typed; the volume is
    // read in the platform's form; an added point is the operator's.
    TPointAnswers ask;
    ask.answers = {{"3x0", "45,5"}, {"300", "45;5"}, {"300", "45,5"}};
    table.AddPoint(ask.dialog());
    ASSERT_EQ(ask.shown.size(), 3u);
    EXPECT_EQ(ask.shown[0].caption, "Добавление точки калибровки");
    EXPECT_EQ(ask.shown[0].sensor, "0");
    EXPECT_EQ(ask.shown[0].volume, "0");
    EXPECT_EQ(ask.shown[1].sensor, "3x0");
    EXPECT_EQ(ask.shown[2].volume, "45;5");
    EXPECT_EQ(stored(201), QStringList{"300|45,5|1"}); // committed: another transaction sees it
    EXPECT_EQ(table.points(), (std::vector<TCalibrationPoint>{{300, 45.5, 1}}));

    // The database refuses a second point at the same reading: the message, and the loop ends.
    ask = {};
    ask.answers = {{"300", "50"}};
    table.AddPoint(ask.dialog());
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_TRUE(dialogs.calls[0].text.startsWith("Ошибка добавления:\r\n"))
        << dialogs.calls[0].text.toStdString();
    EXPECT_GT(dialogs.calls[0].text.size(), QString("Ошибка добавления:\r\n").size());
    EXPECT_EQ(dialogs.calls[0].caption, "Добавление точки тарировки");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Information);
    EXPECT_EQ(stored(201), QStringList{"300|45,5|1"});

    // Editing keeps FIXED, whatever it was; the dialog starts from the row.
    sql("insert into FUEL_POINTS values (201, 500, 60, 0);");
    table.updateTable();
    table.setCurrentRow(1);
    ask = {};
    ask.answers = {{"550", "65,25"}};
    table.EditPoint(ask.dialog());
    ASSERT_EQ(ask.shown.size(), 1u);
    EXPECT_EQ(ask.shown[0].caption, "Редактирование точки калибровки");
    EXPECT_EQ(ask.shown[0].sensor, "500");
    EXPECT_EQ(ask.shown[0].volume, "60");
    EXPECT_EQ(stored(201), (QStringList{"300|45,5|1", "550|65,25|0"}));
    EXPECT_EQ(table.currentRow(), 1);

    // A cancelled dialog writes nothing.
    ask = {};
    ask.answers = {{QString(), QString()}};
    table.EditPoint(ask.dialog());
    EXPECT_EQ(stored(201), (QStringList{"300|45,5|1", "550|65,25|0"}));

    // Delete: the question; No keeps the row.
    dialogs.calls.clear();
    dialogs.answers = {mbNo, mbYes};
    table.DeletePoint();
    EXPECT_EQ(stored(201).size(), 2);
    table.DeletePoint();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].text, "Удалить значение из таблицы тарировки?");
    EXPECT_EQ(dialogs.calls[0].caption, "Удаление значения из таблицы тарировки");
    EXPECT_EQ(dialogs.calls[0].buttons, TMsgButtons(mbYes | mbNo));
    EXPECT_EQ(stored(201), QStringList{"300|45,5|1"});
    EXPECT_EQ(table.points(), (std::vector<TCalibrationPoint>{{300, 45.5, 1}}));
    table.Close();
    dialogs.expectDone();
}

TEST_F(CalibrationTest, NormaliseRunsTheProcedureAndReadsTheTableAgain) {
    sql("insert into OBJECTS (OBJ_NUMBER, OBJ_TANKVOLUME) values (202, 100);\n"
        "insert into FUEL_POINTS values (202, 100, 0, 1);\n"
        "insert into FUEL_POINTS values (202, 900, 90, 1);\n");
    TCalibrationTable table(database(), dialogs);
    table.setObject(202);
    table.updateTable();
    ASSERT_EQ(table.points().size(), 2u);
    // Points written meanwhile by someone else, two of them against the order.
    sql("insert into FUEL_POINTS values (202, 500, 40, 0);\n"
        "insert into FUEL_POINTS values (202, 600, 30, 0);\n"
        "insert into FUEL_POINTS values (202, 950, 120, 0);\n");
    table.Normalize();
    EXPECT_EQ(table.points(),
              (std::vector<TCalibrationPoint>{{100, 0, 1}, {500, 40, 0}, {900, 90, 1}}));
    EXPECT_EQ(table.currentRow(), 0);
    table.Close();
}

TEST_F(CalibrationTest, APointFromTheCurrentReading) {
    TCalibrationPointQueries point(database(), dialogs);
    // The volume is bounded by the tank: equal is accepted, one litre more is refused.
    EXPECT_FALSE(point.Create(203, 600, "1234", "601"));
    EXPECT_FALSE(point.Create(203, 600, "1234", "-1"));
    EXPECT_EQ(dialogs.messages(), (QStringList{"Неверное значение объема топлива!",
                                               "Неверное значение объема топлива!"}));
    EXPECT_EQ(dialogs.calls[0].caption, "Создание точки тарировки");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(stored(203).isEmpty());
    EXPECT_TRUE(point.Create(203, 600, "1234", "600"));
    EXPECT_EQ(stored(203), QStringList{"1234|600|1"});
    EXPECT_EQ(point.GetPointValue(203, 1234), 600);
    EXPECT_EQ(point.GetPointValue(203, 1235), -1);

    // The reading has a point already: No writes nothing, Yes replaces it; the dialog closes.
    sql("update FUEL_POINTS set FIXED = 0 where ID = 203;");
    dialogs.calls.clear();
    dialogs.answers = {mbNo, mbYes};
    EXPECT_TRUE(point.Create(203, 600, "1234", "500"));
    EXPECT_EQ(stored(203), QStringList{"1234|600|0"});
    EXPECT_TRUE(point.Create(203, 600, "1234", "500"));
    EXPECT_EQ(stored(203), QStringList{"1234|500|1"});
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].text,
              "Точка тарировки с таким значением датчика уже существует, заменить?");
    EXPECT_EQ(dialogs.calls[0].caption, "Создание точки тарировки");
    dialogs.expectDone();

    // A failing query is shown with its own caption.
    db::TDatabase closed;
    TCalibrationPointQueries broken(closed, dialogs);
    dialogs.calls.clear();
    EXPECT_EQ(broken.GetPointCount(203, 1234), -1);
    EXPECT_FALSE(broken.InsertPoint(203, 1, 1, 1));
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_TRUE(dialogs.calls[0].text.startsWith("Ошибка: "));
    EXPECT_EQ(dialogs.calls[0].caption, "Поиск точки тарировки");
    EXPECT_EQ(dialogs.calls[1].caption, "Создание точки тарировки");
}
