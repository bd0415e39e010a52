#pragma once

// The parts table "Участки трека": the totals row "Весь" first, then one row per part. The
// header row of the table is the model's horizontal header.

#include <QAbstractTableModel>
#include <QStringList>

#include <array>
#include <vector>

#include "tracks/TrackAnalysis.h"

class TTrackPartsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int ColumnCount = 6;
    static constexpr int TotalsRow = 0;

    explicit TTrackPartsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // "Состояние", "Начало", "Окончание", "Продолжительность", "Пробег", "Ср. скорость".
    static QStringList headers();
    // The texts of one row (row 0: the totals).
    QStringList rowTexts(int row) const;
    // The whole table as lines of tab-separated cells, the header first.
    QString toTabSeparated() const;

    // The header and the totals row "Весь" with "-" in the other cells.
    void ResetTrackTable();
    // "-" in all six cells of the totals row, no part rows ("Очистить трек").
    void clearAll();
    // The parts of a divided track with their times, durations, distances and speeds.
    void fill(TTrackAnalysis &analysis, const ArrayTracks &parts);

private:
    using Row = std::array<QString, ColumnCount>;
    void setRows(std::vector<Row> rows);
    std::vector<Row> m_rows;
};
