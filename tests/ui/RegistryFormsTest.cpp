// The registry window with its object form, and the catalogue's windows, driven headless on the
// real server. With ZARNEX_SHOT_DIR set, the windows are also saved there as PNG files.

#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
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
#include "ui/DateBaseForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/ParamCatalogueForms.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void shot(QWidget *w, const char *name) {
    const QString dir = qEnvironmentVariable("ZARNEX_SHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(dir + "/" + name + ".png");
}

QStringList column(const QTableWidget *t, int c) {
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r)
        out << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return out;
}

class RegistryForms : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        for (const char *t : {"OBJ_GRP", "GROUPS", "OBJECTS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, "
                       "OBJ_TANKVOLUME) VALUES (12, 'Маневровый', 'М12', 812.5)");
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (4, 'Тепловоз')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{G}', 'Депо')");
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
    }

    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(RegistryForms, AddThroughTheFormThenEditByDoubleClick) {
    TClientSession session(options, dialogs);
    session.database().connectDatabase();
    ASSERT_TRUE(session.registry());
    TfmDateBase window(session.registryEdits(), session.guard());
    window.show();
    EXPECT_EQ(column(window.ui.list, 0), (QStringList{"4", "12"}));
    EXPECT_EQ(column(window.ui.list, 3), (QStringList{"0", "812,5"}));
    shot(&window, "registry-window");

    bool formSeen = false;
    QTimer::singleShot(0, [&] {
        auto *form = qobject_cast<TfmAddObject *>(QApplication::activeModalWidget());
        ASSERT_TRUE(form);
        formSeen = true;
        EXPECT_EQ(form->windowTitle(), "Добавление объекта");
        EXPECT_EQ(form->ui.group->currentText(), "нет группы");
        EXPECT_EQ(form->ui.timeZone->text(), "0");
        EXPECT_EQ(form->ui.delta->value(), 100);
        EXPECT_TRUE(form->ui.engineSensor->isChecked());
        EXPECT_FALSE(form->ui.tankSensor->isChecked());
        // A number that is no number: the message, the form stays.
        form->ui.number->setText("9a");
        form->ui.save->click();
        EXPECT_EQ(dialogs.messages(), QStringList{"В поле \"номер объекта\" не числовое значение"});
        EXPECT_TRUE(form->isVisible());
        form->ui.number->setText("9");
        form->ui.name->setText("Дрезина О'Брайена");
        form->ui.group->setCurrentIndex(1);
        form->ui.tankVolume->setText("300");
        shot(form, "object-form");
        form->ui.save->click();
    });
    window.ui.add->click();
    ASSERT_TRUE(formSeen);
    EXPECT_EQ(column(window.ui.list, 0), (QStringList{"4", "9", "12"}));
    EXPECT_EQ(window.selectedNumber(), 9);
    EXPECT_EQ(session.registry()->FindObject(9)->Name, "Дрезина О'Брайена");
    EXPECT_EQ(database->scalar("SELECT OG_GRPID FROM OBJ_GRP WHERE OG_OBJID = 9"), "{G}");

    formSeen = false;
    QTimer::singleShot(0, [&] {
        auto *form = qobject_cast<TfmAddObject *>(QApplication::activeModalWidget());
        ASSERT_TRUE(form);
        formSeen = true;
        EXPECT_EQ(form->windowTitle(), "Редактирование объекта №9");
        EXPECT_FALSE(form->ui.number->isEnabled());
        EXPECT_EQ(form->ui.name->text(), "Дрезина О'Брайена");
        EXPECT_EQ(form->ui.group->currentText(), "Депо");
        EXPECT_EQ(form->ui.tankVolume->text(), "300");
        form->ui.exit->click();
    });
    emit window.ui.list->cellDoubleClicked(1, 0);
    ASSERT_TRUE(formSeen);

    // Closing shows the new object in the state grid.
    window.ui.exit->click();
    const auto &shown = session.registry()->FDispObjects;
    EXPECT_EQ(shown.size(), 3u);
}

