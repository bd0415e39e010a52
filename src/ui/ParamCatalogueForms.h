#pragma once

// The windows of the parameter catalogue: the parameter part of the settings window, the caption
// editor, the arrangement of groups and parameters, and the column editors of the data window
// and of the reports. They show the catalogue editors of db/ParamCatalogue.h and forward the
// user's commands to them; a refused change is shown as the general error message.

#include <QDialog>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/ErrorGuard.h"
#include "db/ParamCatalogue.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;
class TDialogs;

// The column editors: the available and the assigned columns of one grid or report.
class TfmCatalogueColumns : public QDialog {
    Q_OBJECT
public:
    TfmCatalogueColumns(db::TDatabase &database, TColumnEditor::Kind kind, TDialogs &dialogs,
                        QWidget *parent = nullptr);

    TColumnEditor &editor() { return *m_editor; }
    // The list the move and rename commands act on: the one that last had the focus.
    TCatalogueSide side() const { return m_side; }
    void setSide(TCatalogueSide side) { m_side = side; }

    struct Controls {
        QListWidget *available, *assigned;
        QPushButton *assign, *assignAll, *unassign, *unassignAll, *up, *down;
        QPushButton *defaults; // the two grids: "Настройки по умолчанию"
        QPushButton *rename;   // the reports: rename a computed parameter
        QPushButton *close;
    };
    Controls ui{};

signals:
    // A change was written: the window the columns belong to rebuilds them.
    void columnsChanged();

private:
    void run(void (TfmCatalogueColumns::*f)());
    void showLists();
    void takeSelection();
    void assignOne();
    void assignAll();
    void unassignOne();
    void unassignAll();
    void moveUp();
    void moveDown();
    void restoreDefaults();
    void rename();

    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    std::unique_ptr<TColumnEditor> m_editor;
    TCatalogueSide m_side = TCatalogueSide::Assigned;
};

// The columns of the single-object data grid.
class TfmAdditionalParams : public TfmCatalogueColumns {
public:
    TfmAdditionalParams(db::TDatabase &database, TDialogs &dialogs, QWidget *parent = nullptr);
};

// The columns of the state-change grid of the single-object data window.
class TfmSostGridFields : public TfmCatalogueColumns {
public:
    TfmSostGridFields(db::TDatabase &database, TDialogs &dialogs, QWidget *parent = nullptr);
};

// The computed columns of the single-object report (objectSet false) or the object-set report.
class TfmCalcGridFields : public TfmCatalogueColumns {
public:
    TfmCalcGridFields(db::TDatabase &database, bool objectSet, TDialogs &dialogs,
                      QWidget *parent = nullptr);
};

// A parameter's caption and its shown flag.
class TfmEditParamCaption : public QDialog {
    Q_OBJECT
public:
    TfmEditParamCaption(const TCatalogueRow &row, QWidget *parent = nullptr);
    QString caption() const;
    int shownFlag() const; // 1 "ДА", 2 "НЕТ"

    QLineEdit *captionEdit;
    QComboBox *shownChoice;
    QPushButton *applyButton, *cancelButton;
};

// The user's arrangement of the shown groups and ungrouped parameters.
class TfmGroupsAndParamsPositions : public QDialog {
    Q_OBJECT
public:
    TfmGroupsAndParamsPositions(db::TDatabase &database, const QString &fileName,
                                QWidget *parent = nullptr);
    TFieldsOrder &order() { return m_order; }

    QListWidget *list;
    QPushButton *upButton, *downButton, *okButton, *cancelButton;

    // Writes the arrangement and closes; a write error reaches the caller.
    void btnOkClick();

private:
    void move(int step);
    TFieldsOrder m_order;
};

// The parameter part of the settings window: the parameter groups and which parameters stand in
// them. It works on the main connection while it is shown and the database is connected.
class TParamGroupsPage : public QWidget {
    Q_OBJECT
public:
    explicit TParamGroupsPage(TDialogs &dialogs, QWidget *parent = nullptr);
    ~TParamGroupsPage() override;

    // The main connection while connected, null otherwise.
    std::function<db::TDatabase *()> database;
    // Opens the editor on the connection (nothing without one), closes it again.
    void open();
    void close();
    TParamGroupsEditor *editor() const { return m_editor.get(); }
    TCatalogueSide side() const { return m_side; }
    void setSide(TCatalogueSide side) { m_side = side; }

    struct Controls {
        QLabel *state;
        QTableWidget *groups, *available, *assigned;
        QPushButton *groupUp, *groupDown, *addGroup, *renameGroup, *deleteGroup, *showGroup,
            *hideGroup;
        QPushButton *assign, *assignAll, *unassign, *unassignAll;
        QPushButton *availableUp, *availableDown, *assignedUp, *assignedDown, *showUnassigned,
            *hideUnassigned;
        QPushButton *editCaption, *arrange, *dataColumns, *sostColumns, *calcColumns,
            *calcSetColumns;
    };
    Controls ui{};

    // Commands (also for tests).
    void addGroup();
    void renameGroup();
    void deleteGroup();
    void editCaption();
    void arrange();

signals:
    // The caption editor applied a change: the settings window applies as its button does.
    void applyRequested();

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void run(const std::function<void()> &f);
    void showLists();
    void takeSelection();
    void setGroupShown(int row, int flag);

    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    std::unique_ptr<TParamGroupsEditor> m_editor;
    TCatalogueSide m_side = TCatalogueSide::Available;
    bool m_filling = false;
};
