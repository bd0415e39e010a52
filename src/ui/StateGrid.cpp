#include "ui/StateGrid.h"

#include "db/GroupManager.h"

#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>

namespace {
// Lamp cells show the lamp in the middle of the cell.
class TLampDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->text.isEmpty() && !option->icon.isNull()) {
            option->decorationPosition = QStyleOptionViewItem::Top;
            option->decorationAlignment = Qt::AlignCenter;
        }
    }
};
} // namespace

TSostGridModel::TSostGridModel(QObject *parent) : QAbstractTableModel(parent) {}

void TSostGridModel::setManager(TManager *manager) {
    beginResetModel();
    m_manager = manager;
    endResetModel();
}

void TSostGridModel::reset() {
    beginResetModel();
    endResetModel();
}

void TSostGridModel::refresh() {
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int TSostGridModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid() || !m_manager)
        return 0;
    return m_manager->gridRowCount() - 1;
}

int TSostGridModel::columnCount(const QModelIndex &parent) const {
    if (parent.isValid() || !m_manager)
        return 0;
    return static_cast<int>(m_manager->gridHeaders().size());
}

QIcon TSostGridModel::lampIcon(int index) {
    static const QColor colours[] = {QColor(0xB0, 0xB0, 0xB0), QColor(0x1E, 0xB8, 0x3C),
                                     QColor(0xE0, 0x30, 0x30), QColor(0x60, 0x60, 0x60)};
    static QIcon icons[4];
    if (index < 0 || index > 3)
        return {};
    if (icons[index].isNull()) {
        QPixmap pm(14, 14);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(colours[index].darker(140));
        p.setBrush(colours[index]);
        p.drawEllipse(1, 1, 12, 12);
        icons[index] = QIcon(pm);
    }
    return icons[index];
}

QVariant TSostGridModel::data(const QModelIndex &index, int role) const {
    if (!m_manager || !index.isValid())
        return {};
    const TSostCell cell = m_manager->SostGridCell(index.row() + 1, index.column());
    switch (role) {
    case Qt::DisplayRole:
        return cell.text;
    case Qt::DecorationRole:
        return cell.icon >= 0 ? QVariant(lampIcon(cell.icon)) : QVariant();
    case Qt::TextAlignmentRole:
        if (cell.icon >= 0 || cell.wrap || index.column() == 0)
            return int(Qt::AlignCenter);
        return int(Qt::AlignVCenter | Qt::AlignRight);
    default:
        return {};
    }
}

QVariant TSostGridModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal || !m_manager)
        return {};
    const QStringList h = m_manager->gridHeaders();
    return section >= 0 && section < h.size() ? QVariant(h[section]) : QVariant();
}

TSostGrid::TSostGrid(QWidget *parent) : QTableView(parent), m_model(new TSostGridModel(this)) {
    setHorizontalHeader(new TWrapHeader(this));
    setItemDelegate(new TLampDelegate(this));
    setModel(m_model);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(24);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(true);
    setAlternatingRowColors(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (m_model->manager())
                    m_model->manager()->setGridWidth(section, size);
            });
    connect(m_model, &QAbstractItemModel::modelReset, this, &TSostGrid::applyWidths);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &cur) {
                TManager *m = m_model->manager();
                if (!m || !cur.isValid())
                    return;
                m->setSelectedRow(cur.row() + 1);
                emit currentObjectChanged(currentObjectText().toInt(), cur.row() + 1);
            });
}

TWrapHeader::TWrapHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent) {
    setDefaultAlignment(Qt::AlignCenter);
    setSectionsClickable(false);
}

void TWrapHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const {
    if (!rect.isValid())
        return;
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.textAlignment = Qt::AlignCenter;
    // A caption wider than its column goes over two lines, broken at the blank nearest the
    // middle.
    opt.text = caption(model()->headerData(logicalIndex, orientation()).toString(),
                       QFontMetrics(font()), rect.width());
    painter->save();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
}

QString TWrapHeader::caption(const QString &text, const QFontMetrics &fm, int width) {
    if (fm.horizontalAdvance(text) <= width - 6)
        return text;
    int best = -1;
    for (int k = 0; k < text.size(); ++k)
        if (text.at(k) == QLatin1Char(' ') &&
            (best < 0 || qAbs(k - text.size() / 2) < qAbs(best - text.size() / 2)))
            best = k;
    QString out = text;
    if (best > 0)
        out[best] = QLatin1Char('\n');
    return out;
}

int TWrapHeader::neededWidth(int logicalIndex) const {
    const QString text =
        model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    const QFontMetrics fm(font());
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this) + 2;
    int widest = 0;
    for (const QString &line : caption(text, fm, 0).split(QLatin1Char('\n')))
        widest = qMax(widest, fm.horizontalAdvance(line));
    return widest + margins;
}

QSize TWrapHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setHeight(qMax(50, fontMetrics().height() * 2 + 10)); // the caption row is 50 high
    return s;
}

void TSostGrid::setManager(TManager *manager) {
    m_model->setManager(manager);
}

void TSostGrid::applyWidths() {
    TManager *m = m_model->manager();
    if (!m)
        return;
    const auto &w = m->gridWidths();
    auto *header = static_cast<TWrapHeader *>(horizontalHeader());
    // A stored width narrower than the column's caption would cut it: the caption wins.
    for (int c = 0; c < m_model->columnCount(); ++c) {
        const int stored = c < static_cast<int>(w.size()) ? w[static_cast<size_t>(c)] : 0;
        const int need = header->neededWidth(c);
        if (stored > 0 || header->sectionSize(c) < need)
            header->resizeSection(c, qMax(stored, need));
    }
}

QString TSostGrid::currentObjectText() const {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid())
        return {};
    return m_model->data(m_model->index(cur.row(), 0), Qt::DisplayRole).toString();
}
