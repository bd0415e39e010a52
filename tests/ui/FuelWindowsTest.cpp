// The fuel windows bound to a connected session: the main window's entry points, the
// calibration table with its chart (the current row's point blue), the point from the
// object's reading, the refuelling window with its grid and navigator, and the record
// dialog's focus on a refused field. With ZARNEX_SCREENSHOT_DIR set, the calibration and the
// refuelling windows are saved there.

#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "reports/FuelComputations.h"
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
#include "ui/CalibrationForm.h"
#include "ui/FuelChargesForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/StateGrid.h"

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace {

void screenshot(QWidget &w, const QString &name) {
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}

struct FuelWindows : ::testing::Test {
    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::unique_ptr<onlinetest::TScriptDatabase> database;

    void SetUp() override {
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
        database = onlinetest::makeDatabase();
        ASSERT_TRUE(database);
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                       "VALUES (7, 'Тепловоз', 600)");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                       "VALUES (8, 'Маневровый', 400)");
        // A tank of 600 l read from 200 to 3600.
        const int points[][2] = {{200, 0},    {700, 60},   {1300, 150}, {1900, 250},
                                 {2500, 360}, {3000, 470}, {3600, 600}};
        for (const auto &p : points)
            database->exec(
                QString("INSERT INTO FUEL_POINTS VALUES (7, %1, %2, 1)").arg(p[0]).arg(p[1]));
        database->exec("UPDATE FUEL_POINTS SET FIXED = 0 WHERE SENSOR_VAL = 1900");
        database->exec("INSERT INTO FUEL_CHARGE VALUES (7, '" + today("08:00:00") + "', 1300, '" +
                       today("08:12:00") + "', 2500, 205)");
        database->exec("INSERT INTO FUEL_CHARGE VALUES (7, '" + today("17:40:00") + "', 700, '" +
                       today("17:55:00") + "', 1900, NULL)");
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
    }
    static QString today(const char *time) {
        return QDate::currentDate().toString("dd.MM.yyyy") + " " + QString::fromLatin1(time);
    }
};

} // namespace

