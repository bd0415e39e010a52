#include "db/ParamCatalogue.h"

#include "app/Cp1251.h"
#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/OptionsIO.h"
#include "app/SqlLiteral.h"

#include <QFile>
#include <QSet>

#include <algorithm>

// ---- lists

const TCatalogueRow *TCatalogueList::currentRow() const {
    return current >= 0 && current < count() ? &rows[static_cast<size_t>(current)] : nullptr;
}

int TCatalogueList::indexOf(const QString &key) const {
    for (int i = 0; i < count(); ++i)
        if (rows[static_cast<size_t>(i)].key == key)
            return i;
    return -1;
}

QStringList TCatalogueList::texts() const {
    QStringList out;
    for (const TCatalogueRow &r : rows)
        out << r.caption;
    return out;
}

QString ShownFlagText(int flag) {
    return flag == 1 ? QStringLiteral("ДА") : QStringLiteral("НЕТ");
}

TCatalogueLists::TCatalogueLists(db::TDatabase &database)
    : m_db(database), m_tr(database, db::TTransactionKind::Editing) {
    m_tr.start();
}

TCatalogueLists::~TCatalogueLists() {
    try {
        if (m_tr.isActive())
            m_tr.commit();
    } catch (...) {
        m_tr.forceRollback();
    }
}

void TCatalogueLists::readList(TCatalogueList &list, const QString &sql,
                               const QString &orderColumn) {
    const TCatalogueRow *was = list.currentRow();
    const QString key = was ? was->key : QString();
    const int index = list.current;
    list.rows.clear();
    if (!sql.isEmpty()) {
        db::TQuery q(m_tr, sql);
        q.open();
        const TListColumns c = columns();
        const int captionField = q.fieldIndex(QStringLiteral("PRM_CAPTION")) >= 0
                                     ? q.fieldIndex(QStringLiteral("PRM_CAPTION"))
                                     : q.fieldIndex(QStringLiteral("PR_CAPTION"));
        const int dispField = q.fieldIndex(QStringLiteral("PR_DISPNAME"));
        const int shownField = q.fieldIndex(QStringLiteral("PRM_VISIBLEINSOSTGRID"));
        const int orderField = orderColumn.isEmpty() ? -1 : q.fieldIndex(orderColumn);
        while (q.next()) {
            TCatalogueRow r;
            r.key = q.field(c.key).asString();
            if (captionField >= 0)
                r.caption = q.field(captionField).asString();
            if (dispField >= 0)
                r.dispName = q.field(dispField).asString();
            if (shownField >= 0)
                r.shown = q.field(shownField).asInteger();
            if (orderField >= 0)
                r.order = q.field(orderField).asInteger();
            list.rows.push_back(r);
        }
        q.close();
    }
    const int again = key.isEmpty() ? -1 : list.indexOf(key);
    if (again >= 0)
        list.current = again;
    else if (list.rows.empty())
        list.current = -1;
    else
        list.current = std::clamp(index, 0, list.count() - 1);
}

void TCatalogueLists::Reopen() {
    const TListColumns c = columns();
    readList(available, availableSql(), c.orderAvailable);
    readList(assigned, assignedSql(), c.orderAssigned);
}

void TCatalogueLists::exec(const QString &sql,
                           const std::vector<std::pair<QString, db::TParam>> &params) {
    db::TQuery q(m_tr, sql);
    for (const auto &[name, value] : params)
        q.setParam(name, value);
    q.execute();
}

template <class F> void TCatalogueLists::change(F &&f) {
    try {
        f();
        m_tr.commitRetaining();
        ++m_changes;
    } catch (...) {
        // What was posted of a refused change goes; the editor stays usable.
        try {
            m_tr.rollbackRetaining();
        } catch (...) {
        }
        Reopen();
        throw;
    }
}

int TCatalogueLists::allStart(const TCatalogueList &) const {
    return 0;
}

void TCatalogueLists::moveOne(TCatalogueSide from, bool assign) {
    if (assign && !canAssign())
        return;
    TCatalogueList &l = list(from);
    const TCatalogueRow *row = l.currentRow();
    if (!row)
        return;
    const QString key = row->key;
    const QString next =
        l.current + 1 < l.count() ? l.rows[static_cast<size_t>(l.current + 1)].key : QString();
    change([&] { setAssigned(key, assign); });
    Reopen();
    l.current = next.isEmpty() ? l.count() - 1 : l.indexOf(next);
}

