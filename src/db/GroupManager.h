#pragma once

// The registry of monitored objects and of the tree of object groups, with its own database
// connection. It keeps, free of widgets, what the group tree, the group pick list and the
// state grid show; the windows draw these models and forward the user's commands here.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "db/Database.h"
#include "online/ControllableObject.h"

class TDialogs;
class TGroup;
class TTrackFile;

// One node of the group tree: the root "Группы", a group or an object under its group.
struct TTreeNode {
    QString text;
    int image = -1;      // 0 group, 1 object
    int stateImage = -1; // 4 when the group is marked
    TGroup *group = nullptr;
    TControllableObject *object = nullptr;
    TTreeNode *parent = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> children;
    bool expanded = false;

    bool isRoot() const { return parent == nullptr; }
    bool isObject() const { return object != nullptr; }
    TTreeNode *addChild(const QString &text, int image);
};

class TGroup {
public:
    TTreeNode *FNode = nullptr;
    QString FID;
    QString FMasterID; // empty for a top-level group
    QString FName;
    QString FPath; // names from the top down, joined by "~"
    std::vector<TControllableObject *> FObjects;
    bool FIsMark = false;
    int Level = 0;
};

struct TParam {
    QString name;
    QString caption;
    QString desc;
};

// One entry of the group pick list; the first three have no node.
struct TPickEntry {
    QString text;
    TTreeNode *node = nullptr;
};

// What one state-grid cell shows.
struct TSostCell {
    QString text;
    int icon = -1;     // status lamp: 0 grey, 1 green, 2 red, 3 dark grey (old device)
    bool wrap = false; // wrapped and centred
};

// One entry of an object pick list and the list with its selected entry (-1: none).
struct TObjectPickEntry {
    QString text;
    int number = 0;
};
struct TObjectPickList {
    std::vector<TObjectPickEntry> entries;
    int selected = -1;
};

// Values for the arrow-indicator window, taken from the selected row.
struct TGaugeValues {
    double voltage = 0;
    double fuel = 0;
    int scale = 0;
    int upperMark = 0;
    int lowerMark = 0;
};

class TManager : public QObject {
    Q_OBJECT
public:
    // Opens the manager's own connection and, when it opens, loads groups, objects and
    // memberships. A connection that fails leaves an empty manager (isConnected() false).
    TManager(const db::TConnectionSettings &settings, TDialogs &dialogs,
             const QString &coordCacheDir, QObject *parent = nullptr);
    ~TManager() override;

    db::TDatabase FDatabase;
    std::vector<std::unique_ptr<TGroup>> FGroups;
    std::vector<TControllableObject *> FObjects;     // the registry (owned by the manager)
    std::vector<TControllableObject *> FDispObjects; // shown in the state grid
    std::vector<TParam> ParamsList;                  // one per state-grid column from 1
    TGroup *FLMGroup = nullptr;                      // last modified group

    // The tree, its root captioned "Группы".
    TTreeNode &root() { return *m_root; }
    TTreeNode *selectedNode() const { return m_selected; }
    void setSelectedNode(TTreeNode *node) { m_selected = node; }

    // The pick list and its selection; selecting runs the display filter.
    const std::vector<TPickEntry> &FViewList() const { return m_viewList; }
    int viewIndex() const { return m_viewIndex; }
    void selectView(int index);

    // The state grid: column 0 holds the numbers, columns from 1 the parameters.
    QStringList gridHeaders() const; // as shown: ";" replaced by a blank, "№" first
    const std::vector<int> &gridWidths() const { return m_widths; }
    void setGridWidth(int column, int width);
    int gridRowCount() const { return static_cast<int>(FDispObjects.size()) + 1; }
    TSostCell SostGridCell(int row, int col) const;
    // The selected row drives the gauges of the arrow-indicator window.
    void setSelectedRow(int row) { m_selectedRow = row; }
    int selectedRow() const { return m_selectedRow; }
    TGaugeValues gaugesFor(int row) const;

    // Loading.
    bool ConnectToDb();
    void DisconnectFromDb();
    bool isConnected() const { return FDatabase.isOpen(); }
    void LoadGroupsFromDB();
    void LoadObjectsFromDB();
    void LoadGrpObjRelations();

