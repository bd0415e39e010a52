// The main window bound to the session: the database, the registry and the state grid, on the
// real server.

#include "ui/MainBinder.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "maps/MapObjManager.h"
#include "maps/MapPanel.h"
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
#include "session/ServerMessages.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "ui/GroupPanel.h"
#include "ui/MainWindow.h"
#include "ui/StateGrid.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

TEST(MainBinder, ConnectingFillsTheGridAndEnablesTheServerCommands) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) VALUES (7, 'Семь', 1)");
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_VERSION) VALUES (3, 'Три', 1)");
    database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{G}', 'Депо')");
    database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (7, '{G}')");

    QTemporaryDir tmp;
    const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(f);
    TOptions options = options::Defaults(f);
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    TScriptedDialogs dialogs;
    {
        TClientSession links(options, dialogs);
        TfmMain main(links);
        TMainBinder binder(main, links, nullptr, nullptr);
        const TfmMain::Commands &c = main.commands();
        EXPECT_FALSE(c.serverConnect->isEnabled());

        c.dbConnect->trigger();
        ASSERT_TRUE(links.registry()) << dialogs.messages().join("\n").toStdString();
        EXPECT_EQ(links.database().connectionState(), 1);
        EXPECT_TRUE(c.tbDatabase->isChecked());
        EXPECT_TRUE(c.serverConnect->isEnabled());
        EXPECT_TRUE(c.dbDisconnect->isEnabled());
        EXPECT_FALSE(c.dbConnect->isEnabled());
        EXPECT_FALSE(c.execScript->isEnabled());
        EXPECT_TRUE(c.clearStatistics->isEnabled());
        EXPECT_EQ(main.statusText(0), "2 / 0");

        // The grid: objects by number, the first row selected; the tree and the pick list.
        TSostGridModel *model = main.stateGrid()->gridModel();
        ASSERT_EQ(model->rowCount(), 2);
        EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), "3");
        EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "№");
        EXPECT_EQ(main.stateGrid()->currentObjectText(), "3");
        EXPECT_EQ(main.groupPanel()->pickList()->count(), 4);
        main.groupPanel()->pickList()->setCurrentIndex(3); // "Депо"
        ASSERT_EQ(model->rowCount(), 1);
        EXPECT_EQ(model->data(model->index(0, 0), Qt::DisplayRole).toString(), "7");
        QTreeWidgetItem *root = main.groupPanel()->tree()->topLevelItem(0);
        ASSERT_TRUE(root);
        EXPECT_EQ(root->text(0), "Группы");
        ASSERT_EQ(root->childCount(), 1);
        EXPECT_EQ(root->child(0)->child(0)->text(0), "7 {Семь}");

        // Relay commands follow the connection of the selected row's object.
        // (through the object's item on the map, which the server's lines keep up to date)
        links.server().ProcessLine("s|s|cobj|7");
        EXPECT_TRUE(links.registry()->FindObject(7)->Connected);
        ASSERT_TRUE(links.map().items().Item(7));
        EXPECT_TRUE(links.map().items().Item(7)->connected());
        links.server().EnDisControlOuts(7);
        EXPECT_TRUE(c.relayControl->isEnabled());
        // Another object named leaves them as they are; the selected object's news decides.
        links.server().EnDisControlOuts(3);
        EXPECT_TRUE(c.relayControl->isEnabled());
        links.server().ProcessLine("c|7|cnev|d");
        EXPECT_FALSE(c.relayControl->isEnabled());
        EXPECT_FALSE(c.setupDevice->isEnabled());

        c.dbDisconnect->trigger();
        EXPECT_EQ(links.database().connectionState(), 0);
        EXPECT_FALSE(c.serverConnect->isEnabled());
        EXPECT_TRUE(c.dbConnect->isEnabled());
    }
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("\n").toStdString();
}

TEST(MainBinder, MapSwitchesSetTheVisualState) {
    QTemporaryDir tmp;
    const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(f);
    TOptions options = options::Defaults(f);
    TScriptedDialogs dialogs;
    TClientSession links(options, dialogs);
    TfmMain main(links);
    TMainBinder binder(main, links, nullptr, nullptr);
    const TfmMain::Commands &c = main.commands();
    EXPECT_EQ(links.map().items().visualState(), 288);
    c.tbShowAll->toggle();
    EXPECT_EQ(links.map().items().visualState(), 272); // the active object's marker and track
    c.tbShowNumbers->toggle();
    EXPECT_EQ(links.map().items().visualState(), 272 | 2);
    c.tbShowNumbers->toggle();
    EXPECT_EQ(links.map().items().visualState(), 272);
    c.tbShowAll->toggle();
    EXPECT_EQ(links.map().items().visualState(), 288);
    EXPECT_TRUE(dialogs.messages().isEmpty());
}