void TCatalogueLists::moveAll(TCatalogueSide from, bool assign) {
    if (assign && !canAssign())
        return;
    TCatalogueList &l = list(from);
    const int start = allStart(l);
    if (start < 0 || start >= l.count())
        return;
    std::vector<QString> keys;
    for (int i = start; i < l.count(); ++i)
        keys.push_back(l.rows[static_cast<size_t>(i)].key);
    change([&] {
        for (const QString &k : keys)
            setAssigned(k, assign);
    });
    Reopen();
}

void TCatalogueLists::Assign() {
    moveOne(TCatalogueSide::Available, true);
}

void TCatalogueLists::Unassign() {
    moveOne(TCatalogueSide::Assigned, false);
}

void TCatalogueLists::AssignAll() {
    moveAll(TCatalogueSide::Available, true);
}

void TCatalogueLists::UnassignAll() {
    moveAll(TCatalogueSide::Assigned, false);
}

void TCatalogueLists::moveRow(TCatalogueList &l, const QString &orderColumn, int step,
                              const QString &table, const QString &keyColumn, bool numericKey) {
    const TCatalogueRow *row = l.currentRow();
    if (!row || orderColumn.isEmpty())
        return;
    // At either end the neighbour is the row itself.
    const int n = std::clamp(l.current + step, 0, l.count() - 1);
    const TCatalogueRow a = *row;
    const TCatalogueRow b = l.rows[static_cast<size_t>(n)];
    if (a.order != b.order) {
        const QString sql = QStringLiteral("UPDATE %1 SET %2 = :o WHERE %3 = :k")
                                .arg(table, orderColumn, keyColumn);
        const auto key = [numericKey](const QString &k) {
            return numericKey ? db::TParam(k.toInt()) : db::TParam(k);
        };
        change([&] {
            exec(sql, {{QStringLiteral("o"), b.order}, {QStringLiteral("k"), key(a.key)}});
            exec(sql, {{QStringLiteral("o"), a.order}, {QStringLiteral("k"), key(b.key)}});
        });
        Reopen();
    }
    l.current = l.indexOf(a.key);
}

void TCatalogueLists::MoveUp(TCatalogueSide side) {
    const TListColumns c = columns();
    moveRow(list(side), side == TCatalogueSide::Available ? c.orderAvailable : c.orderAssigned, -1,
            c.table, c.key, c.numericKey);
}

void TCatalogueLists::MoveDown(TCatalogueSide side) {
    const TListColumns c = columns();
    moveRow(list(side), side == TCatalogueSide::Available ? c.orderAvailable : c.orderAssigned, 1,
            c.table, c.key, c.numericKey);
}

// ---- column editors

TColumnEditor::TColumnEditor(db::TDatabase &database, Kind kind)
    : TCatalogueLists(database), m_kind(kind) {
    Reopen();
}

const QStringList &TColumnEditor::DefParams() {
    static const QStringList names{QStringLiteral("дизель локомотива"),
                                   QStringLiteral("движение локомотива"),
                                   QStringLiteral("подключение"),
                                   QStringLiteral("подогреватель 1"),
                                   QStringLiteral("подогреватель 2"),
                                   QStringLiteral("код ошибки подогревателя 1"),
                                   QStringLiteral("код ошибки подогревателя 2"),
                                   QStringLiteral("время горения котла 1"),
                                   QStringLiteral("время горения котла 2"),
                                   QStringLiteral("воздушный отопитель"),
                                   QStringLiteral("код ошибки воздушного отопителя"),
                                   QStringLiteral("напряжение на АБ системы менее 21.8 вольт"),
                                   QStringLiteral("отказ автомата защиты 65 вольт"),
                                   QStringLiteral("режим предупреждения"),
                                   QStringLiteral("сброс предупреждения"),
                                   QStringLiteral("автомат включения подогревателя 1"),
                                   QStringLiteral("автомат включения подогревателя 2"),
                                   QStringLiteral("автомат помпы подогревателя 1"),
                                   QStringLiteral("автомат помпы подогревателя 2"),
                                   QStringLiteral("автомат масляного насоса"),
                                   QStringLiteral("автомат пульта"),
                                   QStringLiteral("наименование объекта")};
    return names;
}

