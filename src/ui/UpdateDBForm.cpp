#include "ui/UpdateDBForm.h"

#include <QCheckBox>
#include <QCloseEvent>
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
#include "session/DatabasePart.h"

TUpdateDBForm::TUpdateDBForm(TDatabasePart &database, TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_database(database), m_updater(&database.updater()), m_dialogs(dialogs) {
    setWindowTitle(QStringLiteral("Обновление базы данных"));
    resize(640, 480);

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
    m_allowCancel = true;
    m_database.startUpdate(edScript->text(), cbSkipHistory->isChecked(), false);
}

void TUpdateDBForm::PerformUpdate() {
    // Asked for by the connect command: it runs at once with the default script, without
    // "Отменить", and the connect command goes on when it has ended.
    m_allowCancel = false;
    edScript->setText(defaultScript());
    mmLog->clear();
    show();
    m_database.startUpdate(defaultScript(), cbSkipHistory->isChecked(), true);
}

void TUpdateDBForm::execModal() {
    m_allowCancel = true;
    exec();
}
