#pragma once

// The object-set report: the statistics of one period for a list of objects and groups that
// the user puts together, as a table with subtotal rows "Итог" or as bars of one parameter by
// day or by month. The list, the table and the bars are values here; the window shows them.

#include <QDate>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <vector>

#include "app/DateUtils.h"
#include "reports/ReportGrid.h"

class TFuelComputations;
class TManager;
namespace db {
class TDatabase;
}

// A node of the available tree ("Доступные объекты/группы").
struct TSetNode {
    enum Kind { Root, Group, Object, FreeObjects };
    Kind kind = Root;
    QString text;
    int number = 0;           // an object
    QString groupId;          // a group's FID
    QString path;             // a group's FPath
    int level = 0;            // the node's depth: the root 0, a top-level group 1, ...
    std::vector<int> members; // a group's member objects, in the manager's order
    std::vector<TSetNode> children;
};

// The tree of the registry: the root "Группы" with the groups and their objects, then
// "Свободные объекты" with the objects of no group. Also the free objects alone.
std::vector<TSetNode> AvailableTree(const TManager &registry);
std::vector<int> FreeObjects(const TManager &registry);

// One entry of the assigned list ("Запрашиваемые объекты/группы").
struct TSetEntry {
    QString text; // the object number, or the group's path
    bool isGroup = false;
    int number = 0;
    QString groupId;
    int level = -1; // -1 for an object, the tree level for a group
    std::vector<int> members;
};

class TAssignedList {
public:
    std::vector<TSetEntry> entries;

    int indexOf(const QString &text) const;
    // Tree nodes dropped on the list: objects first by number, then the rest by text (without
    // regard to case); each adds its entry unless one with that text exists.
    void dropNodes(std::vector<TSetNode> nodes, const std::vector<int> &freeObjects);
    // An entry dropped on another entry: the two change places.
    void swap(int a, int b);
    // Backspace, Delete, or a drop on the tree.
    void remove(std::vector<int> rows);
};

// The query parameters of the window ("Параметры запроса").
struct TSetParams {
    QDate start;
    QDate end;
    bool byMonth = false;           // "Интервал расчета": "по месяцам"
    TDateTime maxLost = 3.0 / 1440; // "Максимальная потеря данных"
    QString threshold = QStringLiteral("100"); // "Изменение показаний (мВ)"
    QString avgPeriod = QStringLiteral("60"); // "Интервал усреднения граничных значений"
    bool detect = true; // "Определить заправки"
};

// The table's columns (PR_SETDISP) and the chart's parameter list (every parameter).
std::vector<TGridColumn> FormSetGridCols(db::TDatabase &database);
struct TChartParam {
    QString name;
    QString dispName;
    QString type;
};
std::vector<TChartParam> FormCalcFieldsList(db::TDatabase &database);

// D-H-M-S text to hours: D * 24 + H + M / 60 + S / 3600 (0 for what is not one).
double MyTimeToHour(const QString &text);

struct TBarSeries {
    QString title;
    QStringList labels;
    std::vector<double> values;
};
struct TSetChart {
    QString title;
    std::vector<TBarSeries> series;
};

class TObjectsSetReport {
public:
    explicit TObjectsSetReport(TFuelComputations &fuel, TQueryControl control = {});

    // The table: one row per entry, "Итог" where the level changes and after the last entry.
    // queryObjList receives the numbers the table covers (FQueryObjList).
    TReportGrid TableQuery(const std::vector<TSetEntry> &entries, const TSetParams &p,
                           const std::vector<TGridColumn> &columns, QStringList &queryObjList);
    // The bars of one parameter (by its display name), one series per entry.
    TSetChart ChartQuery(const std::vector<TSetEntry> &entries, const TSetParams &p,
                         const QString &dispName);

private:
    TBarSeries objectSeries(const TSetEntry &e, const TSetParams &p, const QString &name,
                            const QString &type);
    TBarSeries groupSeries(const TSetEntry &e, const TSetParams &p, const QString &name,
                           const QString &type);

    TFuelComputations &m_fuel;
    TQueryControl m_control;
};

// The archive day files the export needs and lacks: "объект: №N  дата: D" lines.
QStringList MissingDayFiles(const QStringList &queryObjList, const QDate &start, const QDate &end,
                            const QString &dataDir);
Q_DECLARE_METATYPE(TSetChart)
