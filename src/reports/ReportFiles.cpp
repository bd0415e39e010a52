#include "reports/ReportFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryFile>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "app/DateUtils.h"
#include "reports/ReportTexts.h"

namespace {

// A temporary file beside the target; rename() puts it in place, the destructor removes it
// when that never happened.
class TTempTarget {
public:
    explicit TTempTarget(const QString &target) : m_target(target) {
        QTemporaryFile f(QFileInfo(target).absolutePath() + QStringLiteral("/.") +
                         QFileInfo(target).fileName() + QStringLiteral(".XXXXXX"));
        f.setAutoRemove(false);
        if (!f.open())
            throw std::runtime_error(
                (QFileInfo(target).absolutePath() + QStringLiteral(": ") + f.errorString())
                    .toStdString());
        m_path = f.fileName();
    }
    ~TTempTarget() {
        if (!m_done)
            QFile::remove(m_path);
    }
    const QString &path() const { return m_path; }
    void commit() {
        if (std::rename(QFile::encodeName(m_path).constData(),
                        QFile::encodeName(m_target).constData()) != 0)
            throw std::runtime_error(
                (m_target + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)))
                    .toStdString());
        m_done = true;
    }

private:
    QString m_target, m_path;
    bool m_done = false;
};

QStringList headerTexts(const TReportDocument &doc) {
    QStringList h;
    if (doc.captionColumn)
        h << QStringLiteral("Группа / объект");
    for (const TGridColumn &c : doc.grid.columns)
        h << TReportGrid::flatCaption(c.caption).trimmed();
    return h;
}

QStringList rowTexts(const TReportDocument &doc, int r) {
    QStringList t;
    if (doc.captionColumn)
        t << (r < doc.grid.rowCaptions.size() ? doc.grid.rowCaptions[r] : QString());
    for (int c = 0; c < doc.grid.columnCount(); ++c)
        t << doc.grid.cell(r, c);
    return t;
}

const QColor kPalette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0x2c, 0xa0, 0x2c),
                           QColor(0xd6, 0x27, 0x28), QColor(0xff, 0x7f, 0x0e),
                           QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                           QColor(0x17, 0xbe, 0xcf), QColor(0x7f, 0x7f, 0x7f)};

} // namespace

TCellValue ClassifyCell(const QString &text) {
    TCellValue v;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return v;
    double n = 0;
    if (TextToFloat(t, n)) {
        v.kind = TCellValue::Number;
        v.number = n;
        const QChar sep = TFormatSettings::current().decimalSeparator;
        const int at =
            t.lastIndexOf(sep) >= 0 ? t.lastIndexOf(sep) : t.lastIndexOf(QLatin1Char('.'));
        v.decimals = at < 0 ? 0 : int(t.size() - at - 1);
        return v;
    }
    TDateTime d = 0;
    if (t.size() >= 8 && t.at(0).isDigit() && dt::tryStrToDateTime(t, d)) {
        v.kind = t.contains(QLatin1Char(' ')) ? TCellValue::DateTime : TCellValue::Date;
        v.number = d;
        return v;
    }
    v.kind = TCellValue::Text;
    return v;
}

// ---------------------------------------------------------------------------------------------

void SaveXlsx(const TReportDocument &doc, const QString &fileName) {
    TTempTarget tmp(fileName);
    lxw_workbook *wb = workbook_new(QFile::encodeName(tmp.path()).constData());
    if (!wb)
        throw std::runtime_error(
            (fileName + QStringLiteral(": cannot create the workbook")).toStdString());
    const QByteArray sheet = doc.sheetName.left(31).toUtf8();
    lxw_worksheet *ws = workbook_add_worksheet(wb, sheet.constData());
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_format *head = workbook_add_format(wb);
    format_set_bold(head);
    format_set_text_wrap(head);
    format_set_align(head, LXW_ALIGN_CENTER);
    format_set_align(head, LXW_ALIGN_VERTICAL_CENTER);
    format_set_border(head, LXW_BORDER_THIN);
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "dd.mm.yyyy");
    lxw_format *dateTime = workbook_add_format(wb);
    format_set_num_format(dateTime, "dd.mm.yyyy hh:mm:ss");
    lxw_format *numbers[4];
    const char *numberFormats[4] = {"0", "0.0", "0.00", "0.000"};
    for (int i = 0; i < 4; ++i) {
        numbers[i] = workbook_add_format(wb);
        format_set_num_format(numbers[i], numberFormats[i]);
    }

    lxw_row_t row = 0;
    for (const QString &line : doc.heading)
        worksheet_write_string(ws, row++, 0, line.toUtf8().constData(), bold);
    const QStringList header = headerTexts(doc);
    for (int c = 0; c < header.size(); ++c)
        worksheet_write_string(ws, row, lxw_col_t(c), header[c].toUtf8().constData(), head);
    ++row;
    worksheet_freeze_panes(ws, row, 0);
    for (int c = 0; c < header.size(); ++c)
        worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), c == 0 && doc.captionColumn ? 30 : 14,
                             nullptr);
    for (int r = 0; r < doc.grid.rowCount(); ++r, ++row) {
        const QStringList cells = rowTexts(doc, r);
        for (int c = 0; c < cells.size(); ++c) {
            const bool caption = c == 0 && doc.captionColumn;
            const TCellValue v = caption ? TCellValue{TCellValue::Text} : ClassifyCell(cells[c]);
            switch (v.kind) {
            case TCellValue::Empty:
                break;
            case TCellValue::Number:
                worksheet_write_number(ws, row, lxw_col_t(c), v.number,
                                       numbers[std::clamp(v.decimals, 0, 3)]);
                break;
            case TCellValue::Date:
            case TCellValue::DateTime: {
                const dt::TDateTimeParts p = dt::decode(v.number);
                lxw_datetime d{p.year, p.month, p.day, p.hour, p.minute, double(p.second)};
                worksheet_write_datetime(ws, row, lxw_col_t(c), &d,
                                         v.kind == TCellValue::Date ? date : dateTime);
                break;
            }
            case TCellValue::Text:
                worksheet_write_string(ws, row, lxw_col_t(c), cells[c].toUtf8().constData(),
                                       caption ? bold : nullptr);
                break;
            }
        }
    }
    const lxw_error err = workbook_close(wb);
    if (err != LXW_NO_ERROR)
        throw std::runtime_error(
            (fileName + QStringLiteral(": ") + QString::fromUtf8(lxw_strerror(err))).toStdString());
    tmp.commit();
}

