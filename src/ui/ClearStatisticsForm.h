#pragma once

#include <QDialog>

#include <optional>

#include "app/DateUtils.h"

class QComboBox;
class QDateEdit;
class QRadioButton;
class QTimeEdit;
class TManager;

// "Очистка статистики из БД": one object or all, up to a moment.
class TfmClearStatistics : public QDialog {
    Q_OBJECT
public:
    explicit TfmClearStatistics(QWidget *parent = nullptr);

    // Fills the choice with the manager's objects, the given one selected, "Один объект" on,
    // the moment now.
    void fill(const TManager &manager, int selectedNumber);
    // The choice: an object number, or empty for every object.
    std::optional<int> objectChoice() const;
    TDateTime upTo() const;

    QComboBox *cbObject;
    QRadioButton *rbOne;
    QRadioButton *rbAll;
    QDateEdit *deDate;
    QTimeEdit *teTime;
};
