// The refuelling window's records in its one editing transaction, and the record dialog's
// rules, against the real database.

#include "FuelDb.h"

#include <cmath>

#include "common/ScriptedDialogs.h"
#include "reports/FuelCharges.h"

namespace {

TDateTime at(int day, int h = 0, int m = 0, int s = 0) {
    return dt::encode(2026, 12, day, h, m, s);
}

class FuelChargesTest : public fueltest::FuelDbTest {
protected:
    // Two refuellings of the object on 10.12.2026 and one the day after; litres = reading / 10.
    static void twoRefuellings(int object) {
        calibration(object, {{100, 10}, {1100, 110}});
        sql(QString("insert into FUEL_CHARGE values (%1, '10.12.2026 08:00:00', 700, "
                    "'10.12.2026 08:20:00', 1000, NULL);\n"
                    "insert into FUEL_CHARGE values (%1, '10.12.2026 15:00:00', 500, "
                    "'10.12.2026 15:10:00', 800, 30.5);\n"
                    "insert into FUEL_CHARGE values (%1, '11.12.2026 09:00:00', 500, "
                    "'11.12.2026 09:10:00', 800, NULL);\n")
                .arg(object));
    }
    static QStringList stored(int object) {
        return rows(QString("select OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, "
                            "CLOSE_TANK_SENSOR, CHARGED_VOLUME from FUEL_CHARGE where ID = %1 "
                            "order by OPEN_TANK_TS_PACKET")
                        .arg(object));
    }
    static QStringList shown(const TFuelCharges &c) {
        QStringList out;
        for (int r = 0; r < c.rowCount(); ++r) {
            QStringList cells;
            for (int col = 0; col < TFuelCharges::ColumnCount; ++col)
                cells << c.cellText(r, col);
            out << cells.join('|');
        }
        return out;
    }
    TScriptedDialogs dialogs;
};

} // namespace

