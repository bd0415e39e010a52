#include "reports/SpreadsheetXml.h"

#include "app/Cp1251.h"
#include "app/IniFile.h"
#include "reports/ReportTexts.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString header() {
    return QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"WINDOWS-1251\"?>"
        "<?mso-application progid=\"Excel.Sheet\"?>"
        "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\""
        " xmlns:o=\"urn:schemas-microsoft-com:office:office\""
        " xmlns:x=\"urn:schemas-microsoft-com:office:excel\""
        " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\""
        " xmlns:html=\"http://www.w3.org/TR/REC-html40\" >"
        "<ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\"></ExcelWorkbook>"
        "<Styles>"
        "<Style ss:ID=\"sd\"><NumberFormat ss:Format=\"Short Date\"/></Style>"
        "<Style ss:ID=\"st\"><NumberFormat ss:Format=\"h:mm:ss\"/></Style>"
        "<Style ss:ID=\"sfd\"><NumberFormat ss:Format=\"yyyy.mm.dd h:mm:ss\"/></Style>"
        "<Style ss:ID=\"cdf\"><NumberFormat ss:Format=\"[$-419]d\\-mmm\\-yyyy;@\"/></Style>"
        "</Styles>");
}

QString stringCell(const QString &text) {
    return QStringLiteral("<Cell><Data ss:Type=\"String\">") + XmlEscape(text) +
           QStringLiteral("</Data></Cell>");
}

QString headerCell(const QString &text) {
    return QStringLiteral("<Cell><Data ss:Type=\"String\"> ") + XmlEscape(text) +
           QStringLiteral(" </Data></Cell>");
}

QString dataCell(const QString &text) {
    if (text.isEmpty())
        return QStringLiteral("<Cell></Cell>");
    double v = 0;
    if (TextToFloat(text, v)) {
        QString n = text;
        n.replace(QLatin1Char(','), QLatin1Char('.'));
        return QStringLiteral("<Cell><Data ss:Type=\"Number\">") + XmlEscape(n) +
               QStringLiteral("</Data></Cell>");
    }
    return stringCell(text);
}

class TLines {
public:
    void add(const QString &line) { m_text += line + kCrLf; }
    QByteArray bytes() const { return cp1251::encode(m_text); }

private:
    QString m_text;
};

} // namespace

QString XmlEscape(const QString &text, bool quotes) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            s += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            s += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            s += QStringLiteral("&gt;");
        else if (quotes && c == QLatin1Char('"'))
            s += QStringLiteral("&quot;");
        else
            s += c;
    }
    return s;
}

QByteArray ObjectsSetXml(const TReportGrid &table) {
    TLines out;
    out.add(header());
    out.add(QStringLiteral("<Worksheet ss:Name=\"Отчет\">"));
    out.add(QStringLiteral("<Table>"));
    out.add(QStringLiteral("<Row>"));
    out.add(headerCell(QStringLiteral("Группа / объект")));
    for (const TGridColumn &c : table.columns)
        out.add(headerCell(c.caption));
    out.add(QStringLiteral("</Row>"));
    for (int r = 0; r < table.rowCount(); ++r) {
        out.add(QStringLiteral("<Row>"));
        out.add(stringCell(r < table.rowCaptions.size() ? table.rowCaptions[r] : QString()));
        for (int c = 0; c < table.columnCount(); ++c)
            out.add(stringCell(table.cell(r, c)));
        out.add(QStringLiteral("</Row>"));
    }
    out.add(QStringLiteral("</Table>"));
    out.add(QStringLiteral("</Worksheet>"));
    out.add(QStringLiteral("</Workbook>"));
    return out.bytes();
}

QByteArray GridXml(const TReportGrid &grid, const QStringList &headerLines) {
    TLines out;
    out.add(header());
    const QString object =
        grid.object >= 0 ? QString::number(grid.object) : QStringLiteral("(не задан)");
    out.add(QStringLiteral("<Worksheet ss:Name=\"") +
            XmlEscape(QStringLiteral("Данные по объекту ") + object, true) + QStringLiteral("\">"));
    out.add(QStringLiteral("<Table>"));
    for (const QString &line : headerLines) {
        out.add(QStringLiteral("<Row>"));
        out.add(stringCell(line));
        out.add(QStringLiteral("</Row>"));
    }
    out.add(QStringLiteral("<Row>"));
    for (const TGridColumn &c : grid.columns)
        out.add(headerCell(TReportGrid::flatCaption(c.caption)));
    out.add(QStringLiteral("</Row>"));
    for (int r = 0; r < grid.rowCount(); ++r) {
        out.add(QStringLiteral("<Row>"));
        for (int c = 0; c < grid.columnCount(); ++c)
            out.add(dataCell(grid.cell(r, c)));
        out.add(QStringLiteral("</Row>"));
    }
    out.add(QStringLiteral("</Table>"));
    out.add(QStringLiteral("</Worksheet>"));
    out.add(QStringLiteral("</Workbook>"));
    return out.bytes();
}

void ExportDataToXML(const TReportGrid &table, const QString &fileName) {
    writeFileAtomically(fileName, ObjectsSetXml(table));
}

void ExportGridToXML(const TReportGrid &grid, const QStringList &headerLines,
                     const QString &fileName) {
    writeFileAtomically(fileName, GridXml(grid, headerLines));
}

QString ExportFailureText(const QString &reason) {
    return QStringLiteral("Не удалось сохранить файл:\n\r") + reason;
}

QString ExportFailureCaption() {
    return QStringLiteral("Ошибка экспорта данных");
}
