#include "reports/ReportGrid.h"

void TQueryControl::step(int done, int total) const {
    if (cancelled && cancelled())
        throw EQueryCancelled();
    if (progress)
        progress(done, total);
}

int TReportGrid::columnOf(const QString &field) const {
    for (int i = 0; i < columnCount(); ++i)
        if (columns[size_t(i)].field.compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString TReportGrid::cell(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    const QStringList &r = rows[size_t(row)];
    return column >= 0 && column < r.size() ? r[column] : QString();
}

void TReportGrid::clearRows() {
    rows.clear();
    rowCaptions.clear();
    rowDates.clear();
}

QString TReportGrid::flatCaption(const QString &caption) {
    QString s = caption;
    s.replace(QLatin1Char(';'), QLatin1Char(' '));
    return s;
}

namespace {
// The parameter names with a lamp and the image of "1" and of "0" for each.
struct TLampRule {
    const char16_t *name;
    int one;
    int zero;
};
const TLampRule kLampRules[] = {
    {u"тревожная кнопка", LampRed, LampGrey},
    {u"режим предупреждения", LampGrey, LampRed},
    {u"дизель локомотива", LampGrey, LampRed},
    {u"движение локомотива", LampGrey, LampRed},
    {u"отказ автомата защиты 65 вольт", LampGreen, LampGrey},
    {u"напряжение на АБ меньше минимального порога", LampGreen, LampGrey},
};
} // namespace

int SostLampRule(const QString &paramName) {
    if (paramName.isEmpty())
        return -1;
    for (int i = 0; i < int(std::size(kLampRules)); ++i)
        if (paramName.contains(QString::fromUtf16(kLampRules[i].name)))
            return i;
    return -1;
}

int SostLampImage(int rule, const QString &cell) {
    if (rule < 0 || rule >= int(std::size(kLampRules)))
        return -1;
    if (cell == QLatin1String("1"))
        return kLampRules[rule].one;
    if (cell == QLatin1String("0"))
        return kLampRules[rule].zero;
    return LampDark;
}

TReportGridModel::TReportGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void TReportGridModel::setGrid(TReportGrid grid) {
    beginResetModel();
    m_grid = std::move(grid);
    endResetModel();
}

void TReportGridModel::clearRows() {
    beginResetModel();
    m_grid.clearRows();
    endResetModel();
}

void TReportGridModel::setColumnWidth(int column, int width) {
    if (column >= 0 && column < m_grid.columnCount())
        m_grid.columns[size_t(column)].width = width;
}

int TReportGridModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_grid.rowCount();
}

int TReportGridModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_grid.columnCount();
}

QVariant TReportGridModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    const TGridColumn &c = m_grid.columns[size_t(index.column())];
    const QString text = m_grid.cell(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
        return c.lamp >= 0 ? QVariant() : QVariant(text);
    case Qt::ToolTipRole:
        return text;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case LampRole:
        return c.lamp >= 0 ? QVariant(SostLampImage(c.lamp, text)) : QVariant();
    default:
        return {};
    }
}

QVariant TReportGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_grid.columnCount())
            return {};
        if (role == Qt::DisplayRole) {
            QString s = m_grid.columns[size_t(section)].caption;
            s.replace(QLatin1Char(';'), QLatin1Char('\n'));
            return s;
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        return {};
    }
    if (role == Qt::DisplayRole) {
        if (section >= 0 && section < m_grid.rowCaptions.size())
            return m_grid.rowCaptions[section];
        return m_grid.rowCaptions.isEmpty() ? QVariant(section + 1) : QVariant();
    }
    return {};
}
