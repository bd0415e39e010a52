#include "db/GroupManager.h"

#include "app/Dialogs.h"
#include "app/FormatSettings.h"
#include "app/SqlLiteral.h"
#include "tracks/FileManager.h"

#include <QDir>
#include <QMetaMethod>
#include <QUuid>

#include <algorithm>
#include <cmath>

TTreeNode *TTreeNode::addChild(const QString &t, int img) {
    auto n = std::make_unique<TTreeNode>();
    n->text = t;
    n->image = img;
    n->parent = this;
    children.push_back(std::move(n));
    return children.back().get();
}

TManager::TManager(const db::TConnectionSettings &settings, TDialogs &dialogs,
                   const QString &coordCacheDir, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_coordCacheDir(coordCacheDir), m_settings(settings) {
    m_root = std::make_unique<TTreeNode>();
    m_root->text = QStringLiteral("Группы");
    if (ConnectToDb()) {
        LoadGroupsFromDB();
        LoadObjectsFromDB();
        LoadGrpObjRelations();
    }
}

TManager::~TManager() {
    FDispObjects.clear();
    DisconnectFromDb();
}

bool TManager::ConnectToDb() {
    try {
        FDatabase.open(m_settings);
        return true;
    } catch (const db::EDatabaseError &e) {
        m_dialogs.message(QStringLiteral("Manager: connect to database error.\r\n( ") + e.text() +
                              QStringLiteral(" )"),
                          QString(), TMsgIcon::Error);
        return false;
    }
}

void TManager::DisconnectFromDb() {
    try {
        FDatabase.close();
    } catch (const db::EDatabaseError &e) {
        m_dialogs.message(QStringLiteral("Manager: disconnect from database error.\r\n( ") +
                              e.text() + QStringLiteral(" )"),
                          QString(), TMsgIcon::Error);
        FDatabase.forceClose();
    }
}

// ---- loading

void TManager::LoadGroupsFromDB() {
    try {
        db::TTransaction tr(FDatabase, db::TTransactionKind::SnapshotRead);
        tr.start();
        db::TQuery q(tr, QStringLiteral("SELECT * FROM GROUPS"));
        q.open();
        while (q.next()) {
            auto g = std::make_unique<TGroup>();
            g->FID = q.field(QStringLiteral("GRP_ID")).asString();
            g->FMasterID = q.field(QStringLiteral("GRP_MASTERID")).asString();
            g->FName = q.field(QStringLiteral("GRP_NAME")).asString();
            FGroups.push_back(std::move(g));
        }
        q.close();
        tr.commit();
        RefreshGroups();
    } catch (const std::exception &e) {
        m_dialogs.message(QStringLiteral("Manager: LoadGroupsFromDB error.\r\n( ") +
                              QString::fromStdString(e.what()) + QStringLiteral(" )"),
                          QString(), TMsgIcon::Error);
    }
}

void TManager::LoadObjectsFromDB() {
    try {
        db::TTransaction tr(FDatabase, db::TTransactionKind::Read);
        tr.start();
        db::TQuery q(tr, QStringLiteral("SELECT * FROM OBJECTS ORDER BY OBJ_NUMBER"));
        q.open();
        while (q.next()) {
            auto o = std::make_unique<TControllableObject>();
            auto f = [&q](const char *name) { return q.field(QString::fromLatin1(name)); };
            o->Number = f("OBJ_NUMBER").asInteger();
            if (const db::TValue packTime = f("OBJ_PACKTIME"); !packTime.isNull())
                o->PackTime = packTime.asDateTime();
            o->Name = f("OBJ_NAME").asString();
            o->ShortName = f("OBJ_SHORTNAME").asString();
            o->desc = f("OBJ_DESC").asString();
            o->FuelLevel = f("OBJ_FUELLEVEL").asInteger();
            o->FuelLevelL = f("OBJ_FUELLEVELL").asDouble();
            o->BoardVoltage = f("OBJ_BOARDVOLTAGE").asInteger();
            o->Temperature = f("OBJ_TEMPERATURE").asDouble();
            o->TankCoverSensor = f("OBJ_LOCOMOTIVEMOVE").asInteger();
            o->KungTrailer = f("OBJ_WARNINGMODE").asInteger();
            o->V24Gen = f("OBJ_ERRORAVTOPROTECT").asInteger();
            o->ExOut1 = f("OBJ_DIESELWORK").asInteger();
            o->ExOut2 = f("OBJ_ABVOLTAGELESSMIN").asInteger();
            o->AlertBtn = f("OBJ_ALERTBTN").asInteger();
            o->TankVolume = static_cast<int>(f("OBJ_TANKVOLUME").asDouble());
            o->FuelConsW = static_cast<int>(f("OBJ_FUELCONSW").asDouble());
            o->FuelConsS = static_cast<int>(f("OBJ_FUELCONSS").asDouble());
            o->TimeZone = f("OBJ_TIMEZONE").asInteger();
            o->Version = f("OBJ_VERSION").asInteger();
            o->UseEngineForPark = f("OBJ_USEENGINEFORPARK").asInteger();
            o->Lat = f("OBJ_LAT").asDouble();
            o->Lng = f("OBJ_LNG").asDouble();
            o->LastTextLat = f("OBJ_TEXT_LAT").asDouble();
            o->LastTextLng = f("OBJ_TEXT_LNG").asDouble();
            o->TS = f("OBJ_TS").asDateTime();
            o->TankCoverSensorL = o->TankCoverSensor;
            if (o->FuelLevelL > o->TankVolume)
                o->FuelLevelL = o->TankVolume;
            o->track.num = o->Number;
            QDir().mkpath(m_coordCacheDir + QString::number(o->Number));
            FObjects.push_back(o.get());
            m_owned.push_back(std::move(o));
        }
        q.close();
        tr.commit();
    } catch (const std::exception &) {
        // What was loaded stays; the rest of the registry is simply absent.
    }
}

void TManager::LoadGrpObjRelations() {
    try {
        db::TTransaction tr(FDatabase, db::TTransactionKind::SnapshotRead);
        tr.start();
        db::TQuery q(tr, QStringLiteral("SELECT * FROM OBJ_GRP"));
        q.open();
        while (q.next()) {
            TControllableObject *o = FindObject(q.field(QStringLiteral("OG_OBJID")).asInteger());
            if (!o)
                continue;
            TGroup *g = FindGroup(q.field(QStringLiteral("OG_GRPID")).asString());
            if (!g)
                continue;
            o->Group = g;
            g->FObjects.push_back(o);
        }
        q.close();
        tr.commit();
    } catch (const std::exception &) {
    }
    RefreshGroups();
}

// ---- objects

TControllableObject *TManager::AddObject(int number, const QString &name, int tz, int fcs, int fcw,
                                         TGroup *Grp, const QString &shortName) {
    auto o = std::make_unique<TControllableObject>();
    o->Number = number;
    o->Name = name;
    o->ShortName = shortName;
    o->FuelConsS = fcs;
    o->FuelConsW = fcw;
    o->TimeZone = tz;
    o->Group = Grp;
    o->track.num = number;
    TControllableObject *raw = o.get();
    if (Grp) {
        Grp->FObjects.push_back(raw);
        FLMGroup = Grp;
    }
    FObjects.push_back(raw);
    m_owned.push_back(std::move(o));
    return raw;
}

void TManager::DeleteObject(int Number) {
    auto it = std::find_if(FObjects.begin(), FObjects.end(),
                           [Number](TControllableObject *o) { return o->Number == Number; });
    if (it == FObjects.end())
        return;
    TControllableObject *o = *it;
    FLMGroup = o->Group;
    FObjects.erase(it);
    FDispObjects.erase(std::remove(FDispObjects.begin(), FDispObjects.end(), o),
                       FDispObjects.end());
    for (auto &g : FGroups)
        g->FObjects.erase(std::remove(g->FObjects.begin(), g->FObjects.end(), o),
                          g->FObjects.end());
    m_owned.erase(
        std::remove_if(m_owned.begin(), m_owned.end(), [o](const auto &p) { return p.get() == o; }),
        m_owned.end());
}

void TManager::MoveObjectToGroup(TControllableObject *o, TGroup *Grp) {
    if (TGroup *old = o->Group)
        old->FObjects.erase(std::remove(old->FObjects.begin(), old->FObjects.end(), o),
                            old->FObjects.end());
    if (Grp && std::find(Grp->FObjects.begin(), Grp->FObjects.end(), o) == Grp->FObjects.end())
        Grp->FObjects.push_back(o);
    o->Group = Grp;
    if (Grp)
        FLMGroup = Grp;
}

TControllableObject *TManager::ObjectAt(int index) const {
    return index >= 0 && index < ObjectsCount() ? FObjects[static_cast<size_t>(index)] : nullptr;
}

TGroup *TManager::GroupAt(int index) const {
    return index >= 0 && index < GroupsCount() ? FGroups[static_cast<size_t>(index)].get()
                                               : nullptr;
}

TControllableObject *TManager::FindObject(int number) const {
    for (TControllableObject *o : FObjects)
        if (o->Number == number)
            return o;
    return nullptr;
}

TGroup *TManager::FindGroup(const QString &id) const {
    for (const auto &g : FGroups)
        if (g->FID == id)
            return g.get();
    return nullptr;
}

TObjectPickList TManager::ObjListToComboBox() const {
    TObjectPickList list;
    for (const TControllableObject *o : FObjects)
        list.entries.push_back({QString::number(o->Number), o->Number});
    if (!list.entries.empty())
        list.selected = 0;
    return list;
}

void TManager::ResetHadOnlineDataState() {
    for (TControllableObject *o : FObjects)
        o->HadOnlineData = false;
}

void TManager::SetAllObjectsDisconnected() {
    for (TControllableObject *o : FObjects)
        o->Connected = false;
    emit gridInvalidated();
}

QString TManager::AllObjConnectObjRatio() const {
    const auto connected =
        std::count_if(FObjects.begin(), FObjects.end(), [](auto *o) { return o->Connected; });
    return QString::number(FObjects.size()) + QStringLiteral(" / ") + QString::number(connected);
}

void TManager::SortObjects() {
    // Selection sort: the first of equal numbers wins, as the pick list expects.
    auto sortList = [](std::vector<TControllableObject *> &v) {
        for (size_t i = 0; i < v.size(); ++i) {
            size_t m = i;
            for (size_t j = i + 1; j < v.size(); ++j)
                if (v[j]->Number < v[m]->Number)
                    m = j;
            std::swap(v[i], v[m]);
        }
    };
    sortList(FObjects);
    sortList(FDispObjects);
}

// ---- tree and pick list

bool TManager::RefreshGroups() {
    const bool a = RefreshGroupsTree();
    const bool b = RefreshGroupsList();
    const bool c = RefreshObjGroupRelations();
    emit treeChanged();
    return a && b && c;
}

void TManager::addSubgroups(TTreeNode *node) {
    for (auto &g : FGroups) {
        if (!g->FMasterID.isEmpty() && g->FMasterID == node->group->FID) {
            g->FNode = node->addChild(g->FName, 0);
            g->FNode->group = g.get();
            g->FNode->stateImage = g->FIsMark ? 4 : -1;
            g->Level = node->group->Level + 1;
            addSubgroups(g->FNode);
        }
    }
}

bool TManager::RefreshGroupsTree() {
    try {
        m_selected = nullptr;
        m_root->children.clear();
        for (auto &g : FGroups)
            g->FNode = nullptr;
        for (auto &g : FGroups) {
            if (g->FMasterID.isEmpty()) {
                g->FNode = m_root->addChild(g->FName, 0);
                g->FNode->group = g.get();
                g->FNode->stateImage = g->FIsMark ? 4 : -1;
                g->Level = 1;
                addSubgroups(g->FNode);
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool TManager::RefreshGroupsList() {
    try {
        m_viewList.clear();
        m_viewList.push_back({QStringLiteral("Все объекты"), nullptr});
        m_viewList.push_back({QStringLiteral("Отмеченные группы"), nullptr});
        m_viewList.push_back({QStringLiteral("Все группы"), nullptr});
        std::function<void(TTreeNode *, const QString &)> walk = [&](TTreeNode *n,
                                                                     const QString &prefix) {
            for (auto &c : n->children) {
                if (!c->group)
                    continue;
                const QString path = prefix.isEmpty() ? c->group->FName
                                                      : prefix + QLatin1Char('~') + c->group->FName;
                c->group->FPath = path;
                m_viewList.push_back({path, c.get()});
                walk(c.get(), path);
            }
        };
        walk(m_root.get(), QString());
        m_viewIndex = -1;
        emit viewListChanged();
        selectView(0);
        return true;
    } catch (...) {
        return false;
    }
}

bool TManager::RefreshObjGroupRelations() {
    try {
        for (TControllableObject *o : FObjects) {
            TGroup *g = o->Group;
            if (!g || !g->FNode)
                continue;
            const bool known = std::any_of(FGroups.begin(), FGroups.end(),
                                           [g](const auto &p) { return p.get() == g; });
            if (!known)
                continue;
            TTreeNode *n = g->FNode->addChild(
                QString::number(o->Number) + QStringLiteral(" {") + o->Name + QLatin1Char('}'), 1);
            n->object = o;
        }
        return true;
    } catch (...) {
        return false;
    }
}

void TManager::ExpandParents() {
    if (FLMGroup && FLMGroup->FNode)
        for (TTreeNode *n = FLMGroup->FNode; n; n = n->parent)
            n->expanded = true;
    m_root->expanded = true;
    emit expandRequested();
}

int TManager::indexOfPath(const QString &path) const {
    for (size_t i = 3; i < m_viewList.size(); ++i)
        if (m_viewList[i].text == path)
            return static_cast<int>(i);
    return -1;
}

void TManager::fillView(TGroup *group, bool recursive) {
    if (!recursive)
        FDispObjects.clear();
    FDispObjects.insert(FDispObjects.end(), group->FObjects.begin(), group->FObjects.end());
    const int keep = m_viewIndex;
    for (auto &g : FGroups) {
        if (!g->FMasterID.isEmpty() && g->FMasterID == group->FID) {
            ++m_listChangeIteration;
            m_viewIndex = indexOfPath(g->FPath);
            fillView(g.get(), true);
        }
    }
    m_listChangeIteration = 0;
    m_viewIndex = keep;
}

void TManager::selectView(int index) {
    if (index < 0 || index >= static_cast<int>(m_viewList.size()))
        return;
    m_viewIndex = index;
    if (index == 0) {
        FDispObjects = FObjects;
    } else if (index == 1 || index == 2) {
        FDispObjects.clear();
        for (auto &g : FGroups)
            if (index == 2 || g->FIsMark)
                FDispObjects.insert(FDispObjects.end(), g->FObjects.begin(), g->FObjects.end());
    } else if (TTreeNode *n = m_viewList[static_cast<size_t>(index)].node; n && n->group) {
        fillView(n->group, false);
    }
    SortObjects();
    RestructSostGridObjects();
}

// ---- group commands

QStringList TManager::GroupMenuCaptions() {
    return {QStringLiteral("Создать группу"),       QStringLiteral("Удалить группу"),
            QStringLiteral("Переименовать группу"), QStringLiteral("Отметить группу"),
            QStringLiteral("Снять отметку"),        QStringLiteral("Редактировать состав группы")};
}

void TManager::AddNewGroup() {
    TTreeNode *sel = m_selected;
    if (!sel || sel->isObject())
        return;
    auto g = std::make_unique<TGroup>();
    g->FID = QUuid::createUuid().toString().toUpper();
    g->FMasterID = sel->group ? sel->group->FID : QString();
    g->FName = QStringLiteral("Новая группа ") + QString::number(sel->children.size() + 1);
    TGroup *raw = g.get();
    FGroups.push_back(std::move(g));
    FLMGroup = raw;
    db::TTransaction tr(FDatabase, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, QStringLiteral("INSERT INTO GROUPS ( GRP_ID, GRP_MASTERID, GRP_NAME ) "
                                    "VALUES ( %1, %2, %3 )")
                         .arg(sql::quote(raw->FID), sql::quoteOrNull(raw->FMasterID),
                              sql::quote(raw->FName)));
    q.execute();
    tr.commit();
    RefreshGroups();
    ExpandParents();
}

void TManager::deleteGroupRecursive(TTreeNode *node) {
    TGroup *g = node->group;
    if (!g)
        return;
    {
        db::TTransaction tr(FDatabase, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(
            tr, QStringLiteral("DELETE FROM GROUPS WHERE GRP_ID = %1").arg(sql::quote(g->FID)));
        q.execute();
        tr.commit();
    }
    for (TControllableObject *o : g->FObjects)
        if (o->Group == g)
            o->Group = nullptr;
    for (auto &c : node->children)
        if (c->group)
            deleteGroupRecursive(c.get());
    if (FLMGroup == g)
        FLMGroup = nullptr;
    FGroups.erase(
        std::remove_if(FGroups.begin(), FGroups.end(), [g](const auto &p) { return p.get() == g; }),
        FGroups.end());
}

void TManager::DeleteGroup(TTreeNode *node) {
    if (!node || !node->group)
        return;
    FLMGroup = node->parent ? node->parent->group : nullptr;
    deleteGroupRecursive(node);
    RefreshGroups();
    ExpandParents();
}

bool TManager::NodeEditing(TTreeNode *node) const {
    return node && node->group;
}

void TManager::NodeEdited(TTreeNode *node, const QString &newName) {
    if (!NodeEditing(node))
        return;
    node->group->FName = newName;
    node->text = newName;
    db::TTransaction tr(FDatabase, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, QStringLiteral("UPDATE GROUPS SET GRP_NAME = %1 WHERE GRP_ID = %2")
                         .arg(sql::quote(newName), sql::quote(node->group->FID)));
    q.execute();
    tr.commit();
    RefreshGroupsList();
}

void TManager::MarkGroyp(TTreeNode *node) {
    if (!node || !node->group)
        return;
    node->group->FIsMark = true;
    node->stateImage = 4;
    emit treeChanged();
    selectView(m_viewIndex);
}

void TManager::DeMarkGroyp(TTreeNode *node) {
    if (!node || !node->group)
        return;
    node->group->FIsMark = false;
    node->stateImage = -1;
    emit treeChanged();
    selectView(m_viewIndex);
}

void TManager::EditGroupMembers(TTreeNode *node) {
    if (!node || !node->group ||
        !isSignalConnected(QMetaMethod::fromSignal(&TManager::editGroupMembersRequested)))
        return;
    FLMGroup = node->group;
    emit editGroupMembersRequested(node->group);
}

void TManager::SyncDBObjGrpWithList(TGroup *Group) {
    // One transaction: a failure half way leaves the old membership, not a partial one.
    db::TTransaction tr(FDatabase, db::TTransactionKind::WriteFlag);
    tr.start();
    {
        db::TQuery del(
            tr,
            QStringLiteral("DELETE FROM OBJ_GRP WHERE OG_GRPID = %1").arg(sql::quote(Group->FID)));
        del.execute();
    }
    db::TQuery ins(tr, QStringLiteral("INSERT INTO OBJ_GRP ( OG_OBJID, OG_GRPID ) VALUES ( :obj, "
                                      ":grp )"));
    for (TControllableObject *o : Group->FObjects) {
        ins.setParam(QStringLiteral("obj"), o->Number);
        ins.setParam(QStringLiteral("grp"), Group->FID);
        ins.execute();
    }
    tr.commit();
}

// ---- state grid

void TManager::RestructSostGridFields() {
    ParamsList.clear();
    m_captions = QStringList{QStringLiteral("№")};
    m_widths = {50};
    db::TTransaction tr(FDatabase, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, QStringLiteral("SELECT * FROM PARAMS WHERE ( PRM_VISIBLEINSOSTGRID = 1 ) AND "
                                    "( PRM_USEINPROGRAM = 1 ) AND ( PRM_USEINSOSTGRID = 1 ) "
                                    "ORDER BY PRM_INDEX"));
    q.open();
    while (q.next()) {
        TParam p;
        p.name = q.field(QStringLiteral("PRM_NAME")).asString();
        p.caption = q.field(QStringLiteral("PRM_CAPTION")).asString();
        p.desc = q.field(QStringLiteral("PRM_DESCRIPTION")).asString();
        ParamsList.push_back(p);
        m_captions << p.caption;
        m_widths.push_back(64);
    }
    q.close();
    tr.commit();
    LoadSostGridColWidth();
    emit gridColumnsChanged();
}

void TManager::LoadSostGridColWidth() {
    db::TTransaction tr(FDatabase, db::TTransactionKind::Read);
    tr.start();
    db::TQuery q(tr, QStringLiteral("SELECT * FROM PARAMS WHERE PRM_USEINPROGRAM = 1"));
    q.open();
    while (q.next()) {
        const QString caption = q.field(QStringLiteral("PRM_CAPTION")).asString();
        for (int c = 1; c < m_captions.size(); ++c) {
            if (m_captions[c].contains(caption)) {
                m_widths[static_cast<size_t>(c)] =
                    q.field(QStringLiteral("PRM_SOST_GRID_COL_WIDTH")).asInteger();
                break;
            }
        }
    }
    q.close();
    tr.commit();
}

void TManager::SaveSostGridColWidth() {
    if (!FDatabase.isOpen())
        return;
    db::TTransaction tr(FDatabase, db::TTransactionKind::CommittedReadWrite);
    tr.start();
    db::TQuery q(tr, QStringLiteral("UPDATE PARAMS SET PRM_SOST_GRID_COL_WIDTH = :width WHERE "
                                    "PRM_CAPTION = :caption"));
    for (int c = 1; c < m_captions.size(); ++c) {
        q.setParam(QStringLiteral("width"), m_widths[static_cast<size_t>(c)]);
        q.setParam(QStringLiteral("caption"), m_captions[c]);
        q.execute();
    }
    tr.commit();
}

void TManager::setGridWidth(int column, int width) {
    if (column >= 0 && column < static_cast<int>(m_widths.size()))
        m_widths[static_cast<size_t>(column)] = width;
}

QStringList TManager::gridHeaders() const {
    QStringList out;
    for (const QString &c : m_captions)
        out << QString(c).replace(QLatin1Char(';'), QLatin1Char(' '));
    return out;
}

void TManager::RestructSostGridObjects() {
    emit gridRowsChanged();
}

namespace {
const TParam *paramFor(const std::vector<TParam> &params, const QString &header) {
    for (const TParam &p : params)
        if (p.caption.contains(header) || header.contains(p.caption))
            return &p;
    return nullptr;
}
} // namespace

TSostCell TManager::SostGridCell(int row, int col) const {
    TSostCell cell;
    if (row == 0) {
        cell.text =
            col < m_captions.size() ? QString(m_captions[col]).replace(';', ' ') : QString();
        return cell;
    }
    if (row < 1 || row > static_cast<int>(FDispObjects.size()))
        return cell;
    const TControllableObject *o = FDispObjects[static_cast<size_t>(row - 1)];
    if (col == 0) {
        cell.text = QString::number(o->Number);
        return cell;
    }
    if (col >= m_captions.size())
        return cell;
    const TParam *p = paramFor(ParamsList, m_captions[col]);
    if (!p)
        return cell;
    const QString &name = p->name;
    const bool old = o->Version < 1;
    const TFormatSettings &fs = TFormatSettings::current();
    auto has = [&name](const char *key) { return name.contains(QString::fromUtf8(key)); };
    auto lamp = [&](bool on, int ifOn, int ifOff) { cell.icon = old ? 3 : (on ? ifOn : ifOff); };

    if (has("подключение")) {
        cell.icon = o->Connected ? 1 : 0;
    } else if (has("наименование объекта")) {
        cell.text = o->Name;
        cell.wrap = true;
    } else if (has("дата\\время")) {
        cell.text = o->PackTimeText();
    } else if (has("тревожная кнопка")) {
        lamp(o->AlertBtn == 1, 2, 0);
    } else if (has("режим предупреждения")) {
        lamp(o->KungTrailer == 1, 0, 2);
    } else if (has("дизель локомотива")) {
        lamp(o->ExOut1 == 1, 0, 2);
    } else if (has("движение локомотива")) {
        lamp(o->TankCoverSensor != 0, 0, 2);
    } else if (has("отказ автомата защиты 65 вольт")) {
        lamp(o->V24Gen == 1, 1, 0);
    } else if (has("время горения котла 1")) {
        cell.text =
            old ? QStringLiteral("не поддерживается") : fs.formatFloat(o->BoardVoltage / 1000.0, 2);
    } else if (has("датчик уровня топлива мв")) {
        cell.text = old ? QStringLiteral("не поддерживается") : QString::number(o->FuelLevel);
    } else if (has("время горения котла 2")) {
        cell.text = old ? QStringLiteral("не поддерживается")
                        : fs.formatFloat(static_cast<double>(o->FuelLevelL), 2);
    } else if (has("напряжение на АБ меньше минимального порога")) {
        lamp(o->ExOut2 == 1, 1, 0);
    } else if (has("текущая скорость")) {
        cell.text = o->Speed > 0 ? fs.formatFloat(static_cast<double>(o->Speed), 2)
                                 : QStringLiteral("0") + fs.decimalSeparator + QStringLiteral("00");
    } else if (has("широта") || has("долгота")) {
        const bool lat = has("широта");
        const long double v = lat ? o->LastTextLat : o->LastTextLng;
        if (v == 0 || std::isnan(static_cast<double>(v))) {
            cell.text = QStringLiteral("----");
        } else {
            const TGeoCoords d = MinutesToDegrees(TGeoCoords{o->LastTextLat, o->LastTextLng});
            cell.text = fs.formatFloat(static_cast<double>(lat ? d.Latitude : d.Longitude), 6);
        }
    } else if (has("метка")) {
        cell.text = o->ShortName;
    } else if (name.compare(QStringLiteral("температура"), Qt::CaseInsensitive) == 0) {
        cell.text = fs.formatFloat(o->Temperature, 1) + QStringLiteral(" °С");
    }
    return cell;
}

TGaugeValues TManager::gaugesFor(int row) const {
    TGaugeValues g;
    if (row < 1 || row > static_cast<int>(FDispObjects.size()))
        return g;
    const TControllableObject *o = FDispObjects[static_cast<size_t>(row - 1)];
    if (o->Version < 1)
        return g;
    g.voltage = o->BoardVoltage / 1000.0;
    g.fuel = static_cast<double>(o->FuelLevelL);
    g.scale = o->TankVolume;
    g.upperMark = o->TankVolume / 4 * 3;
    g.lowerMark = o->TankVolume / 4;
    return g;
}
