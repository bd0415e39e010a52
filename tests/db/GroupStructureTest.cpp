// The membership editor's lists and saving, and the object pick list, on the real server.

#include "db/GroupStructure.h"
#include "db/OnlineDb.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class GroupStructureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database) << "no database";
        for (const char *t : {"OBJ_GRP", "GROUPS", "OBJECTS"})
            database->exec(QString("DELETE FROM %1").arg(t));
        // Numbers chosen so that a text sort ("10" before "2") would show.
        const std::pair<int, const char *> objects[] = {
            {1, "Один"}, {2, "Два"}, {3, "Три"}, {10, "Десять"}, {11, "Один1"}, {20, "Двадцать"}};
        for (const auto &[n, name] : objects)
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (%1, '%2')")
                               .arg(n)
                               .arg(QString::fromUtf8(name)));
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{A}', 'Депо')");
        database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{B}', 'Резерв')");
        // A: 11, 2, 20; B: 3, 20. Object 20 is read last under B, so it is attached there.
        for (const auto &[n, g] : std::vector<std::pair<int, const char *>>{
                 {11, "{A}"}, {2, "{A}"}, {20, "{A}"}, {3, "{B}"}, {20, "{B}"}})
            database->exec(QString("INSERT INTO OBJ_GRP (OG_OBJID, OG_GRPID) VALUES (%1, '%2')")
                               .arg(n)
                               .arg(g));
    }

    std::unique_ptr<TManager> make() {
        auto m = std::make_unique<TManager>(database->settings, dialogs, cache.path() + "/");
        EXPECT_TRUE(m->isConnected());
        return m;
    }
    static QStringList numbers(const std::vector<TControllableObject *> &v) {
        QStringList out;
        for (auto *o : v)
            out << QString::number(o->Number);
        return out;
    }
    static QString stored(const char *group) {
        return database->scalar(QString("SELECT LIST(OG_OBJID) FROM (SELECT OG_OBJID FROM OBJ_GRP "
                                        "WHERE OG_GRPID = '%1' ORDER BY OG_OBJID)")
                                    .arg(group));
    }
    static QStringList children(const TTreeNode *n) {
        QStringList out;
        for (const auto &c : n->children)
            out << c->text;
        return out;
    }

    TScriptedDialogs dialogs;
    QTemporaryDir cache;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(GroupStructureTest, ListsOfferOnlyUngroupedObjectsInNumberOrder) {
    auto m = make();
    TGroupStructure a(*m, m->FindGroup("{A}"));
    EXPECT_TRUE(a.isValid());
    EXPECT_EQ(a.groupPath(), "Депо");
    EXPECT_EQ(a.assignedTexts(), (QStringList{"2{Два}", "11{Один1}", "20{Двадцать}"}));
    // 3 stands in B and is not offered.
    EXPECT_EQ(a.availableTexts(), (QStringList{"1{Один}", "10{Десять}"}));
    ASSERT_EQ(a.assigned().size(), 3u);
    EXPECT_EQ(a.assigned()[1].number, 11);

    TGroupStructure b(*m, m->FindGroup("{B}"));
    EXPECT_EQ(b.assignedTexts(), (QStringList{"3{Три}", "20{Двадцать}"}));
    EXPECT_EQ(b.availableTexts(), (QStringList{"1{Один}", "10{Десять}"}));
}

TEST_F(GroupStructureTest, MovesKeepBothListsInNumberOrder) {
    auto m = make();
    TGroupStructure s(*m, m->FindGroup("{A}"));
    s.assignSelected({1}); // 10
    EXPECT_EQ(s.assignedTexts(),
              (QStringList{"2{Два}", "10{Десять}", "11{Один1}", "20{Двадцать}"}));
    EXPECT_EQ(s.availableTexts(), (QStringList{"1{Один}"}));

    s.unassignSelected({3, 0, 7, 3}); // 20 and 2; a row past the end and a repeat are ignored
    EXPECT_EQ(s.assignedTexts(), (QStringList{"10{Десять}", "11{Один1}"}));
    EXPECT_EQ(s.availableTexts(), (QStringList{"1{Один}", "2{Два}", "20{Двадцать}"}));

    s.assignSelected({});
    EXPECT_EQ(s.availableTexts().size(), 3);

    s.assignAll();
    EXPECT_TRUE(s.available().empty());
    EXPECT_EQ(s.assignedTexts(),
              (QStringList{"1{Один}", "2{Два}", "10{Десять}", "11{Один1}", "20{Двадцать}"}));
    s.unassignAll();
    EXPECT_TRUE(s.assigned().empty());
    EXPECT_EQ(s.available().size(), 5u);

    // Nothing of this reaches the manager or the database before saving.
    EXPECT_EQ(numbers(m->FindGroup("{A}")->FObjects), (QStringList{"11", "2", "20"}));
    EXPECT_EQ(stored("{A}"), "2,11,20");
}