QString TColumnEditor::flagColumn() const {
    switch (m_kind) {
    case Kind::DataGrid:
        return QStringLiteral("PRM_USEINDATAQUERY");
    case Kind::SostGrid:
        return QStringLiteral("PRM_USEINSOSTQUERY");
    case Kind::CalcObject:
        return QStringLiteral("PR_DISP");
    case Kind::CalcSet:
        return QStringLiteral("PR_SETDISP");
    }
    return {};
}

TCatalogueLists::TListColumns TColumnEditor::columns() const {
    switch (m_kind) {
    case Kind::DataGrid:
        return {QStringLiteral("PARAMS"), QStringLiteral("PRM_NAME"), QString(),
                QStringLiteral("PRM_USEINPSINDEX")};
    case Kind::SostGrid:
        return {QStringLiteral("PARAMS"), QStringLiteral("PRM_NAME"), QString(),
                QStringLiteral("PRM_USESOSTINDEX")};
    case Kind::CalcObject:
        return {QStringLiteral("CALCPARAMS"), QStringLiteral("PR_NAME"), QStringLiteral("PR_INDEX"),
                QStringLiteral("PR_INDEX")};
    case Kind::CalcSet:
        return {QStringLiteral("CALCPARAMS"), QStringLiteral("PR_NAME"),
                QStringLiteral("PR_SETINDEX"), QStringLiteral("PR_SETINDEX")};
    }
    return {};
}

QString TColumnEditor::availableSql() const {
    switch (m_kind) {
    case Kind::DataGrid:
        return QStringLiteral("SELECT * FROM PARAMS WHERE PRM_USEINDATAQUERY = 0 AND "
                              "PRM_USEINPROGRAM = 1 AND PRM_INPSTBLNAME <> '0' ORDER BY PRM_NAME");
    case Kind::SostGrid:
        return QStringLiteral("SELECT * FROM PARAMS WHERE PRM_USEINSOSTQUERY = 0 AND "
                              "PRM_INPSTBLNAME <> '0' AND PRM_USEINPROGRAM = 1 ORDER BY PRM_NAME");
    case Kind::CalcObject:
        return QStringLiteral("SELECT * FROM CALCPARAMS WHERE %1 = 0 ORDER BY %2")
            .arg(QStringLiteral("PR_DISP"), QStringLiteral("PR_INDEX"));
    case Kind::CalcSet:
        return QStringLiteral("SELECT * FROM CALCPARAMS WHERE %1 = 0 AND PR_CAPTION <> 'Дата' AND "
                              "PR_CAPTION <> 'Номер;объекта' ORDER BY %2")
            .arg(QStringLiteral("PR_SETDISP"), QStringLiteral("PR_SETINDEX"));
    }
    return {};
}

QString TColumnEditor::assignedSql() const {
    switch (m_kind) {
    case Kind::DataGrid:
        return QStringLiteral(
            "SELECT * FROM PARAMS WHERE PRM_USEINDATAQUERY = 1 AND PRM_INPSTBLNAME <> '0' AND "
            "PRM_USEINPROGRAM = 1 ORDER BY PRM_USEINPSINDEX");
    case Kind::SostGrid:
        return QStringLiteral(
            "SELECT * FROM PARAMS WHERE PRM_USEINSOSTQUERY = 1 AND PRM_INPSTBLNAME <> '0' AND "
            "PRM_USEINPROGRAM = 1 ORDER BY PRM_USESOSTINDEX");
    case Kind::CalcObject:
        return QStringLiteral("SELECT * FROM CALCPARAMS WHERE %1 = 1 ORDER BY %2")
            .arg(QStringLiteral("PR_DISP"), QStringLiteral("PR_INDEX"));
    case Kind::CalcSet:
        return QStringLiteral("SELECT * FROM CALCPARAMS WHERE %1 = 1  AND PR_CAPTION <> 'Дата' AND "
                              "PR_CAPTION <> 'Номер;объекта' ORDER BY %2")
            .arg(QStringLiteral("PR_SETDISP"), QStringLiteral("PR_SETINDEX"));
    }
    return {};
}

void TColumnEditor::setAssigned(const QString &key, bool assign) {
    const TListColumns c = columns();
    exec(QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = :k")
             .arg(c.table, flagColumn(), assign ? QStringLiteral("1") : QStringLiteral("0"), c.key),
         {{QStringLiteral("k"), key}});
}

