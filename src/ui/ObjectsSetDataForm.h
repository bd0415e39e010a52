#pragma once

// "Данные по нескольким объектам": the object-set window. The user drags objects and groups
// from the available tree into the assigned list; the table (with the subtotal rows "Итог") or
// the bars of one parameter come from the reports' session part, run through the session's
// runner.

#include <QDialog>
#include <QListWidget>
#include <QTreeWidget>

#include <vector>

#include "app/ErrorGuard.h"
#include "reports/ObjectsSetReport.h"
#include "reports/ReportGrid.h"
#include "session/ReportsPart.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableView;
class QTimeEdit;
class QChartView;
class TfmObjectsSetData;

// The available tree: drags its nodes; a drop of list entries (or of its own nodes) removes
// the list's selected entries.
class TSetTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TSetTree(TfmObjectsSetData &form);

protected:
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

private:
    TfmObjectsSetData &m_form;
};

// The assigned list: accepts the tree's nodes and its own entries (two entries change places).
class TSetList : public QListWidget {
    Q_OBJECT
public:
    explicit TSetList(TfmObjectsSetData &form);

protected:
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    TfmObjectsSetData &m_form;
};

// "Отсутствующая информация": the archive day files the export lacks.
class TfmNeedDataFiles : public QDialog {
    Q_OBJECT
public:
    TfmNeedDataFiles(const QStringList &lines, QWidget *parent = nullptr);
    QPlainTextEdit *text;
    QPushButton *btnClose, *btnContinue;

signals:
    void continueRequested();
};

class TfmObjectsSetData : public QDialog {
    Q_OBJECT
public:
    TfmObjectsSetData(TReportsPart &part, TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfmObjectsSetData() override;

    // "По группам объектов": both dates today, the tree, the columns; the list and table empty.
    void Open();

    struct Controls {
        TSetTree *tvAvailibleObjects;
        TSetList *lbAssignObjects;
        QDateEdit *dtpStart, *dtpEnd;
        QRadioButton *rbTable, *rbChart, *rbByDay, *rbByMonth;
        QGroupBox *gbInterval;
        QTimeEdit *dtpMaxLost;
        QSpinBox *edDeltaF;
        QLineEdit *eAvgPeriod;
        QCheckBox *cbDetectCharges, *cbLegend;
        QPushButton *btnQuery, *btnExport, *btnSettings, *btnExit, *btnCancel;
        QProgressBar *progress;
        QStackedWidget *views;
        QTableView *ngSetCalcParams;
        QGroupBox *gbLegend;
        QComboBox *cbChartParam;
        QChartView *chart;
    };
    Controls ui{};

    TAssignedList &assigned() { return m_assigned; }
    TReportGridModel &table() { return m_table; }
    const TSetChart &chartData() const { return m_chart; }
    const QStringList &queryObjList() const { return m_queryObjList; }
    TSetParams params() const;

    // Commands (also for tests).
    void btnQueryClick();
    void btnExportClick();
    void btnSettingsClick();
    void viewChanged();
    // The tree's selected nodes dropped on the list; list rows removed; two rows swapped.
    void dropTreeSelection();
    void removeSelectedEntries();
    void swapEntries(int a, int b);

protected:
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void build();
    void fillTree();
    void showList();
    void setColumns();
    void onRunning(bool running);
    void onTable(const TReportGrid &table, const QStringList &objList);
    void onChart(const TSetChart &chart);
    void exportNow();

    TReportsPart &m_part;
    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    TAssignedList m_assigned;
    TReportGridModel m_table;
    std::vector<TGridColumn> m_columns;
    std::vector<TChartParam> m_chartParams;
    std::vector<int> m_free;
    std::vector<TSetNode> m_nodes; // the tree's nodes (without children), by item data
    TSetChart m_chart;
    QStringList m_queryObjList;
    TSetParams m_lastParams;
    QWidget *m_listPanel = nullptr;
    bool m_busyCursor = false;
};
