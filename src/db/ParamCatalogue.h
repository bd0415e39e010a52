#pragma once

// The catalogue editors, free of widgets. Each editor shows two lists of one catalogue table,
// the "available" rows and the "assigned" rows, read through one editing transaction of the
// main connection; every change is written and committed (retaining) at once and both lists are
// read again. Database errors reach the caller as db::EDatabaseError after the change was undone.

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "db/Database.h"

class TDialogs;

// One row of a catalogue list.
struct TCatalogueRow {
    QString key;      // PRM_NAME, PR_NAME, or PGRP_INDEX in decimal
    QString caption;  // PRM_CAPTION, PR_CAPTION or PGRP_NAME
    QString dispName; // PR_DISPNAME
    int order = 0;    // the list's order column
    int shown = 0;    // PRM_VISIBLEINSOSTGRID or PGRP_ISSHOW: 1 shown, 2 hidden
};

// A list read in its fixed order, with its current row (-1 for none).
struct TCatalogueList {
    std::vector<TCatalogueRow> rows;
    int current = -1;

    int count() const { return static_cast<int>(rows.size()); }
    const TCatalogueRow *currentRow() const;
    int indexOf(const QString &key) const;
    // The captions, or the display names when the rows carry them.
    QStringList texts() const;
};

enum class TCatalogueSide { Available, Assigned };

// "ДА" for 1, "НЕТ" otherwise: the look-up text of the shown flags.
QString ShownFlagText(int flag);

class TCatalogueLists {
public:
    explicit TCatalogueLists(db::TDatabase &database);
    virtual ~TCatalogueLists(); // commits; never throws
    TCatalogueLists(const TCatalogueLists &) = delete;
    TCatalogueLists &operator=(const TCatalogueLists &) = delete;

    TCatalogueList available;
    TCatalogueList assigned;
    TCatalogueList &list(TCatalogueSide side) {
        return side == TCatalogueSide::Available ? available : assigned;
    }

    // Reads both lists again; each keeps its current row by key where it can.
    virtual void Reopen();
    // The current row of one list goes to the other; the list it left selects the row that
    // followed it, or its last row when there was none.
    void Assign();
    void Unassign();
    void AssignAll();
    void UnassignAll();
    // Swaps the order numbers of the current row and its neighbour; equal numbers (and the
    // first row moved up, the last moved down) change nothing. The moved row stays current.
    void MoveUp(TCatalogueSide side);
    void MoveDown(TCatalogueSide side);

    // Something was written since the editor opened; how many changes were written.
    bool changed() const { return m_changes > 0; }
    int changes() const { return m_changes; }

protected:
    struct TListColumns {
        QString table;
        QString key;
        QString orderAvailable; // order column of each list
        QString orderAssigned;
        bool numericKey = false;
    };
    virtual TListColumns columns() const = 0;
    virtual QString availableSql() const = 0;
    virtual QString assignedSql() const = 0; // empty: the assigned list is empty
    // Posts the change of one row (not committed).
    virtual void setAssigned(const QString &key, bool assign) = 0;
    // The row an "all" walk starts from.
    virtual int allStart(const TCatalogueList &from) const;
    // Whether assigning can happen at all (a group must be chosen).
    virtual bool canAssign() const { return true; }

    void readList(TCatalogueList &list, const QString &sql, const QString &orderColumn);
    void exec(const QString &sql, const std::vector<std::pair<QString, db::TParam>> &params = {});
    // Runs a change on the editing transaction and commits it retaining; an error undoes it.
    template <class F> void change(F &&f);
    void moveRow(TCatalogueList &l, const QString &orderColumn, int step, const QString &table,
                 const QString &keyColumn, bool numericKey);
    void moveOne(TCatalogueSide from, bool assign);
    void moveAll(TCatalogueSide from, bool assign);

    db::TDatabase &m_db;
    db::TTransaction m_tr;
    int m_changes = 0;
};

// The column editors of the single-object data window and of the two reports.
class TColumnEditor : public TCatalogueLists {
public:
    enum class Kind {
        DataGrid,   // PRM_USEINDATAQUERY / PRM_USEINPSINDEX
        SostGrid,   // PRM_USEINSOSTQUERY / PRM_USESOSTINDEX
        CalcObject, // PR_DISP / PR_INDEX, the single-object report
        CalcSet,    // PR_SETDISP / PR_SETINDEX, the object-set report
    };
    TColumnEditor(db::TDatabase &database, Kind kind);

    Kind kind() const { return m_kind; }
    bool isCalc() const { return m_kind == Kind::CalcObject || m_kind == Kind::CalcSet; }

