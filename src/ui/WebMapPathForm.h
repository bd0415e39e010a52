#pragma once

#include "app/Dialogs.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

// Name and address of one web map; "Обзор" picks a page in the web-map folder.
class TfrmWebMapPath : public QDialog {
    Q_OBJECT
public:
    explicit TfrmWebMapPath(TDialogs &dialogs, QWidget *parent = nullptr);

    // Shows MapName and FileName; true with the edited texts when closed with "OK", false (and
    // both unchanged) with "Отмена".
    bool EditWebMapLocation(QString &MapName, QString &FileName);

    void btnBrowseClick();

    QLineEdit *edMapName;
    QLineEdit *edAddress;
    QPushButton *btnBrowse, *btnOK, *btnCancel;

private:
    TDialogs &m_dialogs;
};
