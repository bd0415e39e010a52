// The main window's companions: the indicators' window above it naming its object, the group
// tree that opens as it was left and follows the grid, the pick list never blank, and the
// commands' icons with the map-type button showing the map in view.

#include "app/Dialogs.h"
#include "app/IniFile.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "session/ClientSession.h"
#include "ui/ArrowIndicators.h"
#include "ui/GroupPanel.h"
#include "ui/Icons.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/OptionsForm.h"
#include "ui/StateGrid.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeWidget>
#include <functional>

#include <gtest/gtest.h>

namespace {

struct MainWindowLook : ::testing::Test {
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
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) "
                       "VALUES (1001, 'Тепловоз', 1)");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) "
                       "VALUES (1002, 'Маневровый', 1)");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{A}', 'Депо')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{B}', 'Станция')");
        database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (1001, '{A}')");
        database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (1002, '{B}')");
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
    }
};

QTreeWidgetItem *findItem(QTreeWidget *tree, const QString &text) {
    const QList<QTreeWidgetItem *> found =
        tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

int rowOf(TSostGridModel *model, int number) {
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->data(model->index(r, 0), Qt::DisplayRole).toString() == QString::number(number))
            return r;
    return -1;
}

} // namespace

TEST_F(MainWindowLook, IndicatorsStayWithTheMainWindowAndNameTheirObject) {
    TClientSession session(options, dialogs);
    TfmMain main(session);
    TfmArrowIndicators arrows(&main);
    TMainBinder binder(main, session, &arrows, nullptr);
    // A tool window of the main window: the window manager keeps it above its parent.
    EXPECT_TRUE(arrows.isWindow());
    EXPECT_EQ(arrows.windowType(), Qt::Tool);
    EXPECT_EQ(arrows.parentWidget(), &main);
    EXPECT_EQ(arrows.windowTitle(), "Индикаторы: объект не выбран");

    main.commands().dbConnect->trigger();
    ASSERT_TRUE(session.registry());
    TSostGrid *grid = main.stateGrid();
    const int row = rowOf(grid->gridModel(), 1002);
    ASSERT_GE(row, 0);
    grid->setCurrentIndex(grid->gridModel()->index(row, 0));
    EXPECT_EQ(arrows.windowTitle(), "Индикаторы: объект № 1002 — Маневровый");
    EXPECT_EQ(arrows.objectCaption(), "объект № 1002 — Маневровый");
}