    // "Настройки по умолчанию" of the two grid editors.
    void RestoreDefaults();
    // Renames the current computed parameter of a list, asking for the caption. False when
    // nothing was renamed.
    bool Rename(TCatalogueSide side, TDialogs &dialogs);

    // The default column set of the data grid, in order.
    static const QStringList &DefParams();

protected:
    TListColumns columns() const override;
    QString availableSql() const override;
    QString assignedSql() const override;
    void setAssigned(const QString &key, bool assign) override;

private:
    QString flagColumn() const;
    Kind m_kind;
};

// The parameter part of the settings window: the parameter groups, the ungrouped parameters
// ("available") and those of the current group ("assigned").
class TParamGroupsEditor : public TCatalogueLists {
public:
    explicit TParamGroupsEditor(db::TDatabase &database);

    TCatalogueList groups;
    const TCatalogueRow *currentGroup() const { return groups.currentRow(); }
    void selectGroup(int row);
    void Reopen() override;

    void MoveGroupUp();
    void MoveGroupDown();
    void AddGroup(const QString &name);
    void RenameGroup(const QString &name);
    // Asks "Удалить выбранную группу?"; its parameters keep their group number.
    bool DeleteGroup(TDialogs &dialogs);
    // The current group's shown flag (1 or 2), as saving its row does.
    void SetGroupShown(int flag);
    // Every parameter of the current group, or every ungrouped one, shown or hidden.
    void ShowGroupParams(bool show);
    void ShowUnassignedParams(bool show);
    // The caption and the shown flag (1 or 2) of one parameter.
    void SetParamCaption(const QString &name, const QString &caption, int flag);

protected:
    TListColumns columns() const override;
    QString availableSql() const override;
    QString assignedSql() const override;
    void setAssigned(const QString &key, bool assign) override;
    int allStart(const TCatalogueList &from) const override;
    bool canAssign() const override { return currentGroup() != nullptr; }
};

// A text file's lines (Windows-1251, CR LF or LF), the last line's end not making one more.
QStringList TextLines(const QByteArray &bytes);

// The user's arrangement of the shown groups and ungrouped parameters ("fieldsorder.ord" in the
// profile folder): one entry per line, a group's name + " (Г)", a parameter's name + " (П)".
class TFieldsOrder {
public:
    explicit TFieldsOrder(const QString &fileName);
    static QString DefaultFileName(); // the profile folder's "fieldsorder.ord"

    QStringList entries;

    // The file's lines; a missing file gives none.
    void Load();
    // What the file should list now: the shown groups in their order, then the ungrouped
    // parameters shown in the state grid.
    static QStringList CurrentEntries(db::TDatabase &database);
    // Appends the current entries the list lacks, drops those no longer current.
    void Merge(const QStringList &current);
    // The new row of the entry (unchanged at the ends).
    int MoveUp(int row);
    int MoveDown(int row);
    // Writes the list (temporary file and rename); "Error load fields order from file %s".
    void Save() const;
    // Load, merge with the database and save, as the settings window's apply does.
    static void Rewrite(db::TDatabase &database, const QString &fileName);

private:
    QString m_fileName;
};

// The field-settings file (".fcg"): the three catalogue tables and the field-order file.
class EFieldSettingsError : public std::runtime_error {
public:
    explicit EFieldSettingsError(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

namespace fieldsettings {
// Writes the file from the main connection; the field-order file is appended when it exists.
void Export(db::TDatabase &database, const QString &fileName, const QString &orderFile);
// Replaces the three tables by the file's rows. The file is checked first (the three sections,
// at least one PARAMS line): a file that fails raises EFieldSettingsError and nothing is
// deleted. A row the database refuses is skipped and reported through the dialogs (the first
// kShownRefusals; the rest go to the operations log, then one message counts them). The trigger
// PARAMGROUPS_BI is active again on every path. Returns the number of rows refused.
constexpr int kShownRefusals = 10;
int Import(db::TDatabase &database, const QString &fileName, const QString &orderFile,
           TDialogs &dialogs);
// The fields of one line: an empty field between two "^"; a last field without "^" counts.
QStringList SplitLine(const QString &line);

// A file's lines as the import reads them: its catalogue rows, each with the statement that
// inserts it (a line of a section other than the first two goes to CALCPARAMS), and after the
// "$$$$$" line the field-order file's lines.
struct TRow {
    QString line;
    QString sql;
};
struct TFileContents {
    std::vector<TRow> rows;
    // The three sections are there and at least one PARAMS row.
    bool isCatalogue = false;
    bool hasOrder = false;
    QStringList order;
};
TFileContents Parse(const QStringList &lines);
} // namespace fieldsettings
