// The fuel-drain windows bound to a connected session: the events panel with an alert left
// unconfirmed (the crane's marker flashing on the sample map) and its "Подтвердить" button;
// the drains window from the menus and from the refuelling window, with "Определить сливы"
// and the export. With ZARNEX_SCREENSHOT_DIR set, the main window with the alert and the
// drains window are saved there.

#include "app/Cp1251.h"
#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "link/SimProcess.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/ClientSession.h"
#include "session/DatabasePart.h"
#include "session/DrainsPart.h"
#include "session/LiveObjects.h"
#include "session/MapInteraction.h"
#include "ui/DrainEventsPanel.h"
#include "ui/DrainsForm.h"
#include "ui/FuelChargesForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void screenshot(QWidget &w, const QString &name) {
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}

struct DrainWindows : ::testing::Test {
    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::unique_ptr<onlinetest::TScriptDatabase> database;
    QString day;

    void SetUp() override {
        TFormatSettings::setCurrent(TFormatSettings::russian());
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
        options.AppLogin = QStringLiteral("диспетчер");
        database = onlinetest::makeDatabase();
        ASSERT_TRUE(database);
        // The crane on the building site, its tank read at 0.25 l a unit; the dump truck.
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, OBJ_TANKVOLUME, "
                       "OBJ_USEENGINEFORPARK, OBJ_LAT, OBJ_LNG, OBJ_TS) VALUES (2005, 'Кран КС', "
                       "'Кран', 250, 1, 3346.92, 2258.40, '" +
                       today("03:10:00") + "')");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME) VALUES (2006, "
                       "'Самосвал КамАЗ', 'КамАЗ')");
        database->exec("INSERT INTO FUEL_POINTS VALUES (2005, 0, 0, 1)");
        database->exec("INSERT INTO FUEL_POINTS VALUES (2005, 1000, 250, 1)");
        // The night's readings: 200 l standing, 40 l gone between 03:00 and 03:05.
        const TDateTime t0 = dt::dateOf(dt::now()) + dt::encodeTime(2, 30, 0);
        for (int i = 0; i <= 360; ++i) {
            const int raw = i <= 180 ? 800 : i >= 210 ? 640 : 800 - (i - 180) * 160 / 30;
            database->exec(
                QString("INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, "
                        "INS_FUELLEVEL, INS_ERRORAVTOPROTECT) VALUES (2005, '%1', %2, "
                        "0)")
                    .arg(dt::formatDateTime("dd.mm.yyyy hh:nn:ss", t0 + i * 10 / 86400.0),
                         QString::number(raw)));
        }
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
        options.Maps = {ZARNEX_BIN_DIR "/map/moscow-centre.map"};
        options.DefaultMap = 0;
    }
    QString today(const char *time) const {
        return QDate::currentDate().toString("dd.MM.yyyy") + " " + QString::fromLatin1(time);
    }
    // An alert raised on line and left unconfirmed, as another workstation stored it.
    void storeAlert(const char *begin, double before, double after) {
        database->exec(QString("INSERT INTO DRAIN_ALERTS (DRN_OBJECT, DRN_KIND, DRN_BEGIN, "
                               "DRN_LEVEL_BEFORE, DRN_LEVEL_AFTER, DRN_RAISED, DRN_LAT, DRN_LNG) "
                               "VALUES (2005, 0, '%1', %2, %3, '%1', 3346.92, 2258.40)")
                           .arg(today(begin), QString::number(before), QString::number(after)));
    }
};

} // namespace

