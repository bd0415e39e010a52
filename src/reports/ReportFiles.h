#pragma once

// The report tables as .xlsx workbooks (numbers as numbers, dates as dates, the header rows
// frozen) and as PDF pages (A4 landscape: the heading with the object, the period and the
// parameters, the table, the chart under it where one is shown). Both are written whole to a
// temporary file in the target's folder and renamed over it.

#include <QColor>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "reports/ObjectsSetReport.h"
#include "reports/ReportGrid.h"

// A chart under a table: bars (one group per label) or lines through the points.
struct TReportChart {
    QString title;
    bool bars = true;
    bool timeAxis = false; // values are fractions of a day, shown as hh:mm
    std::vector<TBarSeries> series;
    std::vector<QColor> colours; // one per series (a default palette when missing)
};

struct TReportDocument {
    QString sheetName;
    QStringList heading; // lines before the table
    TReportGrid grid;
    bool captionColumn = false; // the rows' captions first, under "Группа / объект"
    std::optional<TReportChart> chart;
};

// Writes the files; a failure raises std::runtime_error with the reason.
void SaveXlsx(const TReportDocument &doc, const QString &fileName);
void SavePdf(const TReportDocument &doc, const QString &fileName);

// What a typed cell is in a workbook.
struct TCellValue {
    enum Kind { Empty, Number, Date, DateTime, Text };
    Kind kind = Empty;
    double number = 0; // Number: the value; Date, DateTime: a TDateTime
    int decimals = 0;  // Number: as many as the text shows
};
TCellValue ClassifyCell(const QString &text);
