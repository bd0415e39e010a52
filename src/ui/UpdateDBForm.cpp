#include "ui/UpdateDBForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/DatabaseUpdate.h"

TUpdateDBForm::TUpdateDBForm(TOptions &options, TDialogs &dialogs, db::TDatabase &mainDatabase,
                             QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs) {
    setWindowTitle(QStringLiteral("Обновление базы данных"));
    resize(640, 480);
    m_updater = new db::TDatabaseUpdater(options, dialogs, mainDatabase, this);
    m_updater->processEvents = [] { QCoreApplication::processEvents(); };

    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Скрипт:")), 0, 0);
    edScript = new QLineEdit(defaultScript());
    grid->addWidget(edScript, 0, 1);
    btnBrowse = new QPushButton(QStringLiteral("..."));
    grid->addWidget(btnBrowse, 0, 2);
    cbSkipHistory = new QCheckBox(QStringLiteral("Не копировать историю"));
    grid->addWidget(cbSkipHistory, 1, 1);
    lblNewFile = new QLabel;
    lblNewFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(lblNewFile, 2, 0, 1, 3);

    mmLog = new QPlainTextEdit;
    mmLog->setReadOnly(true);

    btnRun = new QPushButton(QStringLiteral("Выполнить"));
    btnCancel = new QPushButton(QStringLiteral("Отменить"));
    btnClose = new QPushButton(QStringLiteral("Закрыть"));
    btnCancel->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnRun);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(mmLog, 1);
    layout->addLayout(buttons);

    connect(m_updater, &db::TDatabaseUpdater::logLine, mmLog, &QPlainTextEdit::appendPlainText);
    connect(m_updater, &db::TDatabaseUpdater::newFileName, lblNewFile, &QLabel::setText);
    connect(m_updater, &db::TDatabaseUpdater::runningChanged, this, &TUpdateDBForm::setRunning);
    connect(btnRun, &QPushButton::clicked, this, &TUpdateDBForm::btnRunClick);
    connect(btnCancel, &QPushButton::clicked, m_updater, &db::TDatabaseUpdater::cancel);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnBrowse, &QPushButton::clicked, this, [this] {
        const QString f = m_dialogs.openFile(QStringLiteral("Скрипт обновления"), AppDir(),
                                             QStringLiteral("Файлы скрипта (*.sql)|*.sql"));
        if (!f.isEmpty())
            edScript->setText(f);
    });
}

TUpdateDBForm::~TUpdateDBForm() = default;

QString TUpdateDBForm::defaultScript() {
    return AppDir() + QStringLiteral("update/UPDB.sql");
}

void TUpdateDBForm::setRunning(bool running) {
    btnRun->setEnabled(!running);
    btnClose->setEnabled(!running);
    btnBrowse->setEnabled(!running);
    edScript->setEnabled(!running);
    cbSkipHistory->setEnabled(!running);
    btnCancel->setEnabled(running && m_allowCancel);
}

void TUpdateDBForm::btnRunClick() {
    mmLog->clear();
    m_updater->run(edScript->text(), cbSkipHistory->isChecked());
}

void TUpdateDBForm::PerformUpdate() {
    m_allowCancel = false;
    edScript->setText(defaultScript());
    show();
    mmLog->clear();
    m_updater->run(defaultScript(), cbSkipHistory->isChecked());
    m_allowCancel = true;
    exec();
}

void TUpdateDBForm::execModal() {
    m_allowCancel = true;
    exec();
}
