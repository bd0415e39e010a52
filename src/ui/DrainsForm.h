#pragma once

#include <QDialog>

#include "app/DateUtils.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableView;
class QTimeEdit;
class TDialogs;
class TDrainsPart;
class TErrorGuard;

// "Сливы за период": the stored fuel drains of a period, of one object or of all, with
// "Определить сливы" over the stored readings and the export of the list ("Слито, л").
class TfmDrains : public QDialog {
    Q_OBJECT
public:
    // number 0: every object.
    TfmDrains(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, int number,
              QWidget *parent = nullptr);

    // "Сливы топлива" and "Показать сливы...": the window for the grid's object, the period
    // today (or the one given).
    static void Open(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, QWidget *parent);
    static void Open(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, int number,
                     TDateTime from, TDateTime to, QWidget *parent);

    void setPeriod(TDateTime from, TDateTime to);
    int object() const;
    TDateTime from() const;
    TDateTime to() const;

    struct Controls {
        QComboBox *object;
        QDateEdit *startDate, *endDate;
        QTimeEdit *startTime, *endTime;
        QPushButton *show, *detect, *exportList, *close;
        QTableView *grid;
        QLabel *total;
    };
    Controls ui{};

    void btnShowClick();
    void btnDetectClick();
    void btnExportClick();

private:
    void showTotal();

    TDrainsPart &m_drains;
    TDialogs &m_dialogs;
    TErrorGuard &m_guard;
};
