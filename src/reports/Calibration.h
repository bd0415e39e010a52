#pragma once

// Fuel calibration tables: the points that turn an object's raw fuel readings into litres,
// the table window's editing (in its own editing transaction), the point made from an
// object's current reading, and the recalculation from the refuelling records.

#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "db/ObjectRegistry.h" // TCalibrationPoint, one row of FUEL_POINTS

class TDialogs;
namespace db {
class TDatabase;
class TTransaction;
} // namespace db

// Asks for a point's two fields (the dialog of the table window); false when cancelled. The
// texts come in as the dialog is to show them and go out as typed.
using TPointDialog = std::function<bool(const QString &caption, QString &sensor, QString &volume)>;

// The table of one object as the calibration window edits it. The window's transaction stays
// open while it shows the table; every change is committed retaining it.
class TCalibrationTable {
public:
    TCalibrationTable(db::TDatabase &database, TDialogs &dialogs);
    ~TCalibrationTable();

    // The object whose table is shown (the window's tag); 0 for none.
    void setObject(int number) { m_object = number; }
    int object() const { return m_object; }
    // "Таблица тарировки", per object "Таблица тарировки для объекта № N".
    QString caption() const;

    // Ends the transaction, starts a new one and reads the table ordered by reading.
    void updateTable();
    const std::vector<TCalibrationPoint> &points() const { return m_points; }
    // The current row (-1: none).
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);

    // "Добавить": the dialog until it is cancelled or both fields read; FIXED is 1.
    void AddPoint(const TPointDialog &dialog);
    // "Редактировать": the current row's reading and volume (FIXED kept).
    void EditPoint(const TPointDialog &dialog);
    // "Удалить": the current row, after the question.
    void DeletePoint();
    // "Нормализовать": the table brought into its normal form, then read again.
    void Normalize();
    // "Закрыть": the transaction ends.
    void Close();

private:
    enum class TEdit { Add, Edit };
    void edit(TEdit kind, const TPointDialog &dialog);
    void ensureTransaction();
    void readPoints();
    void selectPoint(int sensor, double fuel);

    db::TDatabase &m_db;
    TDialogs &m_dialogs;
    std::unique_ptr<db::TTransaction> m_tr;
    int m_object = 0;
    std::vector<TCalibrationPoint> m_points;
    int m_current = -1;
};

// The recalculation of an object's table from its refuelling records, in the caller's
// transaction: the points derived from the records, then the normal form.
void RecalcCalibration(db::TTransaction &transaction, int object);

// The point dialog's queries, each in a write transaction of its own that commits or rolls
// back by itself; a failure is shown ("Ошибка: " and the message) and yields the stated value.
class TCalibrationPointQueries {
public:
    TCalibrationPointQueries(db::TDatabase &database, TDialogs &dialogs);

    int GetPointCount(int ID, int Sensor);    // -1 on failure
    double GetPointValue(int ID, int Sensor); // -1 when there is no row or on failure
    bool InsertPoint(int ID, int Sensor, int Fixed, int Volume);
    bool UpdatePoint(int ID, int Sensor, int Fixed, int Volume);

    // "Создать" of the point dialog for an object with the given tank volume; true when the
    // dialog is to close (false: the volume was refused and the dialog stays).
    bool Create(int object, int tankVolume, const QString &sensorText, const QString &volumeText);

private:
    template <class F> bool run(const QString &caption, F &&f);

    db::TDatabase &m_db;
    TDialogs &m_dialogs;
};
