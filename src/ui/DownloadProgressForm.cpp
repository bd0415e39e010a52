#include "ui/DownloadProgressForm.h"

#include "archive/DownloadProgress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

TDownloadProgressForm::TDownloadProgressForm(TDownloadProgress &progress, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), m_progress(progress) {
    setWindowTitle(QStringLiteral("Докачка данных"));
    setModal(false);
    pbProgress = new QProgressBar;
    imgErrors = new QLabel;
    imgErrors->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(24, 24));
    imgErrors->setToolTip(QStringLiteral("В процессе загрузки данных возникли ошибки!"));
    imgErrors->setVisible(false);
    lblCompleted = new QLabel(QStringLiteral("Загрузка данных завершена"));
    lblCompleted->setVisible(false);
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnAdvanced = new QPushButton(QStringLiteral("Подробно >>"));
    memoLog = new QPlainTextEdit;
    memoLog->setReadOnly(true);
    memoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memoLog->setVisible(false);

    auto *bar = new QHBoxLayout;
    bar->addWidget(pbProgress, 1);
    bar->addWidget(imgErrors);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblCompleted);
    buttons->addStretch();
    buttons->addWidget(btnAdvanced);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(bar);
    layout->addLayout(buttons);
    layout->addWidget(memoLog, 1);
    setMinimumWidth(640);
    showExpanded(false);

    connect(&progress, &TDownloadProgress::shown, this, [this] {
        memoLog->clear();
        pbProgress->setRange(0, m_progress.maximum());
        pbProgress->setValue(0);
        imgErrors->setVisible(false);
        lblCompleted->setVisible(false);
        btnCancel->setText(m_progress.cancelCaption());
        showExpanded(false);
        show();
        raise();
    });
    connect(&progress, &TDownloadProgress::closed, this, &QWidget::hide);
    connect(&progress, &TDownloadProgress::lineAdded, memoLog, &QPlainTextEdit::appendPlainText);
    connect(&progress, &TDownloadProgress::lastLineChanged, this,
            &TDownloadProgressForm::replaceLastLine);
    connect(&progress, &TDownloadProgress::errorsMarkChanged, imgErrors, &QWidget::setVisible);
    connect(&progress, &TDownloadProgress::completedChanged, lblCompleted, &QWidget::setVisible);
    connect(&progress, &TDownloadProgress::cancelCaptionChanged, btnCancel, &QPushButton::setText);
    connect(&progress, &TDownloadProgress::expandedChanged, this,
            &TDownloadProgressForm::showExpanded);
    connect(&progress, &TDownloadProgress::maximumChanged, this,
            [this](int maximum) { pbProgress->setRange(0, maximum); });
    connect(&progress, &TDownloadProgress::positionChanged, pbProgress, &QProgressBar::setValue);
    connect(btnCancel, &QPushButton::clicked, &progress, &TDownloadProgress::btnCancelClick);
    connect(btnAdvanced, &QPushButton::clicked, &progress, &TDownloadProgress::btnAdvancedClick);
}

void TDownloadProgressForm::showExpanded(bool expanded) {
    btnAdvanced->setText(m_progress.advancedCaption());
    memoLog->setVisible(expanded);
    layout()->activate();
    // Collapsed: down to the buttons and a margin; expanded: the log fills 256 pixels.
    setFixedHeight(expanded ? 256 : layout()->minimumSize().height());
}

void TDownloadProgressForm::replaceLastLine(const QString &line) {
    QTextCursor c(memoLog->document()->lastBlock());
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(line);
}

void TDownloadProgressForm::closeEvent(QCloseEvent *e) {
    // The close box acts as the button: it cancels a running download, or closes.
    e->ignore();
    m_progress.btnCancelClick();
}

void TDownloadProgressForm::reject() {
    m_progress.btnCancelClick();
}
