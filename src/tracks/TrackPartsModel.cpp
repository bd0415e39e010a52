#include "tracks/TrackPartsModel.h"

#include "app/FormatSettings.h"

namespace {
QString timeText(TDateTime t) {
    return dt::formatDateTime(QStringLiteral("dd.mm.yy hh:nn:ss"), t);
}
QString number(long double v) {
    return TFormatSettings::current().formatFloat(static_cast<double>(v), 2);
}
} // namespace

TTrackPartsModel::TTrackPartsModel(QObject *parent) : QAbstractTableModel(parent) {
    ResetTrackTable();
}

int TTrackPartsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TTrackPartsModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTrackPartsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return m_rows[size_t(index.row())][size_t(index.column())];
    if (role == Qt::TextAlignmentRole && index.column() > 0)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TTrackPartsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return headers().value(section);
    return {};
}

QStringList TTrackPartsModel::headers() {
    return {QStringLiteral("Состояние"), QStringLiteral("Начало"),
            QStringLiteral("Окончание"), QStringLiteral("Продолжительность"),
            QStringLiteral("Пробег"),    QStringLiteral("Ср. скорость")};
}

QStringList TTrackPartsModel::rowTexts(int row) const {
    QStringList out;
    if (row < 0 || row >= rowCount())
        return out;
    for (const QString &c : m_rows[size_t(row)])
        out << c;
    return out;
}

QString TTrackPartsModel::toTabSeparated() const {
    QString s = headers().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < rowCount(); ++r)
        s += rowTexts(r).join(QLatin1Char('\t')) + QLatin1Char('\n');
    return s;
}

void TTrackPartsModel::setRows(std::vector<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void TTrackPartsModel::ResetTrackTable() {
    const QString dash = QStringLiteral("-");
    setRows({Row{QStringLiteral("Весь"), dash, dash, dash, dash, dash}});
}

void TTrackPartsModel::clearAll() {
    const QString dash = QStringLiteral("-");
    setRows({Row{dash, dash, dash, dash, dash, dash}});
}

void TTrackPartsModel::fill(TTrackAnalysis &analysis, const ArrayTracks &parts) {
    const std::vector<TCoordData> &track = analysis.track();
    const int n = static_cast<int>(track.size());
    const auto at = [&](int i) {
        return i >= 0 && i < n ? timeText(track[size_t(i)].ts) : QString();
    };
    std::vector<Row> rows;
    rows.reserve(parts.size() + 1);
    rows.push_back(Row{QStringLiteral("Весь")});
    long double totalRun = 0, speedSum = 0;
    int moving = 0;
    for (const TTrackPart &p : parts) {
        Row r;
        r[0] = p.moving ? QStringLiteral("движение") : QStringLiteral("стоянка");
        r[1] = at(p.bind);
        r[2] = at(p.eind);
        r[3] = SecondsTo_hhh_mm_ss(PartSeconds(track, p));
        if (p.moving) {
            const long double run = analysis.run(p);
            const long double speed = analysis.avgSpeed(p);
            totalRun += run;
            speedSum += speed;
            ++moving;
            r[4] = number(run) + QStringLiteral(" км.");
            r[5] = number(speed) + QStringLiteral(" км/ч.");
        } else {
            r[4] = r[5] = QStringLiteral("-");
        }
        rows.push_back(r);
    }
    Row &t = rows.front();
    if (!parts.empty()) {
        const TTrackPart whole{true, parts.front().bind, parts.back().eind};
        t[1] = at(whole.bind);
        t[2] = at(whole.eind);
        t[3] = SecondsTo_hhh_mm_ss(PartSeconds(track, whole));
    }
    // A mean of the parts' averages; a track without movement shows 0.
    t[4] = number(totalRun) + QStringLiteral(" км.");
    t[5] = number(moving > 0 ? speedSum / moving : 0) + QStringLiteral(" км/ч.");
    setRows(std::move(rows));
}
