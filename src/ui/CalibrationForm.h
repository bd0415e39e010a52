#pragma once

#include <QDialog>

#include "reports/Calibration.h"

class QLineEdit;
class QPushButton;
class QTableWidget;
class QChartView;
class QLineSeries;
class QValueAxis;
class TFuelPart;
class TErrorGuard;

// The point dialog of the calibration table: a reading and a volume, as typed.
class TfrmCalibrationAddEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCalibrationAddEdit(QWidget *parent = nullptr);
    // Shows the texts, returns what was typed; false when cancelled.
    static bool Ask(QWidget *parent, const QString &caption, QString &sensor, QString &volume);

    QLineEdit *edSensor = nullptr;
    QLineEdit *edVolume = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
};

// "Таблица тарировки": one object's calibration points as a table and as a chart; the current
// row's point is blue. The editing itself is TCalibrationTable's.
class TfmCalibration : public QDialog {
    Q_OBJECT
public:
    explicit TfmCalibration(TFuelPart &session, TErrorGuard &guard, QWidget *parent = nullptr);
    ~TfmCalibration() override;

    // "Показать таблицу тарировки...": the window for the object, modal.
    static void Show(TFuelPart &session, TErrorGuard &guard, int number, QWidget *parent);

    // Sets the object (the window's tag) and reads its table.
    void setObject(int number);
    void updateTable();

    TCalibrationTable &table() { return m_table; }
    // The point dialog; the table's commands ask it (tests put their own in).
    TPointDialog pointDialog;

    struct Controls {
        QTableWidget *grid;
        QChartView *chart;
        QLineSeries *series;
        QValueAxis *axisX, *axisY;
        QPushButton *add, *edit, *remove, *normalize, *close;
    };
    Controls ui{};

    void btnAddClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnNormalizeClick();

    void done(int r) override;

private:
    void showTable();
    void drawChart();
    // Paints the point of the current row blue.
    void highlightCurrent();

    TFuelPart &m_session;
    TErrorGuard &m_guard;
    TCalibrationTable m_table;
    bool SkipColorUpdate = false;
};

// "Создание точки тарировки для объекта № N": a calibration point from the object's current
// reading. The object is looked up by its number whenever it is needed.
class TfmCalibrationPoint : public QDialog {
    Q_OBJECT
public:
    TfmCalibrationPoint(TFuelPart &session, TErrorGuard &guard, int number,
                        QWidget *parent = nullptr);

    // "Создать точку тарировки...": the dialog for the object, modal.
    static void Show(TFuelPart &session, TErrorGuard &guard, int number, QWidget *parent);

    QLineEdit *edSensor = nullptr; // "показания датчика:"
    QLineEdit *edTime = nullptr;   // "время:"
    QLineEdit *edVolume = nullptr; // "объем топлива:"
    QPushButton *btnCreate = nullptr;
    QPushButton *btnCancel = nullptr;

    void btnCreateClick();

private:
    TFuelPart &m_session;
    TErrorGuard &m_guard;
    int m_number;
};
