#pragma once

// The spreadsheet files of the reports in the XML Spreadsheet 2003 form: Windows-1251, CR LF,
// the fixed header line, one sheet. The object-set window writes its table with the row
// captions ("Отчет"); the data window writes the grid of a page ("Данные по объекту N") with
// number cells where a text reads as a number. Files are written whole to a temporary file and
// renamed over the target.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "reports/ReportGrid.h"

// The file bytes of the object-set form.
QByteArray ObjectsSetXml(const TReportGrid &table);
// The file bytes of the data-window form; headerLines come before the column titles.
QByteArray GridXml(const TReportGrid &grid, const QStringList &headerLines);

// Writes the files; a failure raises std::runtime_error with the reason.
void ExportDataToXML(const TReportGrid &table, const QString &fileName);
void ExportGridToXML(const TReportGrid &grid, const QStringList &headerLines,
                     const QString &fileName);

// The message of a failed save and its caption (both forms).
QString ExportFailureText(const QString &reason); // "Не удалось сохранить файл:\n\r" + reason
QString ExportFailureCaption();                   // "Ошибка экспорта данных"

// "&", "<" and ">" as entities (and '"' where asked), so a cell cannot break the file.
QString XmlEscape(const QString &text, bool quotes = false);
