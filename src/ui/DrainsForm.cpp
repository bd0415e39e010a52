#include "ui/DrainsForm.h"
#include "ui/DateEdits.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "app/Dialogs.h"
#include "app/ErrorGuard.h"
#include "app/FormatSettings.h"
#include "db/GroupManager.h"
#include "reports/DrainsStore.h"
#include "session/DrainsPart.h"
#include "ui/ObjectComboBox.h"

namespace {

TDateTime moment(const QDateEdit *d, const QTimeEdit *t) {
    const QTime x = t->time();
    return dt::encodeDate(d->date()) + dt::encodeTime(x.hour(), x.minute(), x.second());
}

} // namespace

TfmDrains::TfmDrains(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, int number,
                     QWidget *parent)
    : QDialog(parent), m_drains(drains), m_dialogs(dialogs), m_guard(guard) {
    setWindowTitle(QStringLiteral("Сливы за период"));
    resize(900, 480);

    ui.object = new QComboBox;
    ui.object->addItem(QStringLiteral("Все объекты"), 0);
    if (const TManager *m = drains.registry()) {
        QComboBox objects;
        FillObjectComboBox(objects, m->ObjListToComboBox());
        for (int i = 0; i < objects.count(); ++i)
            ui.object->addItem(objects.itemText(i), objects.itemData(i));
    }
    for (int i = 0; i < ui.object->count(); ++i)
        if (ui.object->itemData(i).toInt() == number)
            ui.object->setCurrentIndex(i);
    ui.startDate = NewDateEdit(QDate::currentDate());
    ui.startTime = NewTimeEdit(QTime(0, 0, 0));
    ui.endDate = NewDateEdit(QDate::currentDate());
    ui.endTime = NewTimeEdit(QTime(23, 59, 59));

    auto *params = new QGridLayout;
    params->addWidget(new QLabel(QStringLiteral("Объект")), 0, 0);
    params->addWidget(ui.object, 0, 1, 1, 2);
    params->addWidget(new QLabel(QStringLiteral("Начало периода")), 1, 0);
    params->addWidget(ui.startDate, 1, 1);
    params->addWidget(ui.startTime, 1, 2);
    params->addWidget(new QLabel(QStringLiteral("Конец периода")), 2, 0);
    params->addWidget(ui.endDate, 2, 1);
    params->addWidget(ui.endTime, 2, 2);
    params->setColumnStretch(3, 1);

    ui.show = new QPushButton(QStringLiteral("Показать сливы"));
    ui.detect = new QPushButton(QStringLiteral("Определить сливы"));
    ui.exportList = new QPushButton(QStringLiteral("Экспорт..."));
    ui.close = new QPushButton(QStringLiteral("Закрыть"));
    auto *commands = new QHBoxLayout;
    for (QPushButton *b : {ui.show, ui.detect, ui.exportList})
        commands->addWidget(b);
    commands->addStretch();
    commands->addWidget(ui.close);

    ui.grid = new QTableView;
    ui.grid->setObjectName(QStringLiteral("drainsGrid"));
    ui.grid->setModel(&drains.period());
    ui.grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.grid->verticalHeader()->setDefaultSectionSize(22);
    ui.grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.total = new QLabel;

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(params);
    layout->addLayout(commands);
    layout->addWidget(ui.grid, 1);
    layout->addWidget(ui.total);

    const auto guarded = [this](auto f) { return [this, f] { m_guard.run([&] { f(); }); }; };
    connect(ui.show, &QPushButton::clicked, this, guarded([this] { btnShowClick(); }));
    connect(ui.detect, &QPushButton::clicked, this, guarded([this] { btnDetectClick(); }));
    connect(ui.exportList, &QPushButton::clicked, this, guarded([this] { btnExportClick(); }));
    connect(ui.close, &QPushButton::clicked, this, &QDialog::accept);
    connect(&drains.period(), &QAbstractItemModel::modelReset, this, &TfmDrains::showTotal);
    drains.period().setRows({});
}

void TfmDrains::Open(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, QWidget *parent) {
    const TDateTime today = dt::dateOf(dt::now());
    Open(drains, dialogs, guard, drains.drainsObject(), today, today + dt::encodeTime(23, 59, 59),
         parent);
}

void TfmDrains::Open(TDrainsPart &drains, TDialogs &dialogs, TErrorGuard &guard, int number,
                     TDateTime from, TDateTime to, QWidget *parent) {
    TfmDrains window(drains, dialogs, guard, number, parent);
    window.setPeriod(from, to);
    guard.run([&window] { window.btnShowClick(); });
    window.exec();
}

void TfmDrains::setPeriod(TDateTime from, TDateTime to) {
    ui.startDate->setDate(dt::toQDate(from));
    ui.startTime->setTime(dt::toQTime(from));
    ui.endDate->setDate(dt::toQDate(to));
    ui.endTime->setTime(dt::toQTime(to));
}

int TfmDrains::object() const {
    return ui.object->currentData().toInt();
}

TDateTime TfmDrains::from() const {
    return moment(ui.startDate, ui.startTime);
}

TDateTime TfmDrains::to() const {
    return moment(ui.endDate, ui.endTime);
}

void TfmDrains::btnShowClick() {
    m_drains.showPeriod(object(), from(), to());
}

void TfmDrains::btnDetectClick() {
    m_drains.detectPeriod(object(), from(), to());
}

void TfmDrains::btnExportClick() {
    const QString file = m_dialogs.saveFile(QStringLiteral("Экспорт сливов"), QString(),
                                            QStringLiteral("Таблица CSV (*.csv)|*.csv"),
                                            QStringLiteral("сливы.csv"));
    if (!file.isEmpty())
        m_drains.period().exportTo(file);
}

void TfmDrains::showTotal() {
    double litres = 0;
    for (const TStoredDrain &d : m_drains.period().rows())
        litres += d.litres();
    const int n = int(m_drains.period().rows().size());
    ui.total->setText(
        QStringLiteral("Сливов: %1, слито всего: %2 л")
            .arg(QString::number(n), TFormatSettings::current().formatFloat(litres, 1)));
}
