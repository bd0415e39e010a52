#pragma once

#include <QDialog>

class QLineEdit;
class TfmOptions;

// Asks for the server address, login and password at the first start.
class TfmFirstTimeMaster : public QDialog {
    Q_OBJECT
public:
    explicit TfmFirstTimeMaster(TfmOptions *options, QWidget *parent = nullptr);

    // Fills the fields from the settings and shows the dialog modally.
    void execFor();
    // "Сохранить": the fields into the settings, FirstRun off, everything shown saved.
    void btnSaveClick();

    QLineEdit *edServer;
    QLineEdit *edLogin;
    QLineEdit *edPassword;

private:
    TfmOptions *m_options;
};