// ---------------------------------------------------------------------------------------------

namespace {

void drawChart(QPainter &p, const TReportChart &chart, const QRectF &area) {
    QFont f = p.font();
    f.setPointSizeF(8);
    p.setFont(f);
    const QFontMetricsF fm(f);
    p.setPen(Qt::black);
    QFont bold = f;
    bold.setBold(true);
    bold.setPointSizeF(10);
    p.setFont(bold);
    p.drawText(QRectF(area.left(), area.top(), area.width(), 20), Qt::AlignCenter, chart.title);
    p.setFont(f);

    // Legend on the right.
    const double legendWidth = 180;
    double ly = area.top() + 28;
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const QColor c = s < chart.colours.size() ? chart.colours[s] : kPalette[s % 8];
        p.fillRect(QRectF(area.right() - legendWidth, ly, 10, 10), c);
        p.drawText(QPointF(area.right() - legendWidth + 14, ly + 9),
                   fm.elidedText(chart.series[s].title, Qt::ElideRight, legendWidth - 16));
        ly += 14;
    }
    const QRectF plot(area.left() + 50, area.top() + 28, area.width() - legendWidth - 60,
                      area.height() - 28 - 40);
    double lo = 0, hi = 0;
    int labels = 0;
    for (const TBarSeries &s : chart.series) {
        for (double v : s.values) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        labels = std::max(labels, int(s.labels.size()));
    }
    if (hi <= lo)
        hi = lo + 1;
    const auto yOf = [&](double v) { return plot.bottom() - (v - lo) / (hi - lo) * plot.height(); };
    p.setPen(QPen(Qt::gray, 0.5));
    for (int i = 0; i <= 4; ++i) {
        const double v = lo + (hi - lo) * i / 4;
        const double y = yOf(v);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        const QString t =
            chart.timeAxis ? dt::formatDateTime(QStringLiteral("hh:nn"), v) : FormatFixed3(v);
        p.setPen(Qt::black);
        p.drawText(QRectF(area.left(), y - 6, 46, 12), Qt::AlignRight | Qt::AlignVCenter, t);
        p.setPen(QPen(Qt::gray, 0.5));
    }
    p.setPen(Qt::black);
    p.drawRect(plot);
    if (labels == 0)
        return;
    const double slot = plot.width() / labels;
    const int every = std::max(1, int(std::ceil(fm.horizontalAdvance(QStringLiteral("00.00.0000")) /
                                                std::max(slot, 1.0))));
    const QStringList &names = chart.series.front().labels;
    for (int i = 0; i < labels; i += every)
        if (i < names.size())
            p.drawText(
                QRectF(plot.left() + i * slot - 20, plot.bottom() + 2, slot * every + 40, 14),
                Qt::AlignHCenter | Qt::AlignTop, names[i]);
    const int n = std::max<int>(1, int(chart.series.size()));
    for (size_t s = 0; s < chart.series.size(); ++s) {
        const QColor c = s < chart.colours.size() ? chart.colours[s] : kPalette[s % 8];
        const TBarSeries &series = chart.series[s];
        if (chart.bars) {
            const double w = slot * 0.8 / n;
            for (size_t i = 0; i < series.values.size(); ++i) {
                const double x = plot.left() + i * slot + slot * 0.1 + s * w;
                const double y = yOf(series.values[i]);
                p.fillRect(QRectF(x, std::min(y, yOf(0)), w, std::abs(yOf(0) - y)), c);
            }
        } else {
            p.setPen(QPen(c, 1.5));
            QPointF last;
            for (size_t i = 0; i < series.values.size(); ++i) {
                const QPointF pt(plot.left() + i * slot + slot / 2, yOf(series.values[i]));
                if (i > 0)
                    p.drawLine(last, pt);
                p.fillRect(QRectF(pt.x() - 1.5, pt.y() - 1.5, 3, 3), c);
                last = pt;
            }
            p.setPen(Qt::black);
        }
    }
}

} // namespace

