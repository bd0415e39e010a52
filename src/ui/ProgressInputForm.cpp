#include "ui/ProgressInputForm.h"

#include "db/TrackImport.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TfrmProgressInput::TfrmProgressInput(TImportProgress &progress, QWidget *parent)
    : QDialog(parent), m_progress(progress) {
    setWindowTitle(QStringLiteral("Импорт данных"));
    memoLog = new QPlainTextEdit;
    memoLog->setReadOnly(true);
    pbCompletion = new QProgressBar;
    cancelBtn = new QPushButton(QStringLiteral("Отмена"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(memoLog);
    layout->addWidget(pbCompletion);
    layout->addWidget(cancelBtn, 0, Qt::AlignRight);
    resize(560, 360);

    connect(&progress, &TImportProgress::started, this, [this](int maximum) {
        memoLog->clear();
        pbCompletion->setRange(0, maximum);
        pbCompletion->setValue(0);
        show();
        raise();
    });
    connect(&progress, &TImportProgress::logLine, memoLog, &QPlainTextEdit::appendPlainText);
    connect(&progress, &TImportProgress::positionChanged, pbCompletion, &QProgressBar::setValue);
    connect(&progress, &TImportProgress::buttonTextChanged, cancelBtn, &QPushButton::setText);
    connect(&progress, &TImportProgress::closed, this, &QWidget::hide);
    connect(cancelBtn, &QPushButton::clicked, &progress, &TImportProgress::cancelBtnClick);
}

void TfrmProgressInput::closeEvent(QCloseEvent *e) {
    // The close box acts as the button: it cancels a running import, then closes.
    e->ignore();
    m_progress.cancelBtnClick();
}

void TfrmProgressInput::reject() {
    m_progress.cancelBtnClick();
}