void TColumnEditor::RestoreDefaults() {
    if (isCalc())
        return;
    const QString flag = flagColumn();
    QStringList names = DefParams();
    if (m_kind == Kind::SostGrid) {
        // Columns the state-change grid shows by itself, or cannot show.
        for (const char *skip : {"тип объекта", "подключение", "время горения котла 1",
                                 "время работы отопителя", "время горения котла 2"})
            names.removeAll(QString::fromUtf8(skip));
    }
    m_db.execute(QStringLiteral("UPDATE PARAMS SET %1 = 0").arg(flag));
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, QStringLiteral("UPDATE PARAMS SET %1 = 1 WHERE PRM_NAME = :n").arg(flag));
    for (const QString &name : names) {
        q.setParam(QStringLiteral("n"), name);
        q.execute();
    }
    tr.commit();
    ++m_changes;
    Reopen();
}

bool TColumnEditor::Rename(TCatalogueSide side, TDialogs &dialogs) {
    TCatalogueList &l = list(side);
    const TCatalogueRow *row = l.currentRow();
    if (!row) {
        dialogs.message(QStringLiteral("Нет доступных полей"),
                        QStringLiteral("Ошибка переименования"), TMsgIcon::Error);
        return false;
    }
    const QString key = row->key;
    QString caption = row->caption;
    if (!dialogs.inputText(QStringLiteral("Переименование параметра"),
                           QStringLiteral("Введите заголовок параметра \"") + row->dispName +
                               QLatin1Char('"'),
                           caption))
        return false;
    change([&] {
        exec(QStringLiteral("UPDATE CALCPARAMS SET PR_CAPTION = :c WHERE PR_NAME = :k"),
             {{QStringLiteral("c"), caption}, {QStringLiteral("k"), key}});
    });
    Reopen();
    return true;
}

// ---- the parameter groups of the settings window

TParamGroupsEditor::TParamGroupsEditor(db::TDatabase &database) : TCatalogueLists(database) {
    Reopen();
}

TCatalogueLists::TListColumns TParamGroupsEditor::columns() const {
    return {QStringLiteral("PARAMS"), QStringLiteral("PRM_NAME"), QStringLiteral("PRM_INDEX"),
            QStringLiteral("PRM_INDEX")};
}

QString TParamGroupsEditor::availableSql() const {
    return QStringLiteral("SELECT * FROM PARAMS WHERE PRM_GRPINDEX IS NULL AND PRM_USEINPROGRAM = "
                          "1 ORDER BY PRM_INDEX");
}

QString TParamGroupsEditor::assignedSql() const {
    const TCatalogueRow *g = currentGroup();
    if (!g)
        return {};
    return QStringLiteral("SELECT * FROM PARAMS WHERE PRM_GRPINDEX = %1 AND PRM_USEINPROGRAM = 1 "
                          "ORDER BY PRM_INDEX")
        .arg(g->key.toInt());
}

void TParamGroupsEditor::setAssigned(const QString &key, bool assign) {
    if (assign)
        exec(QStringLiteral("UPDATE PARAMS SET PRM_GRPINDEX = :g WHERE PRM_NAME = :k"),
             {{QStringLiteral("g"), currentGroup()->key.toInt()}, {QStringLiteral("k"), key}});
    else
        exec(QStringLiteral("UPDATE PARAMS SET PRM_GRPINDEX = NULL WHERE PRM_NAME = :k"),
             {{QStringLiteral("k"), key}});
}

int TParamGroupsEditor::allStart(const TCatalogueList &from) const {
    // This window walks from the list's current row.
    return from.current;
}

void TParamGroupsEditor::Reopen() {
    const TCatalogueRow *g = groups.currentRow();
    const QString key = g ? g->key : QString();
    const int index = groups.current;
    groups.rows.clear();
    db::TQuery q(m_tr, QStringLiteral("SELECT * FROM PARAMGROUPS ORDER BY PGRP_SEQ"));
    q.open();
    while (q.next()) {
        TCatalogueRow r;
        r.key = q.field(QStringLiteral("PGRP_INDEX")).asString();
        r.caption = q.field(QStringLiteral("PGRP_NAME")).asString();
        r.order = q.field(QStringLiteral("PGRP_SEQ")).asInteger();
        r.shown = q.field(QStringLiteral("PGRP_ISSHOW")).asInteger();
        groups.rows.push_back(r);
    }
    q.close();
    const int again = key.isEmpty() ? -1 : groups.indexOf(key);
    groups.current = again >= 0            ? again
                     : groups.rows.empty() ? -1
                                           : std::clamp(index, 0, groups.count() - 1);
    TCatalogueLists::Reopen();
}