void SavePdf(const TReportDocument &doc, const QString &fileName) {
    TTempTarget tmp(fileName);
    {
        QPdfWriter writer(tmp.path());
        writer.setTitle(doc.heading.isEmpty() ? doc.sheetName : doc.heading.first());
        writer.setCreator(QStringLiteral("zarnex"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
        writer.setResolution(96);
        QPainter p;
        if (!p.begin(&writer))
            throw std::runtime_error((fileName + QStringLiteral(": cannot write")).toStdString());
        const QRectF page = QRectF(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
        QFont base(QStringLiteral("DejaVu Sans"));
        base.setPointSizeF(7);
        QFont boldHead = base;
        boldHead.setBold(true);
        QFont title = base;
        title.setPointSizeF(11);
        title.setBold(true);

        double y = 0;
        p.setFont(title);
        for (const QString &line : doc.heading) {
            const double h = QFontMetricsF(title).height() + 2;
            p.drawText(QRectF(0, y, page.width(), h), Qt::AlignLeft | Qt::AlignVCenter, line);
            y += h;
            p.setFont(base);
            title = base;
            title.setPointSizeF(9);
        }
        y += 6;

        // Column widths: the widest text of each column (header lines broken at ";"),
        // scaled to the page width.
        const QStringList header = headerTexts(doc);
        std::vector<QStringList> headerLines;
        if (doc.captionColumn)
            headerLines.push_back({QStringLiteral("Группа / объект")});
        for (const TGridColumn &c : doc.grid.columns) {
            QStringList l;
            for (const QString &part : c.caption.split(QLatin1Char(';')))
                l << part.trimmed();
            headerLines.push_back(l);
        }
        const QFontMetricsF fm(base), fb(boldHead);
        std::vector<double> widths(size_t(header.size()), 20);
        int headerRows = 1;
        for (int c = 0; c < header.size(); ++c) {
            for (const QString &l : headerLines[size_t(c)])
                widths[size_t(c)] = std::max(widths[size_t(c)], fb.horizontalAdvance(l) + 8);
            headerRows = std::max(headerRows, int(headerLines[size_t(c)].size()));
        }
        for (int r = 0; r < doc.grid.rowCount(); ++r) {
            const QStringList t = rowTexts(doc, r);
            for (int c = 0; c < t.size(); ++c)
                widths[size_t(c)] =
                    std::max(widths[size_t(c)], std::min(fm.horizontalAdvance(t[c]) + 8, 260.0));
        }
        double total = 0;
        for (double w : widths)
            total += w;
        const double scale = total > page.width() ? page.width() / total : 1.0;
        for (double &w : widths)
            w *= scale;
        const double rowH = fm.height() + 4;
        const double headH = fb.height() * headerRows + 6;

        const auto drawHeader = [&] {
            p.setFont(boldHead);
            double x = 0;
            for (int c = 0; c < header.size(); ++c) {
                const QRectF cell(x, y, widths[size_t(c)], headH);
                p.fillRect(cell, QColor(0xe8, 0xe8, 0xe8));
                p.drawRect(cell);
                p.drawText(cell.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap,
                           headerLines[size_t(c)].join(QLatin1Char('\n')));
                x += widths[size_t(c)];
            }
            y += headH;
            p.setFont(base);
        };
        drawHeader();
        for (int r = 0; r < doc.grid.rowCount(); ++r) {
            if (y + rowH > page.height()) {
                writer.newPage();
                y = 0;
                drawHeader();
            }
            const QStringList t = rowTexts(doc, r);
            double x = 0;
            const bool totals = doc.captionColumn
                                    ? (r < doc.grid.rowCaptions.size() &&
                                       doc.grid.rowCaptions[r] == QStringLiteral("Итог"))
                                    : t.contains(QStringLiteral("Итог"));
            p.setFont(totals ? boldHead : base);
            for (int c = 0; c < t.size(); ++c) {
                const QRectF cell(x, y, widths[size_t(c)], rowH);
                p.drawRect(cell);
                p.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignCenter,
                           fm.elidedText(t[c], Qt::ElideRight, cell.width() - 4));
                x += widths[size_t(c)];
            }
            y += rowH;
        }
        if (doc.chart && !doc.chart->series.empty()) {
            const double chartH = std::min(360.0, page.height());
            if (y + 12 + chartH > page.height()) {
                writer.newPage();
                y = 0;
            } else {
                y += 12;
            }
            drawChart(p, *doc.chart, QRectF(0, y, page.width(), chartH));
        }
        if (!p.end())
            throw std::runtime_error((fileName + QStringLiteral(": cannot write")).toStdString());
    }
    if (QFileInfo(tmp.path()).size() == 0)
        throw std::runtime_error(
            (fileName + QStringLiteral(": nothing was written")).toStdString());
    tmp.commit();
}
