#pragma once

#include "app/Options.h"

#include <QDialog>

class QLineEdit;

// Name and page of one web map.
class TfrmWebMapPath : public QDialog {
    Q_OBJECT
public:
    explicit TfrmWebMapPath(QWidget *parent = nullptr);
    // Shows the dialog filled with value; true and the edited entry when confirmed.
    bool edit(TWebMapPath &value);

    QLineEdit *edName;
    QLineEdit *edPath;
};