TEST_F(DrainWindows, TheEventsPanelShowsTheAlertWithItsFlashingMarkerUntilConfirmed) {
    storeAlert("03:00:10", 200, 178.5);
    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    main.resize(1100, 760);
    main.show();
    s.map().openMaps();
    ASSERT_TRUE(waitUntil([&] { return s.map().panel().isMapReady(); }, 10000));
    main.commands().dbConnect->trigger();
    ASSERT_TRUE(s.registry());
    s.map().showObjectOnMap(2005);

    // The panel took the stored alert; its object flashes.
    auto *panel = qobject_cast<TDrainEventsPanel *>(main.eventsDock()->widget());
    ASSERT_TRUE(panel);
    const QAbstractItemModel *m = panel->table()->model();
    ASSERT_EQ(m->rowCount(), 1);
    EXPECT_TRUE(
        m->index(0, TDrainAlertsModel::colTime).data().toString().endsWith("03:00:10 – идёт"));
    EXPECT_EQ(m->index(0, TDrainAlertsModel::colObject).data().toString(), "2005 Кран");
    EXPECT_EQ(m->index(0, TDrainAlertsModel::colLitres).data().toString(), "21,5");
    EXPECT_FALSE(m->index(0, TDrainAlertsModel::colPlace).data().toString().isEmpty());
    TMarker *marker = s.map().items().Item(2005)->marker();
    EXPECT_TRUE(marker->FAlarm);
    EXPECT_TRUE(s.drains().tmrFlash.isActive());
    const bool lit = marker->FAlarmLit;
    s.drains().tmrFlashTimer();
    EXPECT_NE(marker->FAlarmLit, lit);
    if (!marker->FAlarmLit)
        s.drains().tmrFlashTimer();
    QApplication::processEvents();
    screenshot(main, "EventsPanelWithAnAlert");

    // "Подтвердить": stored with who and when, the button and the flashing go.
    auto *confirm = panel->table()->indexWidget(m->index(0, TDrainAlertsModel::colConfirm));
    ASSERT_TRUE(qobject_cast<QPushButton *>(confirm));
    EXPECT_EQ(qobject_cast<QPushButton *>(confirm)->text(), "Подтвердить");
    QTest::mouseClick(confirm, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return s.drains().flashing().isEmpty(); }, 3000));
    EXPECT_EQ(database->scalar("SELECT DRN_CONFIRMED_BY FROM DRAIN_ALERTS"), "диспетчер");
    EXPECT_FALSE(marker->FAlarm);
    EXPECT_FALSE(panel->table()->indexWidget(m->index(0, TDrainAlertsModel::colConfirm)));
    EXPECT_TRUE(m->index(0, TDrainAlertsModel::colConfirm)
                    .data()
                    .toString()
                    .startsWith("Подтвердил диспетчер, "));
    main.commands().dbDisconnect->trigger();
    EXPECT_EQ(m->rowCount(), 0);
    EXPECT_TRUE(dialogs.calls.empty()) << dialogs.calls.front().text.toStdString();
}

TEST_F(DrainWindows, TheDrainsWindowFindsListsAndExportsThePeriodsDrains) {
    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    const TfmMain::Commands &c = main.commands();
    EXPECT_FALSE(c.statDrains->isEnabled());
    c.dbConnect->trigger();
    ASSERT_TRUE(s.registry());
    EXPECT_TRUE(c.statDrains->isEnabled());
    EXPECT_TRUE(c.showDrains->isEnabled());

    // From the statistics menu, for the grid's object: today's stored drains (none yet); then
    // "Определить сливы" finds the night's drain in the readings.
    s.live().selectObject(2005, 1);
    const QString csv = tmp.path() + "/сливы.csv";
    dialogs.files.push_back({csv});
    bool opened = false;
    QTimer::singleShot(50, [&] {
        auto *w = qobject_cast<TfmDrains *>(QApplication::activeModalWidget());
        if (!w)
            return;
        opened = true;
        EXPECT_EQ(w->object(), 2005);
        EXPECT_EQ(w->ui.grid->model()->rowCount(), 0);
        w->ui.detect->click();
        ASSERT_EQ(w->ui.grid->model()->rowCount(), 1);
        const QAbstractItemModel *g = w->ui.grid->model();
        EXPECT_EQ(g->index(0, TDrainsTable::colLitres).data().toString(), "40,0");
        EXPECT_TRUE(g->index(0, TDrainsTable::colBegin).data().toString().endsWith("03:00:00"));
        EXPECT_TRUE(g->index(0, TDrainsTable::colEnd).data().toString().endsWith("03:05:00"));
        EXPECT_EQ(g->index(0, TDrainsTable::colKind).data().toString(), "по данным");
        EXPECT_EQ(w->ui.total->text(), "Сливов: 1, слито всего: 40,0 л");
        w->ui.exportList->click();
        screenshot(*w, "TfmDrains");
        w->close();
    });
    c.statDrains->trigger();
    ASSERT_TRUE(opened);
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList rows = cp1251::decode(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].startsWith("Номер;Начало слива;Конец слива;Уровень до, л;Уровень после, "
                                   "л;Слито, л;"))
        << rows[0].toStdString();
    EXPECT_TRUE(rows[1].contains(";40,0;")) << rows[1].toStdString();

    // Beside the refuellings: "Сливы..." opens the drains of the window's object and period.
    QStringList seen;
    QTimer::singleShot(50, [&] {
        auto *charges = qobject_cast<TfmFuelCharges *>(QApplication::activeModalWidget());
        if (!charges)
            return;
        ASSERT_TRUE(charges->ui.drains->isVisible());
        QTimer::singleShot(50, [&] {
            if (auto *w = qobject_cast<TfmDrains *>(QApplication::activeModalWidget())) {
                seen << QString::number(w->object())
                     << QString::number(w->ui.grid->model()->rowCount());
                w->close();
            }
        });
        charges->ui.drains->click();
        charges->ui.close->click();
    });
    c.statCharges->trigger();
    EXPECT_EQ(seen, (QStringList{"2005", "1"}));
    c.dbDisconnect->trigger();
    EXPECT_FALSE(c.statDrains->isEnabled());
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join('\n').toStdString();
}