TEST_F(GroupStructureTest, SaveWritesTheMembersAndRefreshesTheTree) {
    auto m = make();
    TGroup *a = m->FindGroup("{A}");
    TGroupStructure s(*m, a);
    s.unassignSelected({1}); // 11
    s.assignSelected({1});   // 10
    ASSERT_TRUE(s.Save());

    EXPECT_EQ(stored("{A}"), "2,10,20");
    EXPECT_EQ(stored("{B}"), "3,20");
    EXPECT_EQ(numbers(a->FObjects), (QStringList{"2", "10", "20"}));
    for (int n : {2, 10, 20})
        EXPECT_EQ(m->FindObject(n)->Group, a) << n;
    EXPECT_EQ(m->FindObject(11)->Group, nullptr);
    EXPECT_EQ(m->FindObject(3)->Group, m->FindGroup("{B}"));
    EXPECT_EQ(numbers(m->FObjects), (QStringList{"1", "2", "3", "10", "11", "20"}));

    // The tree shows the new members under the group, which is expanded.
    ASSERT_TRUE(a->FNode);
    EXPECT_EQ(children(a->FNode), (QStringList{"2 {Два}", "10 {Десять}", "20 {Двадцать}"}));
    EXPECT_EQ(children(m->FindGroup("{B}")->FNode), (QStringList{"3 {Три}"}));
    EXPECT_TRUE(a->FNode->expanded);
    EXPECT_EQ(m->FLMGroup, a);

    // The freed object is offered again; a fresh manager reads the same membership.
    EXPECT_EQ(TGroupStructure(*m, a).availableTexts(), (QStringList{"1{Один}", "11{Один1}"}));
    auto again = make();
    EXPECT_EQ(TGroupStructure(*again, again->FindGroup("{A}")).assignedTexts(),
              (QStringList{"2{Два}", "10{Десять}", "20{Двадцать}"}));
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(GroupStructureTest, AnObjectLeavingOneOfItsGroupsStaysInTheOther) {
    auto m = make();
    TGroup *a = m->FindGroup("{A}");
    TGroup *b = m->FindGroup("{B}");
    ASSERT_EQ(m->FindObject(20)->Group, b);
    TGroupStructure s(*m, b);
    s.unassignSelected({1}); // 20
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(stored("{B}"), "3");
    EXPECT_EQ(stored("{A}"), "2,11,20");
    EXPECT_EQ(m->FindObject(20)->Group, a);
    EXPECT_EQ(children(a->FNode), (QStringList{"2 {Два}", "11 {Один1}", "20 {Двадцать}"}));
    // Still a member of A, so not offered to B.
    EXPECT_EQ(TGroupStructure(*m, b).availableTexts(), (QStringList{"1{Один}", "10{Десять}"}));
}

TEST_F(GroupStructureTest, SaveAfterTheManagerOrTheDatabaseIsGone) {
    {
        // A reconnect frees the manager: the editor must not touch it.
        auto m = make();
        TGroupStructure s(*m, m->FindGroup("{A}"));
        s.assignAll();
        m.reset();
        EXPECT_FALSE(s.isValid());
        EXPECT_FALSE(s.Save());
        EXPECT_EQ(stored("{A}"), "2,11,20");
    }
    {
        // The group was deleted meanwhile.
        auto m = make();
        TGroupStructure s(*m, m->FindGroup("{A}"));
        m->DeleteGroup(m->FindGroup("{A}")->FNode);
        EXPECT_FALSE(s.Save());
        EXPECT_EQ(stored("{A}"), "2,11,20");
    }
    database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{A}', 'Депо')");
    {
        // The database refuses: memory keeps the old members and attachments.
        auto m = make();
        TGroup *a = m->FindGroup("{A}");
        TGroupStructure s(*m, a);
        s.unassignAll();
        s.assignSelected({0}); // 1
        m->DisconnectFromDb();
        EXPECT_THROW(s.Save(), db::EDatabaseError);
        EXPECT_EQ(numbers(a->FObjects), (QStringList{"11", "2", "20"}));
        EXPECT_EQ(m->FindObject(2)->Group, a);
        EXPECT_EQ(m->FindObject(20)->Group, m->FindGroup("{B}"));
        EXPECT_EQ(m->FindObject(1)->Group, nullptr);
    }
    {
        // An object deleted while the editor was open is left out.
        auto m = make();
        TGroupStructure s(*m, m->FindGroup("{A}"));
        s.assignAll();
        m->DeleteObject(10);
        ASSERT_TRUE(s.Save());
        EXPECT_EQ(stored("{A}"), "1,2,11,20");
    }
}

TEST_F(GroupStructureTest, EditingMembersIsAskedForOnlyWhenAnEditorListens) {
    auto m = make();
    TGroup *a = m->FindGroup("{A}");
    m->FLMGroup = nullptr;
    m->EditGroupMembers(a->FNode); // nobody listens: nothing happens
    EXPECT_EQ(m->FLMGroup, nullptr);

    std::vector<TGroup *> asked;
    QObject::connect(m.get(), &TManager::editGroupMembersRequested,
                     [&asked](TGroup *g) { asked.push_back(g); });
    m->EditGroupMembers(&m->root());                  // not a group
    m->EditGroupMembers(a->FNode->children[0].get()); // an object node
    EXPECT_TRUE(asked.empty());
    m->EditGroupMembers(a->FNode);
    EXPECT_EQ(asked, (std::vector<TGroup *>{a}));
    EXPECT_EQ(m->FLMGroup, a);
}

TEST_F(GroupStructureTest, ObjectPickListHoldsEveryNumberInRegistryOrder) {
    auto m = make();
    m->AddObject(5, "Пять", 0, 0, 0, nullptr, ""); // appended, not sorted in
    const TObjectPickList list = m->ObjListToComboBox();
    QStringList texts;
    std::vector<int> nums;
    for (const TObjectPickEntry &e : list.entries) {
        texts << e.text;
        nums.push_back(e.number);
    }
    EXPECT_EQ(texts, (QStringList{"1", "2", "3", "10", "11", "20", "5"}));
    EXPECT_EQ(nums, (std::vector<int>{1, 2, 3, 10, 11, 20, 5}));
    EXPECT_EQ(list.selected, 0);

    for (int n : {1, 2, 3, 5, 10, 11, 20})
        m->DeleteObject(n);
    EXPECT_TRUE(m->ObjListToComboBox().entries.empty());
    EXPECT_EQ(m->ObjListToComboBox().selected, -1);
}