    TControllableObject *AddObject(int number, const QString &name, int tz, int fcs, int fcw,
                                   TGroup *Grp, const QString &shortName);
    void DeleteObject(int Number);
    // The object leaves its group's member list (when it had a group) and joins Grp's (none:
    // nullptr), which becomes the last modified group.
    void MoveObjectToGroup(TControllableObject *o, TGroup *Grp);

    // Group commands of the tree's context menu.
    static QStringList GroupMenuCaptions();
    void AddNewGroup();
    void DeleteGroup(TTreeNode *node);
    bool NodeEditing(TTreeNode *node) const;
    void NodeEdited(TTreeNode *node, const QString &newName);
    void MarkGroyp(TTreeNode *node);
    void DeMarkGroyp(TTreeNode *node);
    // Asks for the membership editor of the node's group (editGroupMembersRequested); nothing
    // happens while no editor is connected.
    void EditGroupMembers(TTreeNode *node);

    void SyncDBObjGrpWithList(TGroup *Group);
    bool RefreshGroups();
    bool RefreshGroupsTree();
    bool RefreshGroupsList();
    bool RefreshObjGroupRelations();
    void ExpandParents();
    void SortObjects();
    void RestructSostGridFields();
    void RestructSostGridObjects();
    void LoadSostGridColWidth();
    void SaveSostGridColWidth();

    void ResetHadOnlineDataState();
    void SetAllObjectsDisconnected();
    int GroupsCount() const { return static_cast<int>(FGroups.size()); }
    int ObjectsCount() const { return static_cast<int>(FObjects.size()); }
    QString AllObjConnectObjRatio() const;
    TControllableObject *ObjectAt(int index) const;
    TGroup *GroupAt(int index) const;
    TControllableObject *FindObject(int number) const;
    TGroup *FindGroup(const QString &id) const;
    // The entries of an object pick list: every object's number in FObjects order, the first
    // selected. Entries carry numbers, never pointers, so a reconnect cannot leave a list
    // pointing at freed objects.
    TObjectPickList ObjListToComboBox() const;

    // Recording of the on-line state; the caller owns the transaction and commits.
    void ObjSostToDB(int ObjNumber, db::TTransaction &TR);
    void ObjSostToInputSignalTable(TControllableObject *obj, db::TTransaction &TR);
    void ObjSostToInputSignalTable(int ObjNumber, db::TTransaction &TR);
    static void ObjCoordsToCoordsTable(const TControllableObject *obj, TTrackFile *curr_file);
    void ObjCoordsToCoordsTable(int ObjNumber, TTrackFile *curr_file);
    // The statements as they are sent (exposed for tests).
    static QString ObjSostToDBSql(const TControllableObject &o);
    static QString ObjSostToInputSignalSql(const TControllableObject &o);

signals:
    void treeChanged();
    void viewListChanged();
    void gridColumnsChanged();
    void gridRowsChanged();
    void gridInvalidated();
    void expandRequested();
    // The user asked to edit the members of this group (the group is the last modified one).
    void editGroupMembersRequested(TGroup *group);

private:
    void addSubgroups(TTreeNode *node);
    void fillView(TGroup *group, bool recursive);
    void deleteGroupRecursive(TTreeNode *node);
    int indexOfPath(const QString &path) const;

    TDialogs &m_dialogs;
    QString m_coordCacheDir;
    db::TConnectionSettings m_settings;
    std::unique_ptr<TTreeNode> m_root;
    TTreeNode *m_selected = nullptr;
    std::vector<std::unique_ptr<TControllableObject>> m_owned;
    std::vector<TPickEntry> m_viewList;
    int m_viewIndex = -1;
    int m_listChangeIteration = 0;
    std::vector<int> m_widths{50};
    QStringList m_captions{QStringLiteral("№")};
    int m_selectedRow = -1;
};

// Converts the object's FuelLevel to litres with its calibration table (capped by TankVolume)
// and stores the fuel level and the position in the object's row. Runs on the given connection
// in transactions of its own; database errors are raised to the caller.
void RecalcParams(TControllableObject &o, db::TDatabase &database);
