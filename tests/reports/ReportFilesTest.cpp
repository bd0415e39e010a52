// The spreadsheet files byte for byte, and every file the writers make opened by real readers:
// LibreOffice (headless, to CSV) for the XML and .xlsx files, pdftotext for the PDF.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/Cp1251.h"
#include "reports/ReportFiles.h"
#include "reports/SpreadsheetXml.h"

namespace {

TReportGrid smallGrid() {
    TReportGrid g;
    for (const auto &[caption, field] :
         {std::pair{"Дата;начала", "A"}, std::pair{"Сумма", "B"}, std::pair{"Примечание", "C"}}) {
        TGridColumn c;
        c.caption = QString::fromUtf8(caption);
        c.field = QString::fromUtf8(field);
        g.columns.push_back(c);
    }
    g.rows = {{QStringLiteral("31.03.2026"), QStringLiteral("12,5"), QStringLiteral("a & <b>")},
              {QString(), QStringLiteral("12:30:00"), QStringLiteral("Итог")}};
    g.rowCaptions = {QStringLiteral("Объект \"1\""), QStringLiteral("Итог")};
    g.object = 7;
    return g;
}

const char *kHead =
    "<?xml version=\"1.0\" encoding=\"WINDOWS-1251\"?><?mso-application progid=\"Excel.Sheet\"?>"
    "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
    "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
    "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\" "
    "xmlns:html=\"http://www.w3.org/TR/REC-html40\" >"
    "<ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\"></ExcelWorkbook><Styles>"
    "<Style ss:ID=\"sd\"><NumberFormat ss:Format=\"Short Date\"/></Style>"
    "<Style ss:ID=\"st\"><NumberFormat ss:Format=\"h:mm:ss\"/></Style>"
    "<Style ss:ID=\"sfd\"><NumberFormat ss:Format=\"yyyy.mm.dd h:mm:ss\"/></Style>"
    "<Style ss:ID=\"cdf\"><NumberFormat ss:Format=\"[$-419]d\\-mmm\\-yyyy;@\"/></Style>"
    "</Styles>\r\n";

// The CSV lines LibreOffice writes (UTF-8), each split at the commas.
std::vector<QStringList> readCsv(const QString &file) {
    QFile f(file);
    std::vector<QStringList> rows;
    if (!f.open(QIODevice::ReadOnly))
        return rows;
    for (QString line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\r'));
        if (line.isEmpty())
            continue;
        QStringList cells;
        QString cell;
        bool quoted = false;
        for (int i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c == QLatin1Char('"')) {
                if (quoted && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    cell += c;
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else if (c == QLatin1Char(',') && !quoted) {
                cells << cell;
                cell.clear();
            } else {
                cell += c;
            }
        }
        cells << cell;
        rows.push_back(cells);
    }
    return rows;
}

// A number reads back with the reader's own separator.
QString sameNumber(QString s) {
    return s.replace(QLatin1Char(','), QLatin1Char('.'));
}

} // namespace

TEST(SpreadsheetXml, BothFormsByteForByte) {
    const TReportGrid g = smallGrid();
    const QByteArray data = GridXml(g, {QStringLiteral("Объект №7 - Т & К (ТК)")});
    const QString expectedData =
        QString::fromUtf8(kHead) +
        QStringLiteral("<Worksheet ss:Name=\"Данные по объекту 7\">\r\n<Table>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\">Объект №7 - Т &amp; К (ТК)</Data></Cell>\r\n"
                       "</Row>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Дата начала </Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Сумма </Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Примечание </Data></Cell>\r\n"
                       "</Row>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\">31.03.2026</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"Number\">12.5</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">a &amp; &lt;b&gt;</Data></Cell>\r\n"
                       "</Row>\r\n<Row>\r\n<Cell></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">12:30:00</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">Итог</Data></Cell>\r\n"
                       "</Row>\r\n</Table>\r\n</Worksheet>\r\n</Workbook>\r\n");
    EXPECT_EQ(data, cp1251::encode(expectedData));
    EXPECT_EQ(data.count('\n'), data.count("\r\n"));
    // "№" is one byte of the code page.
    EXPECT_TRUE(data.contains(QByteArray("\xB9"
                                         "7")));

    TReportGrid unset = g;
    unset.object = -1;
    EXPECT_TRUE(GridXml(unset, {}).contains(cp1251::encode(
        QStringLiteral("<Worksheet ss:Name=\"Данные по объекту (не задан)\">\r\n"
                       "<Table>\r\n<Row>\r\n<Cell><Data ss:Type=\"String\"> Дата"))));

    const QString expectedSet =
        QString::fromUtf8(kHead) +
        QStringLiteral("<Worksheet ss:Name=\"Отчет\">\r\n<Table>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Группа / объект </Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Дата;начала </Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Сумма </Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"> Примечание </Data></Cell>\r\n"
                       "</Row>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\">Объект \"1\"</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">31.03.2026</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">12,5</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">a &amp; &lt;b&gt;</Data></Cell>\r\n"
                       "</Row>\r\n<Row>\r\n"
                       "<Cell><Data ss:Type=\"String\">Итог</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\"></Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">12:30:00</Data></Cell>\r\n"
                       "<Cell><Data ss:Type=\"String\">Итог</Data></Cell>\r\n"
                       "</Row>\r\n</Table>\r\n</Worksheet>\r\n</Workbook>\r\n");
    EXPECT_EQ(ObjectsSetXml(g), cp1251::encode(expectedSet));
    EXPECT_EQ(XmlEscape(QStringLiteral("\"a\""), true), QStringLiteral("&quot;a&quot;"));
}

TEST(SpreadsheetXml, AFailedSaveLeavesTheOldFileAndSaysWhy) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("r.xml"));
    ExportGridToXML(smallGrid(), {}, file);
    const QByteArray before = [&] {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_THROW(ExportDataToXML(smallGrid(), dir.filePath(QStringLiteral("missing/r.xml"))),
                 std::exception);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(ExportFailureText(QStringLiteral("нет места")),
              QStringLiteral("Не удалось сохранить файл:\n\rнет места"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ReportFiles, CellTypes) {
    EXPECT_EQ(ClassifyCell(QStringLiteral("12,50")).kind, TCellValue::Number);
    EXPECT_EQ(ClassifyCell(QStringLiteral("12,50")).decimals, 2);
    EXPECT_EQ(ClassifyCell(QStringLiteral("31.03.2026")).kind, TCellValue::Date);
    EXPECT_EQ(ClassifyCell(QStringLiteral("31.03.2026 10:00:00")).kind, TCellValue::DateTime);
    EXPECT_EQ(ClassifyCell(QStringLiteral("1:01:00:00")).kind, TCellValue::Text);
    EXPECT_EQ(ClassifyCell(QString()).kind, TCellValue::Empty);
}

// LibreOffice opens the two XML forms and the workbook (one start for the three files), and
// pdftotext finds the heading and the totals row of the PDF.
TEST(ReportFiles, RealReadersReadBackTheGrid) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const TReportGrid g = smallGrid();
    ExportGridToXML(g, {QStringLiteral("Объект №7 - Т (ТК)")},
                    dir.filePath(QStringLiteral("data.xml")));
    ExportDataToXML(g, dir.filePath(QStringLiteral("set.xml")));
    TReportDocument doc;
    doc.sheetName = QStringLiteral("Данные по объекту 7");
    doc.heading = {QStringLiteral("Объект №7 - Т (ТК)"),
                   QStringLiteral("Период: 31.03.2026 - 01.04.2026")};
    doc.grid = g;
    SaveXlsx(doc, dir.filePath(QStringLiteral("book.xlsx")));
    TReportChart chart;
    chart.title = QStringLiteral("Время работы двигателя");
    chart.series.push_back({QStringLiteral("Объект №7"),
                            {QStringLiteral("31.03.2026"), QStringLiteral("01.04.2026")},
                            {2, 3}});
    doc.chart = chart;
    SavePdf(doc, dir.filePath(QStringLiteral("report.pdf")));

    QProcess office;
    office.setWorkingDirectory(dir.path());
    office.start(
        QStringLiteral("soffice"),
        {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("lo")),
         QStringLiteral("--headless"), QStringLiteral("--norestore"),
         QStringLiteral("--convert-to"),
         QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1"), QStringLiteral("--outdir"),
         dir.filePath(QStringLiteral("csv")), dir.filePath(QStringLiteral("data.xml")),
         dir.filePath(QStringLiteral("set.xml")), dir.filePath(QStringLiteral("book.xlsx"))});
    ASSERT_TRUE(office.waitForFinished(180000)) << "LibreOffice did not finish";
    ASSERT_EQ(office.exitCode(), 0) << office.readAllStandardError().toStdString();

    // The data-window form: the header line, the titles, the cells.
    const auto data = readCsv(dir.filePath(QStringLiteral("csv/data.csv")));
    ASSERT_EQ(data.size(), 4u) << office.readAllStandardOutput().toStdString();
    EXPECT_EQ(data[0][0], QStringLiteral("Объект №7 - Т (ТК)"));
    EXPECT_EQ(data[1], QStringList({" Дата начала ", " Сумма ", " Примечание "}));
    EXPECT_EQ(data[2][0], QStringLiteral("31.03.2026"));
    EXPECT_EQ(sameNumber(data[2][1]), QStringLiteral("12.5"));
    EXPECT_EQ(data[2][2], QStringLiteral("a & <b>"));
    EXPECT_EQ(data[3], QStringList({"", "12:30:00", "Итог"}));

    const auto set = readCsv(dir.filePath(QStringLiteral("csv/set.csv")));
    ASSERT_EQ(set.size(), 3u);
    EXPECT_EQ(set[0][0], QStringLiteral(" Группа / объект "));
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(set[size_t(r + 1)][0], g.rowCaptions[r]);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(set[size_t(r + 1)][c + 1], g.cell(r, c));
    }

    // The workbook: the heading, the titles, then the grid with numbers and dates typed.
    const auto book = readCsv(dir.filePath(QStringLiteral("csv/book.csv")));
    ASSERT_EQ(book.size(), 5u);
    EXPECT_EQ(book[0][0], doc.heading[0]);
    EXPECT_EQ(book[2], QStringList({"Дата начала", "Сумма", "Примечание"}));
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(sameNumber(book[size_t(r + 3)][c]), sameNumber(g.cell(r, c)));

    QProcess pdf;
    pdf.start(QStringLiteral("pdftotext"),
              {QStringLiteral("-layout"), dir.filePath(QStringLiteral("report.pdf")),
               QStringLiteral("-")});
    ASSERT_TRUE(pdf.waitForFinished(60000));
    const QString text = QString::fromUtf8(pdf.readAllStandardOutput());
    EXPECT_TRUE(text.contains(QStringLiteral("Объект №7 - Т (ТК)"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Период: 31.03.2026 - 01.04.2026")));
    EXPECT_TRUE(text.contains(QStringLiteral("Итог")));
    EXPECT_TRUE(text.contains(QStringLiteral("Время работы двигателя")));
}