TEST_F(FuelWindows, TheMainWindowsEntryPointsFollowTheConnection) {
    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    const TfmMain::Commands &c = main.commands();
    for (QAction *a : {c.createCalibPoint, c.showCalibTable, c.statCharges, c.showCharges})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_FALSE(c.statistics->isEnabled());
    c.dbConnect->trigger();
    ASSERT_TRUE(s.registry());
    for (QAction *a : {c.createCalibPoint, c.showCalibTable, c.statCharges, c.showCharges})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(c.statistics->isEnabled());
    // The grid's first row is selected when there is one.
    EXPECT_EQ(s.fuel().calibrationObject(), 7);
    s.live().selectObject(8, 2);
    EXPECT_EQ(s.fuel().calibrationObject(), 8);
    EXPECT_EQ(s.fuel().fuelChargesObject(), 8);
    // The report computations on the session's connection.
    EXPECT_DOUBLE_EQ(s.fuel().fuelComputations().GetFuelLitres(7, 1900), 250);

    // Each command opens its window modally for the selected object.
    QStringList seen;
    const auto closeModal = [&] {
        QTimer::singleShot(50, [&] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                return;
            seen << w->windowTitle();
            if (auto *charges = qobject_cast<TfmFuelCharges *>(w))
                seen << QString::number(charges->period().object);
            w->close();
        });
    };
    closeModal();
    c.showCalibTable->trigger();
    closeModal();
    c.createCalibPoint->trigger();
    closeModal();
    c.statCharges->trigger();
    EXPECT_EQ(seen,
              (QStringList{"Таблица тарировки для объекта № 8",
                           "Создание точки тарировки для объекта № 8", "Заправки за период", "8"}));
    c.dbDisconnect->trigger();
    EXPECT_FALSE(c.showCharges->isEnabled());
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(FuelWindows, TheCalibrationWindowDrawsTheTableAndMarksTheCurrentPoint) {
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TfmCalibration w(s.fuel(), s.guard());
    w.setObject(7);
    w.show();
    EXPECT_EQ(w.windowTitle(), "Таблица тарировки для объекта № 7");
    ASSERT_EQ(w.ui.grid->rowCount(), 7);
    ASSERT_EQ(w.ui.series->count(), 7);
    EXPECT_EQ(w.ui.axisX->titleText(), "Показания датчика, АЦП");
    EXPECT_EQ(w.ui.grid->item(3, 2)->checkState(), Qt::Unchecked); // FIXED 0
    const auto selected = [&] {
        std::vector<int> out;
        for (int i = 0; i < w.ui.series->count(); ++i)
            if (w.ui.series->isPointSelected(i))
                out.push_back(i);
        return out;
    };
    EXPECT_EQ(selected(), std::vector<int>{0});
    w.ui.grid->setCurrentCell(3, 0);
    EXPECT_EQ(selected(), std::vector<int>{3});
    // The marked point is painted blue, the others in the series colour.
    EXPECT_EQ(w.ui.series->selectedLightMarker().pixelColor(4, 4), QColor(Qt::blue));
    EXPECT_EQ(w.ui.series->lightMarker().pixelColor(4, 4), w.ui.series->color());
    QTest::qWait(100);
    screenshot(w, "TfmCalibration");

    // "Добавить" through the window: the point joins table and chart and becomes current.
    w.pointDialog = [](const QString &, QString &sensor, QString &volume) {
        sensor = "1600";
        volume = "200,5";
        return true;
    };
    w.ui.add->click();
    ASSERT_EQ(w.ui.series->count(), 8);
    EXPECT_EQ(w.ui.grid->item(3, 0)->text(), "1600");
    EXPECT_EQ(w.ui.grid->item(3, 1)->text(), "200,5");
    EXPECT_EQ(selected(), std::vector<int>{3});
    // "Нормализовать" re-reads: the point the table's order rejects (not fixed) goes.
    database->exec("UPDATE FUEL_POINTS SET FIXED = 0, FUEL_VAL = 100 WHERE ID = 7 AND "
                   "SENSOR_VAL = 1600");
    w.ui.normalize->click();
    EXPECT_EQ(w.ui.series->count(), 7);
    w.ui.close->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(dialogs.calls.empty());
    s.database().disconnectDatabase();
}

TEST_F(FuelWindows, ThePointDialogStartsFromTheObjectsReading) {
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TControllableObject *o = s.registry()->FindObject(7);
    o->FuelLevel = 2750;
    o->PackTime = dt::encode(2026, 12, 10, 9, 30);
    TfmCalibrationPoint dlg(s.fuel(), s.guard(), 7);
    EXPECT_EQ(dlg.edSensor->text(), "2750");
    EXPECT_EQ(dlg.edTime->text(), "10.12.2026 09:30:00");
    EXPECT_TRUE(dlg.edTime->isReadOnly());
    EXPECT_EQ(dlg.edVolume->text(), "0");
    dlg.show();
    screenshot(dlg, "TfmCalibrationPoint");
    dlg.edVolume->setText("601");
    dlg.btnCreate->click();
    EXPECT_EQ(dialogs.messages(), QStringList{"Неверное значение объема топлива!"});
    dlg.edVolume->setText("415");
    dlg.btnCreate->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(database->scalar("SELECT FUEL_VAL FROM FUEL_POINTS WHERE ID = 7 AND "
                               "SENSOR_VAL = 2750"),
              "415");
    s.database().disconnectDatabase();
}