TEST_F(FuelChargesTest, ShowsThePeriodsRecordsWithTheirEstimates) {
    twoRefuellings(301);
    TFuelCharges c(database(), dialogs);
    EXPECT_FALSE(c.transactionActive());
    c.setPeriod({301, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    EXPECT_TRUE(c.transactionActive());
    // An empty operator's volume shows empty, the estimate still shows.
    EXPECT_EQ(shown(c), (QStringList{
                            "301|10.12.2026 08:00:00|700|10.12.2026 08:20:00|1000||30,000",
                            "301|10.12.2026 15:00:00|500|10.12.2026 15:10:00|800|30,5|30,000",
                        }));
    EXPECT_EQ(c.currentRow(), 0);
    QStringList captions;
    for (int col = 0; col < TFuelCharges::ColumnCount; ++col)
        captions << c.headerData(col, Qt::Horizontal).toString();
    EXPECT_EQ(captions, (QStringList{"Номер", "Начало заправки", "Датчик начала", "Конец заправки",
                                     "Датчик конца", "Залито топлива", "Оценка"}));
    // Only the operator's volume is edited in the grid.
    for (int col = 0; col < TFuelCharges::ColumnCount; ++col)
        EXPECT_EQ(bool(c.flags(c.index(0, col)) & Qt::ItemIsEditable),
                  col == TFuelCharges::colChargedVolume);
    // A period whose start lies after its end shows nothing.
    c.setPeriod({301, at(10, 23, 59, 59), at(10)});
    c.ShowCharges();
    EXPECT_EQ(c.rowCount(), 0);
    c.SaveChanges();
}

TEST_F(FuelChargesTest, DetectionStoresWhatItFindsInTheWindowsTransaction) {
    calibration(302, {{100, 10}, {1100, 110}});
    readings(302, {{"10.12.2026 10:00:00", 500},
                   {"10.12.2026 10:10:00", 495},
                   {"10.12.2026 10:20:00", 900},
                   {"10.12.2026 10:30:00", 890},
                   {"10.12.2026 12:00:00", 700}});
    TFuelCharges c(database(), dialogs);
    c.setPeriod({302, at(10), at(10, 23, 59, 59)});
    c.DetectCharges(100);
    EXPECT_EQ(shown(c), QStringList{"302|10.12.2026 10:10:00|495|10.12.2026 10:20:00|900||40,500"});
    // Not committed yet.
    EXPECT_TRUE(stored(302).isEmpty());
    // A rise below the threshold is no refuelling; detecting again adds nothing and shows the
    // period's rows again.
    c.DetectCharges(500);
    EXPECT_EQ(c.rowCount(), 1);
    c.DetectCharges(100);
    EXPECT_EQ(c.rowCount(), 1);
    c.SaveChanges();
    EXPECT_EQ(stored(302).size(), 1);
    // A period without refuellings shows nothing new.
    c.setPeriod({302, at(11), at(11, 23, 59, 59)});
    c.DetectCharges(100);
    EXPECT_EQ(c.rowCount(), 0);
    dialogs.answers = {mbYes};
    c.CloseWindow();
    EXPECT_FALSE(c.transactionActive());
    EXPECT_EQ(stored(302).size(), 1);
}

TEST_F(FuelChargesTest, DeletingThenAnsweringNoOnClosingRestoresTheRows) {
    twoRefuellings(303);
    TFuelCharges c(database(), dialogs);
    // Without a transaction there is nothing to delete, save or ask.
    c.DeleteCharges();
    c.CloseWindow();
    EXPECT_TRUE(dialogs.calls.empty());

    c.setPeriod({303, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    dialogs.answers = {mbNo, mbYes, mbNo};
    c.DeleteCharges();
    EXPECT_EQ(c.rowCount(), 2);
    c.DeleteCharges();
    EXPECT_EQ(c.rowCount(), 0);
    ASSERT_EQ(dialogs.calls.size(), 3u);
    EXPECT_EQ(dialogs.calls[0].text, "Удалить информацию о заправках?");
    EXPECT_EQ(dialogs.calls[0].caption, "Удаление информации о заправках");
    EXPECT_EQ(dialogs.calls[2].text, "Удалено 2 записей");
    EXPECT_EQ(dialogs.calls[2].caption, "Удаление информации о заправках");
    EXPECT_EQ(dialogs.calls[2].icon, TMsgIcon::Information);
    c.CloseWindow();
    EXPECT_EQ(dialogs.calls.back().text, "Сохранить изменения в таблице заправок?");
    EXPECT_EQ(dialogs.calls.back().caption, "Редактирование таблицы заправок");
    EXPECT_EQ(stored(303).size(), 3);

    // Yes keeps the deletion.
    c.ShowCharges();
    dialogs.answers = {mbYes, mbYes};
    c.DeleteCharges();
    c.CloseWindow();
    EXPECT_EQ(stored(303).size(), 1);
    dialogs.expectDone();
}

TEST_F(FuelChargesTest, TheRecordDialogChecksItsFieldsInOrder) {
    TFuelCharges c(database(), dialogs);
    c.setPeriod({304, at(10), at(10, 23, 59, 59)});
    TAddCharge dlg(c, dialogs);
    const TChargeForm blank = dlg.NewRecord("304", at(10, 9));
    const auto with = [&](QString object, QString start, QString end, QString actual) {
        TChargeForm f = blank;
        f.object = object;
        f.startReading = start;
        f.endReading = end;
        f.actualVolume = actual;
        return f;
    };
    const struct {
        TChargeForm form;
        TChargeField field;
        const char *message;
    } cases[] = {
        {with("x", "y", "z", "w"), TChargeField::Object,
         "В поле \"Номер объекта\" не числовое значение"},
        {with("304", "1a", "z", "w"), TChargeField::StartReading,
         "В поле \"Показания датчика (начало)\" не числовое значение"},
        {with("304", "500", "", "w"), TChargeField::EndReading,
         "В поле \"Показания датчика (оконч.)\" не числовое значение"},
        {with("304", "500", "800", "12;5"), TChargeField::ActualVolume,
         "В поле \"Залито топлива (факт.)\" не числовое значение"},
    };
    for (const auto &k : cases) {
        dialogs.calls.clear();
        const TAddCharge::TSaveResult r = dlg.Save(k.form);
        EXPECT_FALSE(r.close);
        EXPECT_EQ(r.invalid, k.field);
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, QString::fromUtf8(k.message));
        EXPECT_EQ(dialogs.calls[0].caption, "Зарнекс-Клиент-Авто");
        EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Warning);
    }
    EXPECT_TRUE(stored(304).isEmpty());
    EXPECT_TRUE(dlg.isNew());
}

TEST_F(FuelChargesTest, TheRecordDialogAddsAndEditsRecordsOfTheWindow) {
    calibration(305, {{100, 10}, {1100, 110}});
    TFuelCharges c(database(), dialogs);
    c.setPeriod({305, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    TAddCharge dlg(c, dialogs);
    TChargeForm f = dlg.NewRecord("305", at(10, 9, 30));
    EXPECT_EQ(dlg.caption(), "Добавление заправки");
    EXPECT_EQ(f.object, "305");
    EXPECT_EQ(f.startReading, "0");
    EXPECT_EQ(f.endReading, "0");
    EXPECT_EQ(f.actualVolume, "");
    EXPECT_EQ(f.estimate, "0");
    EXPECT_NEAR((f.endDate + f.endTime - f.startDate - f.startTime) * 24 * 60, 10, 1e-6);
    EXPECT_EQ(dlg.NewRecord(" 3x", at(10)).object, "");

    // An empty operator's volume stores NULL; the new row becomes the window's current one.
    TChargeForm first = dlg.NewRecord("305", at(10, 6));
    first.startReading = "300";
    first.endReading = "600";
    first.actualVolume = "  ";
    EXPECT_TRUE(dlg.Save(first).close);
    f = dlg.NewRecord("305", at(10, 9, 30));
    f.startReading = "400";
    f.endReading = "900";
    f.actualVolume = "49,5";
    const TAddCharge::TSaveResult r = dlg.Save(f);
    EXPECT_TRUE(r.close);
    EXPECT_EQ(dlg.ChargeStartDt, at(10, 9, 30));
    EXPECT_EQ(stored(305), (QStringList{
                               "10.12.2026 06:00:00|300|10.12.2026 06:10:00|600|<null>",
                               "10.12.2026 09:30:00|400|10.12.2026 09:40:00|900|49,5",
                           }));
    ASSERT_EQ(c.rowCount(), 2);
    EXPECT_EQ(c.currentRow(), 1);

    // Editing: the beginning is the key, the end and the volume change.
    TAddCharge edit(c, dialogs);
    f = edit.EditRecord(*c.current());
    EXPECT_EQ(edit.caption(), "Редактирование заправки объекта 305 с началом 10.12.2026 09:30:00");
    EXPECT_EQ(f.object, "305");
    EXPECT_EQ(f.startReading, "400");
    EXPECT_EQ(f.endReading, "900");
    EXPECT_EQ(f.actualVolume, "49,5");
    EXPECT_EQ(f.estimate, "50,000");
    EXPECT_EQ(f.endDate + f.endTime, at(10, 9, 40));
    f.endReading = "950";
    f.endTime = dt::encodeTime(9, 45, 0);
    f.actualVolume = "";
    EXPECT_TRUE(edit.Save(f).close);
    EXPECT_EQ(stored(305).value(1), "10.12.2026 09:30:00|400|10.12.2026 09:45:00|950|<null>");
    EXPECT_EQ(c.cellText(1, TFuelCharges::colCalcVolume), "55,000");
    dialogs.answers = {mbYes};
    c.CloseWindow();
    EXPECT_TRUE(dialogs.messages().isEmpty());
}

TEST_F(FuelChargesTest, AFailedSaveRollsTheWholeWindowBack) {
    twoRefuellings(306);
    TFuelCharges c(database(), dialogs);
    c.setPeriod({306, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    // Changes of the window not yet committed: an inline edit and a deletion.
    EXPECT_TRUE(c.setData(c.index(0, TFuelCharges::colChargedVolume), "12,5"));
    EXPECT_EQ(c.cellText(0, TFuelCharges::colChargedVolume), "12,5");
    dialogs.answers = {mbOK};
    c.setCurrentRow(1);
    c.DeleteCurrent();
    EXPECT_EQ(c.rowCount(), 1);

    // A new record whose key the database already holds (the next day's refuelling).
    TAddCharge dlg(c, dialogs);
    TChargeForm f = dlg.NewRecord("306", at(11, 9));
    f.startReading = "500";
    f.endReading = "800";
    const TAddCharge::TSaveResult r = dlg.Save(f);
    EXPECT_FALSE(r.close); // the dialog stays open
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(
        dialogs.messages()[0].startsWith("Во время сохранения данных произошла ошибка: \r\n"));
    EXPECT_EQ(dialogs.calls.back().caption, "Редактирование заправки");
    EXPECT_EQ(dialogs.calls.back().icon, TMsgIcon::Error);
    EXPECT_TRUE(dlg.isNew());
    EXPECT_FALSE(c.transactionActive());
    // Nothing to save or ask about any more; the edit and the deletion are gone.
    c.SaveChanges();
    c.CloseWindow();
    c.ShowCharges();
    EXPECT_EQ(c.rowCount(), 2);
    EXPECT_EQ(c.cellText(0, TFuelCharges::colChargedVolume), "");
    dialogs.answers = {mbNo};
    c.CloseWindow();
    dialogs.expectDone();
}

TEST_F(FuelChargesTest, RecalculationRebuildsTheCalibrationInTheWindowsTransaction) {
    sql("insert into OBJECTS (OBJ_NUMBER, OBJ_TANKVOLUME) values (307, 200);");
    calibration(307, {{100, 0}, {1100, 100}});
    // 20 l at the opening reading, 60 l filled up to 800: the point (800, 80).
    sql("insert into FUEL_CHARGE values (307, '10.12.2026 10:00:00', 300, "
        "'10.12.2026 10:20:00', 800, 60);");
    TFuelCharges c(database(), dialogs);
    c.setPeriod({307, at(10), at(10, 23, 59, 59)});
    c.RecalcCalibration();
    // Shown by the new table: 80 l at 800, 22.857 l at 300 (between 0 at 100 and 80 at 800).
    EXPECT_EQ(c.cellText(0, TFuelCharges::colCalcVolume), "57,143");
    const QString points = "select SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS where ID = 307 "
                           "order by SENSOR_VAL";
    EXPECT_EQ(rows(points).size(), 2);
    c.SaveChanges();
    EXPECT_EQ(rows(points), (QStringList{"100|0|1", "800|80|0", "1100|100|1"}));
    dialogs.answers = {mbYes};
    c.CloseWindow();
}

// An inline "Залито топлива" that is not a number is refused with a message, the cell as it was.
TEST_F(FuelChargesTest, AnInlineVolumeThatIsNotANumberIsSaid) {
    twoRefuellings(319);
    TFuelCharges c(database(), dialogs);
    c.setPeriod({319, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    ASSERT_EQ(c.rowCount(), 2);
    EXPECT_FALSE(c.setData(c.index(1, TFuelCharges::colChargedVolume), "двенадцать"));
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(dialogs.messages()[0],
              "'двенадцать' не является числом: значение \"Залито топлива\" не изменено");
    EXPECT_EQ(c.cellText(1, TFuelCharges::colChargedVolume), "30,5");
    dialogs.answers = {mbNo};
    c.CloseWindow();
}

// A record edit that finds no record keeps the dialog open and says so; the opening time's
// milliseconds, which the time fields cannot show, do not lose the record.
TEST_F(FuelChargesTest, AnEditThatMatchesNoRecordIsSaidAndTheDialogStaysOpen) {
    calibration(318, {{100, 10}, {1100, 110}});
    sql("insert into FUEL_CHARGE values (318, '10.12.2026 08:00:00.250', 700, "
        "'10.12.2026 08:20:00', 1000, 12.5);\n");
    TFuelCharges c(database(), dialogs);
    c.setPeriod({318, at(10), at(10, 23, 59, 59)});
    c.ShowCharges();
    ASSERT_EQ(c.rowCount(), 1);

    // The dialog shows whole seconds; saving with the beginning as shown finds the record.
    TAddCharge edit(c, dialogs);
    TChargeForm f = edit.EditRecord(*c.current());
    f.startTime = dt::encodeTime(8, 0, 0);
    f.actualVolume = "20";
    EXPECT_TRUE(edit.Save(f).close);
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_EQ(rows("select CHARGED_VOLUME from FUEL_CHARGE where ID = 318"), QStringList{"20"});

    // A beginning reading that is not the record's matches no row: nothing is saved.
    f = edit.EditRecord(*c.current());
    f.startReading = "701";
    f.actualVolume = "30";
    EXPECT_FALSE(edit.Save(f).close);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(dialogs.messages()[0], "Запись заправки объекта 318 с началом 10.12.2026 08:00:00 и "
                                     "показаниями датчика 701 не найдена: изменения не сохранены");
    EXPECT_EQ(dialogs.calls.back().caption, "Редактирование заправки");
    EXPECT_TRUE(c.transactionActive());
    dialogs.answers = {mbYes};
    c.CloseWindow();
    EXPECT_EQ(rows("select CHARGED_VOLUME from FUEL_CHARGE where ID = 318"), QStringList{"20"});
}
