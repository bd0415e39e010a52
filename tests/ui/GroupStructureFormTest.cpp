// The membership editor window and the object pick list, driven headless on the real server.

#include "ui/GroupStructureForm.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "ui/ObjectComboBox.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class GroupStructureForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        for (const char *t : {"OBJ_GRP", "GROUPS", "OBJECTS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        for (int n : {4, 12, 30, 7})
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (%1, "
                                   "'Маневровый %1')")
                               .arg(n));
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{G}', 'Депо')");
        database->exec("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (30, '{G}')");
        manager = std::make_unique<TManager>(database->settings, dialogs, cache.path() + "/");
        ASSERT_TRUE(manager->isConnected());
    }

    static QStringList texts(const QListWidget *l) {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    static void select(QListWidget *l, std::initializer_list<int> rows) {
        l->clearSelection();
        for (int r : rows)
            l->item(r)->setSelected(true);
    }
    static QString stored() {
        return database->scalar("SELECT LIST(OG_OBJID) FROM (SELECT OG_OBJID FROM OBJ_GRP WHERE "
                                "OG_GRPID = '{G}' ORDER BY OG_OBJID)");
    }

    TScriptedDialogs dialogs;
    QTemporaryDir cache;
    std::unique_ptr<TManager> manager;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(GroupStructureForm, ButtonsMoveEntriesAndSaveWritesTheGroup) {
    TGroup *g = manager->FindGroup("{G}");
    TfmGroupStructure form(*manager, g, dialogs);
    form.show();
    EXPECT_EQ(form.saveButton()->text(), "Сохранить");
    EXPECT_EQ(form.cancelButton()->text(), "Отмена");
    EXPECT_EQ(texts(form.availableList()),
              (QStringList{"4{Маневровый 4}", "7{Маневровый 7}", "12{Маневровый 12}"}));
    EXPECT_EQ(texts(form.assignedList()), (QStringList{"30{Маневровый 30}"}));

    select(form.availableList(), {0, 2});
    form.assignButton()->click();
    EXPECT_EQ(texts(form.availableList()), (QStringList{"7{Маневровый 7}"}));
    EXPECT_EQ(texts(form.assignedList()),
              (QStringList{"4{Маневровый 4}", "12{Маневровый 12}", "30{Маневровый 30}"}));

    select(form.assignedList(), {2});
    form.unassignButton()->click();
    EXPECT_EQ(texts(form.availableList()), (QStringList{"7{Маневровый 7}", "30{Маневровый 30}"}));

    form.assignAllButton()->click();
    EXPECT_EQ(form.availableList()->count(), 0);
    EXPECT_EQ(form.assignedList()->count(), 4);
    form.unassignAllButton()->click();
    EXPECT_EQ(form.assignedList()->count(), 0);
    select(form.availableList(), {1, 2});
    form.assignButton()->click();
    EXPECT_EQ(texts(form.assignedList()), (QStringList{"7{Маневровый 7}", "12{Маневровый 12}"}));

    form.saveButton()->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(stored(), "7,12");
    EXPECT_EQ(manager->FindObject(7)->Group, g);
    EXPECT_EQ(manager->FindObject(30)->Group, nullptr);
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(GroupStructureForm, CancelAReconnectAndARefusedSave) {
    {
        TfmGroupStructure form(*manager, manager->FindGroup("{G}"), dialogs);
        form.show();
        form.assignAllButton()->click();
        form.cancelButton()->click();
        EXPECT_EQ(form.result(), QDialog::Rejected);
        EXPECT_EQ(stored(), "30");
    }
    {
        // The database is lost: the error is shown and the editor stays open with its lists.
        TfmGroupStructure form(*manager, manager->FindGroup("{G}"), dialogs);
        form.show();
        form.assignAllButton()->click();
        manager->DisconnectFromDb();
        form.saveButton()->click();
        EXPECT_TRUE(form.isVisible());
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, "Database is not open");
        EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);
        EXPECT_EQ(form.assignedList()->count(), 4);
        EXPECT_EQ(manager->FindGroup("{G}")->FObjects.size(), 1u);

        // A reconnect replaces the manager: the editor closes without saving.
        manager.reset();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(form.result(), QDialog::Rejected);
        form.saveButton()->click(); // nothing to reach: no crash, no message
        EXPECT_EQ(dialogs.calls.size(), 1u);
    }
    EXPECT_EQ(stored(), "30");
}

TEST_F(GroupStructureForm, TheManagersRequestOpensTheEditor) {
    // Wired as the session binds it: the tree's command opens the editor and waits for it.
    bool saved = false;
    QObject::connect(manager.get(), &TManager::editGroupMembersRequested,
                     [&](TGroup *g) { saved = TfmGroupStructure::Edit(*manager, g, dialogs); });
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto *form = qobject_cast<TfmGroupStructure *>(QApplication::activeModalWidget());
        ASSERT_TRUE(form);
        seen = true;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr); // no busy cursor while editing
        form->assignAllButton()->click();
        form->saveButton()->click();
    });
    manager->EditGroupMembers(manager->FindGroup("{G}")->FNode);
    EXPECT_TRUE(seen);
    EXPECT_TRUE(saved);
    EXPECT_EQ(stored(), "4,7,12,30");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(GroupStructureForm, ObjectComboBoxCarriesTheNumbers) {
    QComboBox box;
    FillObjectComboBox(box, manager->ObjListToComboBox());
    ASSERT_EQ(box.count(), 4);
    EXPECT_EQ(box.itemText(0), "4");
    EXPECT_EQ(box.itemText(3), "30");
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(ComboBoxObjectNumber(box), 4);
    box.setCurrentIndex(2);
    EXPECT_EQ(ComboBoxObjectNumber(box), 12);
    FillObjectComboBox(box, TObjectPickList{});
    EXPECT_EQ(ComboBoxObjectNumber(box), std::nullopt);
}
