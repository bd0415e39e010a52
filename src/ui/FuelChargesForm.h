#pragma once

#include <QDialog>
#include <QTableView>

#include <functional>

#include "reports/FuelCharges.h"

class QComboBox;
class QLabel;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QToolButton;
class TFuelPart;
class TErrorGuard;

// The refuellings grid: the only edit, "Залито топлива", is posted or cancelled from outside
// (the navigator and "Сохранить изменения").
class TChargesGrid : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
    // Hands a pending edit to the model.
    void postEdit();
    void cancelEdit();
    // The width the column's caption and values need.
    int neededWidth(int column) const;

private:
    QWidget *editor() const;
};

// The record dialog ("Добавление заправки" / "Редактирование заправки ..."); its rules are
// TAddCharge's.
class TfmAddCharge : public QDialog {
    Q_OBJECT
public:
    TfmAddCharge(TFuelCharges &charges, TDialogs &dialogs, QWidget *parent = nullptr);

    // A new record for the window's object text, at the current time.
    void showNew(const QString &windowObject);
    // A record of the window.
    void showEdit(const TFuelChargeRow &row);
    TChargeForm form() const;
    TAddCharge &logic() { return m_logic; }

    struct Controls {
        QLineEdit *object;
        QDateEdit *startDate;
        QTimeEdit *startTime;
        QLineEdit *startReading;
        QDateEdit *endDate;
        QTimeEdit *endTime;
        QLineEdit *endReading;
        QLineEdit *actualVolume, *estimate;
        QPushButton *save, *exit;
    };
    Controls ui{};

    void btnSaveClick();

private:
    void fill(const TChargeForm &f, bool isNew);

    TAddCharge m_logic;
    TDialogs &m_dialogs;
};

// "Заправки за период": one object's refuellings of a period in one editing transaction, kept
// or undone when the window closes. Opened modally for the object of the state grid.
class TfmFuelCharges : public QDialog {
    Q_OBJECT
public:
    TfmFuelCharges(TFuelPart &session, TErrorGuard &guard, int number, QWidget *parent = nullptr);
    ~TfmFuelCharges() override;

    // "Заправки" and "Показать таблицу заправок...": the window for the grid's object. With
    // showDrains the window offers "Сливы..." for its object and period.
    using TShowDrains = std::function<void(int object, TDateTime from, TDateTime to)>;
    static void Open(TFuelPart &session, TErrorGuard &guard, QWidget *parent,
                     TShowDrains showDrains = {});

    TFuelCharges &charges() { return m_charges; }
    // The period and object of the controls.
    TChargePeriod period() const;

    struct Controls {
        QComboBox *object;
        QDateEdit *startDate, *endDate;
        QTimeEdit *startTime, *endTime;
        QSpinBox *threshold;
        QPushButton *show, *detect, *recalc, *remove, *add, *edit, *save, *close;
        QPushButton *drains; // "Сливы...", shown when the window can open the drains
        QLabel *found;       // after "Определить заправки": how many it found

        QToolButton *first, *prior, *next, *last, *navDelete, *navEdit, *navPost, *navCancel,
            *navRefresh;
        TChargesGrid *grid;
    };
    Controls ui{};

    void btnShowClick();
    void btnDetectClick();
    void btnRecalcClick();
    void btnDeleteClick();
    void btnAddClick();
    void btnEditClick();
    void btnSaveClick();

    void done(int r) override;

private:
    void setColumns();
    void moveTo(int row);
    void updateButtons();

    TFuelPart &m_session;
    TErrorGuard &m_guard;
    TFuelCharges m_charges;
    bool m_closing = false;
};