void TParamGroupsEditor::selectGroup(int row) {
    groups.current = row >= 0 && row < groups.count() ? row : -1;
    assigned.current = -1;
    TCatalogueLists::Reopen();
    if (assigned.count() > 0)
        assigned.current = 0;
}

void TParamGroupsEditor::MoveGroupUp() {
    moveRow(groups, QStringLiteral("PGRP_SEQ"), -1, QStringLiteral("PARAMGROUPS"),
            QStringLiteral("PGRP_INDEX"), true);
}

void TParamGroupsEditor::MoveGroupDown() {
    moveRow(groups, QStringLiteral("PGRP_SEQ"), 1, QStringLiteral("PARAMGROUPS"),
            QStringLiteral("PGRP_INDEX"), true);
}

void TParamGroupsEditor::AddGroup(const QString &name) {
    db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
    tr.start();
    db::TQuery q(tr);
    q.setSql(
        QStringLiteral("INSERT INTO PARAMGROUPS ( PGRP_NAME ) VALUES ( %1 )").arg(sql::quote(name)),
        true);
    q.execute();
    tr.commit();
    ++m_changes;
    Reopen();
    groups.current = groups.count() - 1; // the trigger gives it the last place
    TCatalogueLists::Reopen();
}

void TParamGroupsEditor::RenameGroup(const QString &name) {
    const TCatalogueRow *g = currentGroup();
    if (!g)
        return;
    db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
    tr.start();
    db::TQuery q(tr, QStringLiteral("UPDATE PARAMGROUPS SET PGRP_NAME = :name WHERE PGRP_INDEX = "
                                    ":idx"));
    q.setParam(QStringLiteral("name"), name);
    q.setParam(QStringLiteral("idx"), g->key.toInt());
    q.execute();
    tr.commit();
    ++m_changes;
    Reopen();
}

bool TParamGroupsEditor::DeleteGroup(TDialogs &dialogs) {
    const TCatalogueRow *g = currentGroup();
    if (!g)
        return false;
    if (dialogs.question(QStringLiteral("Удалить выбранную группу?"), options::ApplicationTitle(),
                         TMsgIcon::Question, mbOK | mbCancel, mbCancel) != mbOK)
        return false;
    const int index = g->key.toInt();
    change([&] {
        exec(QStringLiteral("DELETE FROM PARAMGROUPS WHERE PGRP_INDEX = :g"),
             {{QStringLiteral("g"), index}});
    });
    Reopen();
    return true;
}

void TParamGroupsEditor::SetGroupShown(int flag) {
    const TCatalogueRow *g = currentGroup();
    if (!g)
        return;
    const int index = g->key.toInt();
    change([&] {
        exec(QStringLiteral("UPDATE PARAMGROUPS SET PGRP_ISSHOW = :f WHERE PGRP_INDEX = :g"),
             {{QStringLiteral("f"), flag}, {QStringLiteral("g"), index}});
    });
    Reopen();
}

void TParamGroupsEditor::ShowGroupParams(bool show) {
    const TCatalogueRow *g = currentGroup();
    if (!g)
        return;
    // The group is found again by its name, as the window always did.
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr);
    q.setSql(QStringLiteral("SELECT pgrp_index from paramgroups where pgrp_name = %1")
                 .arg(sql::quote(g->caption)),
             true);
    q.open();
    const bool found = q.next();
    const int index = found ? q.field(0).asInteger() : 0;
    q.close();
    tr.commit();
    if (found)
        m_db.execute(QStringLiteral("UPDATE PARAMS SET PRM_VISIBLEINSOSTGRID = %1 WHERE "
                                    "PRM_GRPINDEX=%2")
                         .arg(QString::number(show ? 1 : 2), QString::number(index)));
    ++m_changes;
    Reopen();
}

void TParamGroupsEditor::ShowUnassignedParams(bool show) {
    m_db.execute(QStringLiteral("UPDATE PARAMS SET PRM_VISIBLEINSOSTGRID = %1 WHERE PRM_GRPINDEX "
                                "IS NULL")
                     .arg(show ? 1 : 2));
    ++m_changes;
    Reopen();
}

