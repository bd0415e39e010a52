#pragma once

#include <QDate>
#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QDateEdit;
class QPushButton;
class QRadioButton;
class TDialogs;

// "Докачка информации": every object or one, and the days to fetch. "OK" refuses an end
// before the start and a number that is not one of the list's.
class TDownloadDataForm : public QDialog {
    Q_OBJECT
public:
    // numbers: the registry's objects in their order.
    TDownloadDataForm(const std::vector<int> &numbers, TDialogs &dialogs,
                      QWidget *parent = nullptr);

    // "Один объект" checked with this object selected.
    void selectObject(int number);

    struct TChoice {
        int number = 0; // 0: every object
        QDate from;
        QDate to;
    };
    TChoice choice() const { return m_choice; }
    // Shows the dialog (preset > 0: for that object); nothing when it is cancelled.
    static std::optional<TChoice> Ask(const std::vector<int> &numbers, int preset,
                                      TDialogs &dialogs, QWidget *parent);

    QRadioButton *rbAll, *rbOne;
    QComboBox *cbObject;
    QDateEdit *dtStart, *dtEnd;
    QPushButton *btnOk, *btnCancel;

protected:
    void accept() override;

private:
    std::vector<int> m_numbers;
    TDialogs &m_dialogs;
    TChoice m_choice;
};
