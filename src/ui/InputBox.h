#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The number dialog: a label and a field that takes digits only.
class TInputBox : public QDialog {
    Q_OBJECT
public:
    TInputBox(const QString &caption, const QString &prompt, int value, QWidget *parent = nullptr);
    // The number typed; 0 for an empty field.
    int number() const;

    QLabel *label;
    QLineEdit *edit;
    QPushButton *btnOk, *btnCancel;
};