TEST_F(MainWindowLook, TheGroupTreeOpensAsLeftFollowsTheGridAndThePickListIsNeverBlank) {
    {
        TClientSession session(options, dialogs);
        TfmMain main(session);
        TfmOptions form(options, &main, nullptr, dialogs, &main);
        // The window read the (missing) settings file: the test's database again.
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
        TMainBinder binder(main, session, nullptr, &form);
        main.commands().dbConnect->trigger();
        ASSERT_TRUE(session.registry());
        TGroupPanel *panel = main.groupPanel();
        QTreeWidget *tree = panel->tree();
        QTreeWidgetItem *depot = findItem(tree, "Депо");
        QTreeWidgetItem *station = findItem(tree, "Станция");
        ASSERT_TRUE(depot && station);
        EXPECT_FALSE(station->isExpanded());

        // The tree follows the grid: the row's object opens its group and becomes current.
        TSostGrid *grid = main.stateGrid();
        grid->setCurrentIndex(grid->gridModel()->index(rowOf(grid->gridModel(), 1002), 0));
        ASSERT_TRUE(tree->currentItem());
        EXPECT_EQ(tree->currentItem()->text(0), "1002 {Маневровый}");
        EXPECT_TRUE(findItem(tree, "Станция")->isExpanded());
        findItem(tree, "Депо")->setExpanded(false);
        EXPECT_EQ(panel->expandedGroups(), (QStringList{"{B}"}));

        // A refilled pick list shows its entry (the manager shows all objects again).
        panel->pickList()->setCurrentIndex(4);
        session.registry()->RefreshGroupsList();
        EXPECT_EQ(panel->pickList()->currentIndex(), 0);
        EXPECT_EQ(panel->pickList()->currentText(), "Все объекты");

        // A reconnection keeps the open groups (and the grid's first row opens its own); the
        // settings take them.
        main.commands().dbDisconnect->trigger();
        main.commands().dbConnect->trigger();
        ASSERT_TRUE(session.registry());
        EXPECT_TRUE(findItem(tree, "Станция")->isExpanded());
        findItem(tree, "Депо")->setExpanded(false);
        ASSERT_TRUE(form.Apply()); // as at closing
        main.commands().dbDisconnect->trigger();
    }
    TIniFile ini(SettingsFileName());
    ini.load();
    EXPECT_EQ(ini.readString("Auto", "ExpandedGroups", ""), "{B}");

    // The next start opens the tree as it was left.
    TOptions next = options::Defaults(Folders());
    TClientSession session(next, dialogs);
    TfmMain main(session);
    TfmOptions form(next, &main, nullptr, dialogs, &main);
    EXPECT_EQ(next.ExpandedGroups, (QStringList{"{B}"}));
    next.DBServ = database->settings.server;
    next.DBPath = database->settings.path;
    TMainBinder binder(main, session, nullptr, &form);
    main.commands().dbConnect->trigger();
    ASSERT_TRUE(session.registry());
    QTreeWidget *tree = main.groupPanel()->tree();
    ASSERT_TRUE(findItem(tree, "Станция"));
    EXPECT_TRUE(findItem(tree, "Станция")->isExpanded());
    main.commands().dbDisconnect->trigger();
}

TEST(MainWindowIcons, EveryShippedDrawingRendersAndTheCommandsCarryIcons) {
    // Each shipped drawing paints a fair part of its square (a parser fault leaves it blank).
    const QStringList drawings = QDir(":/icons").entryList({"*.svg"});
    EXPECT_GE(drawings.size(), 30);
    for (const QString &file : drawings) {
        const QImage img = ShippedIconPixmap(file.chopped(4), 24).toImage();
        int painted = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                painted += qAlpha(img.pixel(x, y)) > 64;
        EXPECT_GT(painted, 24) << file.toStdString();
    }

    QTemporaryDir tmp;
    SetFolders(ComputeFolders(tmp.path() + "/zarnex-client"));
    TOptions options = options::Defaults(Folders());
    TScriptedDialogs dialogs;
    TClientSession session(options, dialogs);
    TfmMain main(session);
    QStringList bare;
    const QToolBar *bar = main.findChild<QToolBar *>("mainToolBar");
    ASSERT_TRUE(bar);
    for (QAction *a : bar->actions())
        if (!a->isSeparator() && a->icon().isNull())
            bare << a->text();
    std::function<void(QMenu *)> walk = [&](QMenu *m) {
        for (QAction *a : m->actions()) {
            if (a->menu())
                walk(a->menu());
            else if (!a->isSeparator() && a->icon().isNull() && m != main.commands().relayControl)
                bare << a->text();
        }
    };
    for (QAction *top : main.menuBar()->actions())
        walk(top->menu());
    walk(main.gridContextMenu());
    EXPECT_TRUE(bare.isEmpty()) << bare.join(", ").toStdString();

    // The map-type button shows the map in view.
    QAction *kind = main.commands().tbMapSelect;
    const qint64 raster = kind->icon().cacheKey();
    EXPECT_EQ(kind->iconText(), "Растровая карта");
    main.showWebMapView(true, nullptr);
    EXPECT_EQ(kind->iconText(), "Интернет-карта");
    EXPECT_NE(kind->icon().cacheKey(), raster);
    EXPECT_TRUE(kind->toolTip().contains("интернет-карта"));
    main.showWebMapView(false, nullptr);
    EXPECT_EQ(kind->iconText(), "Растровая карта");
}
