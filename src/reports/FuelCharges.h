#pragma once

// Refuelling records of one object and period as the refuelling window edits them, in one
// editing transaction: shown, detected, deleted, added and changed there, and kept or undone
// together when the window closes. The record dialog's rules live here too.

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/DateUtils.h"

class TDialogs;
namespace db {
class TDatabase;
class TTransaction;
} // namespace db

// One row of FUEL_CHARGE with its estimate.
struct TFuelChargeRow {
    int id = 0;
    TDateTime openTs = 0;
    int openSensor = 0;
    std::optional<TDateTime> closeTs;
    std::optional<int> closeSensor;
    std::optional<double> chargedVolume; // the operator's litres (CHARGED_VOLUME)
    std::optional<double> calcVolume;    // litres at closing less litres at opening
};

// What the window shows: an object and its period (dates with times of day).
struct TChargePeriod {
    int object = 0;
    TDateTime start = 0;
    TDateTime end = 0;
};

// A refuelling as the record dialog writes it.
struct TChargeRecord {
    int id = 0;
    TDateTime openTs = 0;
    int openSensor = 0;
    TDateTime closeTs = 0;
    int closeSensor = 0;
    std::optional<double> chargedVolume; // empty stores NULL
};

class TFuelCharges : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        colId,
        colOpenTs,
        colOpenSensor,
        colCloseTs,
        colCloseSensor,
        colChargedVolume, // the only editable column
        colCalcVolume,
        ColumnCount
    };
    // The threshold field: its default and range.
    static constexpr int DefaultThreshold = 100, MinThreshold = 1, MaxThreshold = 2048;

    TFuelCharges(db::TDatabase &database, TDialogs &dialogs, QObject *parent = nullptr);
    ~TFuelCharges() override; // an active transaction is rolled back

    void setPeriod(const TChargePeriod &period) { m_period = period; }
    const TChargePeriod &period() const { return m_period; }

    bool transactionActive() const;
    // The query is open (rows shown).
    bool isOpen() const { return m_open; }
    const std::vector<TFuelChargeRow> &rows() const { return m_rows; }
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);
    const TFuelChargeRow *current() const;

    // "Показать заправки": the period's refuellings.
    void ShowCharges();
    // "Определить заправки": the refuellings of the period found from the readings (threshold
    // as the window's field holds it), then shown. Returns how many the procedure found.
    int DetectCharges(int threshold);
    // "Пересчет тарировки": the object's calibration from its records, then shown.
    void RecalcCalibration();
    // "Удалить заправки": every shown row, after the question.
    void DeleteCharges();
    // "Сохранить изменения": committed, the transaction kept.
    void SaveChanges();
    // Closing the window: asks whether to keep the changes; Yes commits, No rolls back.
    void CloseWindow();

    // The navigator's delete: the current row, after the question.
    void DeleteCurrent();
    // An edit of "Залито топлива" (empty text: NULL); a text that is not a number is refused
    // with a message (false).
    bool setChargedVolume(int row, const QString &text);

    // The record dialog's writes, in the window's transaction and committed retaining it.
    void insertCharge(const TChargeRecord &r);
    // The rows changed: 0 when no record has that key (nothing is committed then).
    quint64 updateCharge(const TChargeRecord &r);
    // A failed save: everything not committed is undone and the transaction ends.
    void rollback();
    // Runs the query again and makes the row opened at `open` current.
    void reopen(TDateTime open);
    // A statement of another window on the same records (the analog chart's marking), in the
    // window's transaction and committed retaining it; a failure is undone (retaining) and
    // raised.
    void edit(const std::function<void(db::TTransaction &)> &statement);
    // Deletes the given rows, the last first, commits retaining and shows the period again;
    // how many were deleted.
    int deleteRows(std::vector<int> rows);

    // The grid.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    static QString columnCaption(int column);
    static int columnWidth(int column);
    QString cellText(int row, int column) const;
    // The grid as lines of tab-separated cells, the captions first.
    QString toTabSeparated() const;

signals:
    void currentRowChanged(int row);

private:
    void ensureTransaction();
    void runQuery();
    void setRows(std::vector<TFuelChargeRow> rows, bool open);
    void deleteRowFromDatabase(const TFuelChargeRow &row);

    db::TDatabase &m_db;
    TDialogs &m_dialogs;
    std::unique_ptr<db::TTransaction> m_tr;
    TChargePeriod m_period;
    std::vector<TFuelChargeRow> m_rows;
    bool m_open = false;
    int m_current = -1;
};

// The fields of the record dialog as typed.
struct TChargeForm {
    QString object;          // "Номер объекта"
    TDateTime startDate = 0; // the day; the time of day comes from startTime
    TDateTime startTime = 0;
    QString startReading; // "Показания датчика:" of "Начало заправки:"
    TDateTime endDate = 0;
    TDateTime endTime = 0;
    QString endReading;
    QString actualVolume; // "Залито топлива (факт.)"
    QString estimate;     // "Залито топлива (оценка)"
};

// The field a refused save points at.
enum class TChargeField { None, Object, StartReading, EndReading, ActualVolume };

// The record dialog's logic: a new record or one of the window's rows, saved into the window's
// transaction.
class TAddCharge {
public:
    TAddCharge(TFuelCharges &charges, TDialogs &dialogs);

    // "Добавление заправки": the window's object (when its text is a number), readings "0",
    // no actual volume, estimate "0", from now to ten minutes later.
    TChargeForm NewRecord(const QString &windowObject, TDateTime now);
    // "Редактирование заправки объекта N с началом T" with the row's values.
    TChargeForm EditRecord(const TFuelChargeRow &row);
    QString caption() const { return m_caption; }
    // The beginning of the record being edited; NaN for a new one.
    double ChargeStartDt;
    bool isNew() const;

    struct TSaveResult {
        bool close = false;                        // the dialog is done
        TChargeField invalid = TChargeField::None; // the field to put the focus on
    };
    // "Сохранить": checks the fields in order, writes, shows the record in the window.
    TSaveResult Save(const TChargeForm &form);

private:
    TFuelCharges &m_charges;
    TDialogs &m_dialogs;
    QString m_caption;
};