TEST_F(RegistryForms, TheSettingsWindowsCatalogueWorksWhileShown) {
    TParamGroupsPage page(dialogs);
    page.database = [] { return &database->db; };
    page.resize(900, 420);
    page.show();
    ASSERT_TRUE(page.editor());
    EXPECT_FALSE(page.ui.state->isVisible());
    const int available = page.ui.available->rowCount();
    ASSERT_GT(available, 1);

    // A new group, then the first ungrouped parameter into it.
    dialogs.texts = {"Отопление"};
    page.ui.addGroup->click();
    ASSERT_GT(page.ui.groups->rowCount(), 0);
    EXPECT_EQ(page.ui.groups->item(page.ui.groups->currentRow(), 0)->text(), "Отопление");
    const QString first = page.ui.available->item(0, 0)->text();
    page.ui.available->setCurrentCell(0, 0);
    page.ui.assign->click();
    EXPECT_EQ(column(page.ui.assigned, 0), QStringList{first});
    EXPECT_EQ(page.ui.available->rowCount(), available - 1);
    shot(&page, "settings-parameters");

    // Hidden, the page lets go of the database; shown again, it reads what was saved.
    page.hide();
    EXPECT_FALSE(page.editor());
    EXPECT_FALSE(page.ui.assign->isEnabled());
    page.show();
    ASSERT_TRUE(page.editor());
    EXPECT_EQ(page.ui.available->rowCount(), available - 1);
    page.hide();

    // Without a connection there is nothing to edit.
    page.database = [] { return static_cast<db::TDatabase *>(nullptr); };
    page.show();
    EXPECT_FALSE(page.editor());
    EXPECT_TRUE(page.ui.state->isVisible());
    EXPECT_EQ(page.ui.groups->rowCount(), 0);
}

TEST_F(RegistryForms, ColumnEditorRestoresTheDefaultSet) {
    database->exec("UPDATE PARAMS SET PRM_USEINSOSTQUERY = 0");
    TfmSostGridFields editor(database->db, dialogs);
    int changed = 0;
    QObject::connect(&editor, &TfmCatalogueColumns::columnsChanged, [&changed] { ++changed; });
    EXPECT_EQ(editor.ui.assigned->count(), 0);
    EXPECT_TRUE(editor.ui.defaults->isVisibleTo(&editor));
    EXPECT_FALSE(editor.ui.rename->isVisibleTo(&editor));
    editor.ui.defaults->click();
    EXPECT_GT(editor.ui.assigned->count(), 0);
    EXPECT_EQ(changed, 1);
    // Captions are shown on one line.
    for (int i = 0; i < editor.ui.assigned->count(); ++i)
        EXPECT_FALSE(editor.ui.assigned->item(i)->text().contains(';'));
    shot(&editor, "sost-grid-columns");
    editor.ui.up->click(); // the first row up: nothing written
    EXPECT_EQ(changed, 1);
}

TEST_F(RegistryForms, RegistryAndFieldSettingsCommandsNeedTheConnection) {
    TClientSession session(options, dialogs);
    TfmMain main(session);
    TMainBinder binder(main, session, nullptr, nullptr);
    const TfmMain::Commands &c = main.commands();
    for (QAction *a : {c.objects, c.exportSettings, c.importSettings})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    c.dbConnect->trigger();
    ASSERT_TRUE(session.database().connected());
    for (QAction *a : {c.objects, c.exportSettings, c.importSettings})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();

    // The export's file gets the default extension when it has none.
    dialogs.files = {{tmp.path() + "/fields"}};
    c.exportSettings->trigger();
    EXPECT_TRUE(QFile::exists(tmp.path() + "/fields.txt"));
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Настройки успешно экспортированны из базы данных во внешний файл"});
    c.dbDisconnect->trigger();
    EXPECT_FALSE(c.objects->isEnabled());
}