void TParamGroupsEditor::SetParamCaption(const QString &name, const QString &caption, int flag) {
    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr, QStringLiteral("UPDATE PARAMS SET PRM_CAPTION = :caption, "
                                    "PRM_VISIBLEINSOSTGRID = :flag WHERE PRM_NAME = :name"));
    q.setParam(QStringLiteral("caption"), caption);
    q.setParam(QStringLiteral("flag"), flag);
    q.setParam(QStringLiteral("name"), name);
    q.execute();
    tr.commit();
    ++m_changes;
    Reopen();
}

// ---- the field-order file

namespace {

const QString kGroupMark = QStringLiteral(" (Г)");
const QString kParamMark = QStringLiteral(" (П)");

QStringList readLines(const QString &fileName, bool &exists) {
    QFile f(fileName);
    exists = f.open(QIODevice::ReadOnly);
    return exists ? TextLines(f.readAll()) : QStringList();
}

QByteArray linesBytes(const QStringList &lines) {
    QByteArray out;
    for (const QString &l : lines)
        out += cp1251::encode(l) + "\r\n";
    return out;
}

} // namespace

QStringList TextLines(const QByteArray &bytes) {
    QString text = cp1251::decode(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the last line's end
    return lines;
}

TFieldsOrder::TFieldsOrder(const QString &fileName) : m_fileName(fileName) {}

QString TFieldsOrder::DefaultFileName() {
    return ProfileDir() + QStringLiteral("fieldsorder.ord");
}

void TFieldsOrder::Load() {
    bool exists = false;
    entries = readLines(m_fileName, exists);
}

QStringList TFieldsOrder::CurrentEntries(db::TDatabase &database) {
    QStringList out;
    db::TTransaction tr(database, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, QStringLiteral("SELECT PGRP_NAME FROM PARAMGROUPS WHERE PGRP_ISSHOW = 1 "
                                    "ORDER BY PGRP_SEQ"));
    q.open();
    while (q.next())
        out << q.field(0).asString() + kGroupMark;
    q.close();
    q.setSql(QStringLiteral("SELECT PRM_NAME FROM PARAMS WHERE PRM_GRPINDEX IS NULL AND "
                            "PRM_VISIBLEINSOSTGRID = 1 AND PRM_USEINSOSTGRID = 1 AND "
                            "PRM_USEINPROGRAM = 1 ORDER BY PRM_INDEX, PRM_NAME")); // a stable order
    q.open();
    while (q.next())
        out << q.field(0).asString() + kParamMark;
    q.close();
    tr.commit();
    return out;
}

void TFieldsOrder::Merge(const QStringList &current) {
    // An entry listed twice keeps its first place.
    const QSet<QString> wanted(current.begin(), current.end());
    QSet<QString> kept;
    QStringList merged;
    for (const QString &e : std::as_const(entries))
        if (wanted.contains(e) && !kept.contains(e)) {
            kept.insert(e);
            merged << e;
        }
    for (const QString &e : current)
        if (!kept.contains(e)) {
            kept.insert(e);
            merged << e;
        }
    entries = merged;
}

int TFieldsOrder::MoveUp(int row) {
    if (row <= 0 || row >= entries.size())
        return row;
    entries.swapItemsAt(row, row - 1);
    return row - 1;
}

int TFieldsOrder::MoveDown(int row) {
    if (row < 0 || row + 1 >= entries.size())
        return row;
    entries.swapItemsAt(row, row + 1);
    return row + 1;
}

void TFieldsOrder::Save() const {
    try {
        writeFileAtomically(m_fileName, linesBytes(entries));
    } catch (const std::exception &) {
        throw std::runtime_error(
            QStringLiteral("Error load fields order from file %1").arg(m_fileName).toStdString());
    }
}

void TFieldsOrder::Rewrite(db::TDatabase &database, const QString &fileName) {
    TFieldsOrder order(fileName);
    order.Load();
    order.Merge(CurrentEntries(database));
    order.Save();
}

// ---- the field-settings file

namespace fieldsettings {

namespace {

const QString kGroups = QStringLiteral("PARAMGROUPS");
const QString kParams = QStringLiteral("PARAMS");
const QString kCalc = QStringLiteral("CALCPARAMS");
const QString kOrderMark = QStringLiteral("$$$$$");

// One table's rows, each value followed by "^"; NULL is an empty field.
void appendRows(QStringList &lines, db::TTransaction &tr, const QString &sql,
                const QStringList &columns) {
    db::TQuery q(tr, sql);
    q.open();
    while (q.next()) {
        QString line;
        for (const QString &c : columns)
            line += q.field(c).asString() + QLatin1Char('^');
        lines << line;
    }
    q.close();
}

const QStringList &groupColumns() {
    static const QStringList c{QStringLiteral("PGRP_NAME"), QStringLiteral("PGRP_INDEX"),
                               QStringLiteral("PGRP_SEQ"), QStringLiteral("PGRP_ISSHOW")};
    return c;
}

const QStringList &paramColumns() {
    static const QStringList c{
        QStringLiteral("PRM_NAME"),           QStringLiteral("PRM_INDEX"),
        QStringLiteral("PRM_GRPINDEX"),       QStringLiteral("PRM_CAPTION"),
        QStringLiteral("PRM_INPSTBLNAME"),    QStringLiteral("PRM_USEINDATAQUERY"),
        QStringLiteral("PRM_USEINPSINDEX"),   QStringLiteral("PRM_VISIBLEINSOSTGRID"),
        QStringLiteral("PRM_USEINCALCQUERY"), QStringLiteral("PRM_USEINSOSTQUERY"),
        QStringLiteral("PRM_USESOSTINDEX"),   QStringLiteral("PRM_SOST_GRID_COL_WIDTH"),
        QStringLiteral("PRM_COLROWPOSITION"), QStringLiteral("PRM_USEINPROGRAM"),
        QStringLiteral("PRM_DESCRIPTION"),    QStringLiteral("PRM_VISIBLEINSUMMARY"),
        QStringLiteral("PRM_USEINSOSTGRID")};
    return c;
}

const QStringList &calcColumns() {
    static const QStringList c{QStringLiteral("PR_NAME"),     QStringLiteral("PR_CAPTION"),
                               QStringLiteral("PR_INDEX"),    QStringLiteral("PR_DISP"),
                               QStringLiteral("PR_DISPNAME"), QStringLiteral("PR_SETINDEX"),
                               QStringLiteral("PR_SETDISP"),  QStringLiteral("PR_FIELDTYPE")};
    return c;
}

bool isHeader(const QString &line) {
    return line.contains(QLatin1Char('~'));
}

QString insertSql(const QString &section, const QStringList &fields) {
    const QString *table = &kCalc;
    const QStringList *columns = &calcColumns();
    if (section == kGroups) {
        table = &kGroups;
        columns = &groupColumns();
    } else if (section == kParams) {
        table = &kParams;
        columns = &paramColumns();
    }
    // Each value is its own literal: an empty field is NULL, a text keeps its apostrophes.
    QStringList values;
    for (int i = 0; i < columns->size(); ++i)
        values << sql::quoteOrNull(i < fields.size() ? fields[i] : QString());
    return QStringLiteral("INSERT INTO %1 ( %2 ) VALUES ( %3 )")
        .arg(*table, columns->join(QStringLiteral(", ")), values.join(QStringLiteral(", ")));
}

int maxOf(db::TDatabase &database, const QString &sql) {
    return db::selectValue(database, sql, db::TTransactionKind::Write).toInt();
}

} // namespace

QStringList SplitLine(const QString &line) {
    QStringList fields;
    qsizetype from = 0;
    while (from < line.size()) {
        const qsizetype caret = line.indexOf(QLatin1Char('^'), from);
        if (caret < 0) { // the last field lost its "^"
            fields << line.mid(from);
            break;
        }
        fields << line.mid(from, caret - from);
        from = caret + 1;
    }
    return fields;
}

TFileContents Parse(const QStringList &all) {
    TFileContents out;
    const qsizetype mark = all.indexOf(kOrderMark);
    out.hasOrder = mark >= 0;
    if (out.hasOrder)
        out.order = all.mid(mark + 1);
    bool groups = false, params = false, calc = false, paramRows = false;
    QString section;
    for (const QString &l : mark < 0 ? all : all.mid(0, mark)) {
        if (isHeader(l)) {
            section = l.mid(1);
            groups = groups || section == kGroups;
            params = params || section == kParams;
            calc = calc || section == kCalc;
            continue;
        }
        if (l.isEmpty())
            continue;
        paramRows = paramRows || section == kParams;
        out.rows.push_back({l, insertSql(section, SplitLine(l))});
    }
    out.isCatalogue = groups && params && calc && paramRows;
    return out;
}

void Export(db::TDatabase &database, const QString &fileName, const QString &orderFile) {
    QStringList lines;
    db::TTransaction tr(database, db::TTransactionKind::Write);
    tr.start();
    lines << QStringLiteral("~PARAMGROUPS");
    appendRows(lines, tr, QStringLiteral("SELECT * FROM PARAMGROUPS ORDER BY PGRP_SEQ"),
               groupColumns());
    lines << QStringLiteral("~PARAMS");
    appendRows(lines, tr, QStringLiteral("SELECT * FROM PARAMS WHERE PRM_USEINPROGRAM = 1"),
               paramColumns());
    lines << QStringLiteral("~CALCPARAMS");
    appendRows(lines, tr, QStringLiteral("SELECT * FROM CALCPARAMS"), calcColumns());
    tr.commit();
    bool exists = false;
    const QStringList order = readLines(orderFile, exists);
    if (exists)
        lines << kOrderMark << order;
    writeFileAtomically(fileName, linesBytes(lines));
}

int Import(db::TDatabase &database, const QString &fileName, const QString &orderFile,
           TDialogs &dialogs) {
    bool exists = false;
    const TFileContents file = Parse(readLines(fileName, exists));
    if (!exists)
        throw EFieldSettingsError(QStringLiteral("Не удалось открыть файл %1").arg(fileName));
    // The catalogue is replaced only by a file that holds one.
    if (!file.isCatalogue)
        throw EFieldSettingsError(
            QStringLiteral("Файл %1 не является файлом настроек полей: нет разделов ~PARAMGROUPS, "
                           "~PARAMS, ~CALCPARAMS или строк параметров")
                .arg(fileName));

    int refused = 0;
    database.execute(QStringLiteral("ALTER TRIGGER PARAMGROUPS_BI INACTIVE"));
    try {
        db::TTransaction clear(database, db::TTransactionKind::Write);
        clear.start();
        for (const QString &t : {kGroups, kParams, kCalc}) {
            db::TQuery q(clear, QStringLiteral("DELETE FROM ") + t);
            q.execute();
        }
        clear.commit();

        for (const TRow &row : file.rows) {
            try {
                database.execute(row.sql);
            } catch (const db::EDatabaseError &e) {
                const QString text = QStringLiteral("Не удалось загрузить строку настроек:\r\n") +
                                     row.line + QStringLiteral("\r\n") + e.text();
                if (++refused <= kShownRefusals)
                    dialogs.message(text, QStringLiteral("Импорт настроек"), TMsgIcon::Error);
                else
                    LogOperations(text, QStringLiteral("ImportFieldSettings"), 0);
            }
        }
        if (refused > kShownRefusals)
            dialogs.message(QStringLiteral("Не загружено строк настроек: %1; сверх первых %2 они "
                                           "записаны в журнал операций")
                                .arg(QString::number(refused), QString::number(kShownRefusals)),
                            QStringLiteral("Импорт настроек"), TMsgIcon::Warning);
        if (file.hasOrder)
            writeFileAtomically(orderFile, linesBytes(file.order));

        const int groups =
            maxOf(database, QStringLiteral("SELECT MAX(PGRP_INDEX) FROM PARAMGROUPS"));
        const int seq = maxOf(database, QStringLiteral("SELECT MAX(PGRP_SEQ) FROM PARAMGROUPS"));
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr, QStringLiteral("SET GENERATOR GEN_PARAMGROUPS TO %1").arg(groups));
        q.execute();
        q.setSql(QStringLiteral("SET GENERATOR GEN_PGRPSEQ TO %1").arg(seq));
        q.execute();
        tr.commit();
    } catch (...) {
        try {
            database.execute(QStringLiteral("ALTER TRIGGER PARAMGROUPS_BI ACTIVE"));
        } catch (...) {
        }
        throw;
    }
    database.execute(QStringLiteral("ALTER TRIGGER PARAMGROUPS_BI ACTIVE"));
    return refused;
}

} // namespace fieldsettings
