#pragma once

// The grids of the report windows as values: columns described by the parameter catalogue and
// rows of cell texts, plus the model a window shows them through. The exports read the same
// value, so what is saved is exactly what is shown.

#include <QAbstractTableModel>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <vector>

#include "app/DateUtils.h"

// One column: its title (";" breaks the header line), the result field it shows, the
// catalogue parameter name behind it and its width in pixels.
struct TGridColumn {
    QString caption;
    QString field;
    QString name;
    int width = 64;
    int lamp = -1;    // the lamp rule of a state column (SostLampRule), -1 for text
    int special = -1; // the cell rule of a state column (TSostRule), -1 for the plain field
};

// What a long query is told by whoever runs it: whether to stop, and how far it has come.
// A query that sees the stop request throws EQueryCancelled at its next step.
struct TQueryControl {
    std::function<bool()> cancelled;
    std::function<void(int done, int total)> progress;

    void step(int done, int total) const;
};

class EQueryCancelled : public std::runtime_error {
public:
    EQueryCancelled() : std::runtime_error("query cancelled") {}
};

struct TReportGrid {
    std::vector<TGridColumn> columns;
    std::vector<QStringList> rows;   // one text per column
    QStringList rowCaptions;         // the object-set table's gutter; empty elsewhere
    std::vector<TDateTime> rowDates; // the daily page: each row's day (0 for the totals row)
    int object = -1;                 // the object of the last query, -1 before any

    int columnOf(const QString &field) const;
    int rowCount() const { return static_cast<int>(rows.size()); }
    int columnCount() const { return static_cast<int>(columns.size()); }
    QString cell(int row, int column) const;
    void clearRows();
    // The header line of a column as a spreadsheet shows it (";" replaced by a blank).
    static QString flatCaption(const QString &caption);
};

// The status lamps of the state-change page: image indexes of the main window's state images.
enum TLampImage { LampGrey = 0, LampGreen = 1, LampRed = 2, LampDark = 3 };

// Which lamp rule a state column follows (by its parameter name), -1 for none.
int SostLampRule(const QString &paramName);
// The image for a cell under a rule: "1", "0" or anything else.
int SostLampImage(int rule, const QString &cell);

// Shows a TReportGrid. Header texts break at ";"; every cell is centred. Lamp columns show no
// text; their image index is LampRole.
class TReportGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int LampRole = Qt::UserRole + 1;

    explicit TReportGridModel(QObject *parent = nullptr);

    void setGrid(TReportGrid grid);
    const TReportGrid &grid() const { return m_grid; }
    // Keeps the columns, drops the rows (an emptied grid).
    void clearRows();
    void setColumnWidth(int column, int width);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    TReportGrid m_grid;
};
Q_DECLARE_METATYPE(TReportGrid)
