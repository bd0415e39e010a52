#pragma once

#include <QWidget>

#include <array>

#include "programming/ProgrammingParams.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class TProgrammingPart;

// "Программирование объектового оборудования": shows the programming session's fields and
// hands edits and commands to it. One window for the program's run; "Настроить прибор" shows
// it for the grid's object.
class TfmProgramming : public QWidget {
    Q_OBJECT
public:
    TfmProgramming(TProgrammingPart &part, int objectNumber, QWidget *parent = nullptr);

    // Shows the window (to the front) for the device of object n.
    void showForObject(int n);

    struct TSimControls {
        QLineEdit *InitStrEdit, *LoginEdit, *PassEdit, *UssdEdit;
        QCheckBox *cbUseBalance;
    };
    struct Controls {
        QTabWidget *pages;
        QLabel *object;
        // "Параметры связи"
        QLineEdit *IPEdit, *PortEdit, *IDEdit, *edDNS, *CustomPrefixEdit, *SMSPassEdit;
        std::array<TSimControls, 3> sim;
        QComboBox *PrefixComboBox;
        QCheckBox *UseCustomPrefix, *cbUseDNS, *cbRewriteIP, *cbUseIP;
        std::array<QLineEdit *, 5> PhoneNumEdit;
        std::array<QCheckBox *, 5> trsChkBox;
        QRadioButton *GPSRadioButton, *IntClkRadioButton;
        QPushButton *btnProgram, *btnRequest3;
        // "Параметры оборудования"
        QSlider *tbAKB, *tbTMAS;
        QLineEdit *edAKB, *edTMAS, *edTMASmin, *edTMASmax;
        QPushButton *btnRemember, *btnReset;
        QComboBox *cbTimeSr, *cbEngTempMin, *cbEngTempMax, *cbRecalcCoof;
        QSpinBox *seDay, *seMonth, *seYear, *seHour, *seMin;
        QCheckBox *cbTakeSysTime, *cbCanWorkWithEngine, *cbProgramParam, *cbProgramTime,
            *cbUseHeater2;
        QPlainTextEdit *mmLog;
        QPushButton *btnProgramEquip, *btnRequest1, *btnDefaults;
        QAction *miSave, *miLoad;
    };
    Controls ui{};

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    QWidget *connectionPage();
    QWidget *equipmentPage();
    void bind();
    TProgrammingParams fields() const;
    void showFields();
    void pushFields();
    void command(bool (TProgrammingPart::*cmd)());

    TProgrammingPart &m_part;
    bool m_showing = false;
};