// "Определить заправки" says how many refuellings the readings gave, in the window itself: two
// rises here, while the period also holds a refuelling entered by hand.
TEST_F(FuelWindows, TheRefuellingWindowSaysHowManyItFound) {
    QString readings;
    const std::pair<const char *, int> values[] = {
        {"10:00:00", 500}, {"10:10:00", 495}, {"10:20:00", 900}, {"10:30:00", 890},
        {"12:00:00", 700}, {"14:00:00", 500}, {"14:10:00", 495}, {"14:20:00", 900},
        {"14:30:00", 890}, {"16:00:00", 700}};
    for (const auto &[time, value] : values)
        database->exec("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL) "
                       "VALUES (8, '" +
                       today(time) + "', " + QString::number(value) + ")");
    database->exec("INSERT INTO FUEL_CHARGE VALUES (8, '" + today("20:00:00") + "', 300, '" +
                   today("20:10:00") + "', 900, 50)");
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TfmFuelCharges w(s.fuel(), s.guard(), 8);
    w.show();
    EXPECT_TRUE(w.ui.found->text().isEmpty());
    w.ui.detect->click();
    EXPECT_EQ(w.ui.grid->model()->rowCount(), 3);
    EXPECT_EQ(w.ui.found->text(), "Найдено заправок: 2");
    EXPECT_TRUE(w.ui.found->isVisible());
    EXPECT_TRUE(dialogs.calls.empty());
    w.charges().rollback();
    s.database().disconnectDatabase();
}

TEST_F(FuelWindows, TheRefuellingWindowShowsEditsAndAsksOnClosing) {
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TfmFuelCharges w(s.fuel(), s.guard(), 7);
    w.resize(760, 420);
    w.show();
    EXPECT_EQ(w.windowTitle(), "Заправки за период");
    EXPECT_EQ(w.ui.object->currentData().toInt(), 7);
    EXPECT_EQ(w.ui.startTime->time(), QTime(0, 0, 0));
    EXPECT_EQ(w.ui.endTime->time(), QTime(23, 59, 59));
    EXPECT_EQ(w.ui.threshold->value(), 100);
    EXPECT_EQ(w.ui.threshold->minimum(), 1);
    EXPECT_EQ(w.ui.threshold->maximum(), 2048);
    w.ui.show->click();
    ASSERT_EQ(w.ui.grid->model()->rowCount(), 2);
    // The grid's widths at least; wider where the font needs it.
    for (int col = 0; col < TFuelCharges::ColumnCount; ++col)
        EXPECT_GE(w.ui.grid->columnWidth(col), TFuelCharges::columnWidth(col)) << col;
    EXPECT_EQ(w.ui.grid->model()->index(0, TFuelCharges::colCalcVolume).data().toString(),
              "210,000");
    EXPECT_EQ(w.ui.grid->currentIndex().row(), 0);
    w.ui.next->click();
    EXPECT_EQ(w.charges().currentRow(), 1);
    EXPECT_EQ(w.ui.grid->currentIndex().row(), 1);
    w.ui.first->click();
    EXPECT_EQ(w.ui.grid->currentIndex().row(), 0);
    QTest::qWait(100);
    screenshot(w, "TfmFuelCharges");

    // The operator's volume typed into the grid and posted by the navigator.
    const QModelIndex volume = w.charges().index(1, TFuelCharges::colChargedVolume);
    w.ui.grid->setCurrentIndex(volume);
    w.ui.grid->edit(volume);
    QApplication::processEvents();
    auto *editor = w.ui.grid->viewport()->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    editor->setText("185,5");
    w.ui.navPost->click();
    EXPECT_EQ(volume.data().toString(), "185,5");

    // The record dialog puts the focus on the field it refuses.
    TfmAddCharge add(w.charges(), s.dialogs(), &w);
    add.showNew("7");
    add.show();
    QApplication::setActiveWindow(&add);
    add.ui.endReading->setText("abc");
    add.ui.save->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList{"В поле \"Показания датчика (оконч.)\" не числовое значение"});
    EXPECT_EQ(QApplication::focusWidget(), add.ui.endReading);
    EXPECT_EQ(add.ui.endReading->selectedText(), "abc");
    screenshot(add, "TfmAddCharge");
    add.reject();

    // Closing asks; No undoes the edit.
    dialogs.answers = {mbNo};
    w.ui.close->click();
    EXPECT_EQ(dialogs.calls.back().text, "Сохранить изменения в таблице заправок?");
    EXPECT_TRUE(database->isNull("SELECT CHARGED_VOLUME FROM FUEL_CHARGE WHERE ID = 7 AND "
                                 "OPEN_TANK_SENSOR = 700"));
    dialogs.expectDone();
    s.database().disconnectDatabase();
}
