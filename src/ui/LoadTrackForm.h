#pragma once

#include <QDialog>

#include <optional>

#include "session/SessionTypes.h"

class QCheckBox;
class QDateEdit;
class QPushButton;
class QTimeEdit;

// "Загрузить трек": the period of an object's track, or its demonstration track.
class TfmLoadTrack : public QDialog {
    Q_OBJECT
public:
    // The dialog's results.
    enum { ResultOk = 1, ResultCancel = 2, ResultDemo = 4 };

    explicit TfmLoadTrack(int number, QWidget *parent = nullptr);

    // Shows the dialog for the object; nothing when it is cancelled.
    static std::optional<TLoadTrackRequest> Ask(int number, QWidget *parent);
    // The answer for a result (ResultOk or ResultDemo).
    TLoadTrackRequest request(int result) const;

    QDateEdit *dtStartDate, *dtEndDate;
    QTimeEdit *dtStartTime, *dtEndTime;
    QCheckBox *cbToCurrent;
    QCheckBox *cbDownloadDataBeforeLoad;
    QPushButton *btnOk, *btnCancel, *btnDemo;

private:
    void toCurrentChanged(bool on);
    int m_number;
};
