#include "ui/FuelChargesForm.h"
#include "ui/DateEdits.h"
#include "ui/WindowFit.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ErrorGuard.h"
#include "app/FormatSettings.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "session/FuelPart.h"
#include "ui/ObjectComboBox.h"

namespace {

TDateTime timeOfDay(const QTimeEdit *e) {
    const QTime t = e->time();
    return dt::encodeTime(t.hour(), t.minute(), t.second());
}

} // namespace

// ---- the grid

QWidget *TChargesGrid::editor() const {
    if (state() != EditingState)
        return nullptr;
    for (QWidget *w : viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (w->isVisible())
            return w;
    return nullptr;
}

int TChargesGrid::neededWidth(int column) const {
    return std::max(horizontalHeader()->sectionSizeHint(column), sizeHintForColumn(column));
}

void TChargesGrid::postEdit() {
    if (QWidget *e = editor()) {
        commitData(e);
        closeEditor(e, QAbstractItemDelegate::NoHint);
    }
}

void TChargesGrid::cancelEdit() {
    if (QWidget *e = editor())
        closeEditor(e, QAbstractItemDelegate::RevertModelCache);
}

// ---- the record dialog

TfmAddCharge::TfmAddCharge(TFuelCharges &charges, TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_logic(charges, dialogs), m_dialogs(dialogs) {
    ui.object = new QLineEdit;
    ui.startDate = NewDateEdit(QDate::currentDate());
    ui.startTime = NewTimeEdit(QTime(0, 0));
    ui.startReading = new QLineEdit;
    ui.endDate = NewDateEdit(QDate::currentDate());
    ui.endTime = NewTimeEdit(QTime(0, 0));
    ui.endReading = new QLineEdit;
    ui.actualVolume = new QLineEdit;
    ui.estimate = new QLineEdit;
    ui.estimate->setReadOnly(true);
    ui.save = new QPushButton(QStringLiteral("Сохранить"));
    ui.exit = new QPushButton(QStringLiteral("Выход"));
    ui.save->setDefault(true);

    const auto group = [](const QString &title, QDateEdit *d, QTimeEdit *t, QLineEdit *reading) {
        auto *box = new QGroupBox(title);
        auto *f = new QFormLayout(box);
        auto *when = new QHBoxLayout;
        when->addWidget(d);
        when->addWidget(t);
        f->addRow(QStringLiteral("Дата и время:"), when);
        f->addRow(QStringLiteral("Показания датчика:"), reading);
        return box;
    };
    auto *top = new QFormLayout;
    top->addRow(QStringLiteral("Номер объекта"), ui.object);
    auto *volumes = new QFormLayout;
    volumes->addRow(QStringLiteral("Залито топлива (факт.)"), ui.actualVolume);
    volumes->addRow(QStringLiteral("Залито топлива (оценка)"), ui.estimate);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ui.save);
    buttons->addWidget(ui.exit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(
        group(QStringLiteral("Начало заправки:"), ui.startDate, ui.startTime, ui.startReading));
    layout->addWidget(
        group(QStringLiteral("Окончание заправки:"), ui.endDate, ui.endTime, ui.endReading));
    layout->addLayout(volumes);
    layout->addLayout(buttons);

    AlignFormLabels(this);
    connect(ui.save, &QPushButton::clicked, this, &TfmAddCharge::btnSaveClick);
    connect(ui.exit, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmAddCharge::fill(const TChargeForm &f, bool isNew) {
    setWindowTitle(m_logic.caption());
    ui.object->setText(f.object);
    ui.startDate->setDate(dt::toQDate(f.startDate));
    ui.startTime->setTime(dt::toQTime(f.startTime));
    ui.startReading->setText(f.startReading);
    ui.endDate->setDate(dt::toQDate(f.endDate));
    ui.endTime->setTime(dt::toQTime(f.endTime));
    ui.endReading->setText(f.endReading);
    ui.actualVolume->setText(f.actualVolume);
    ui.estimate->setText(f.estimate);
    // The beginning is the record's key: fixed once it is stored.
    for (QWidget *w :
         std::initializer_list<QWidget *>{ui.object, ui.startDate, ui.startTime, ui.startReading})
        w->setEnabled(isNew);
}

void TfmAddCharge::showNew(const QString &windowObject) {
    fill(m_logic.NewRecord(windowObject, dt::now()), true);
}

void TfmAddCharge::showEdit(const TFuelChargeRow &row) {
    fill(m_logic.EditRecord(row), false);
}

TChargeForm TfmAddCharge::form() const {
    TChargeForm f;
    f.object = ui.object->text();
    f.startDate = dt::encodeDate(ui.startDate->date());
    f.startTime = timeOfDay(ui.startTime);
    f.startReading = ui.startReading->text();
    f.endDate = dt::encodeDate(ui.endDate->date());
    f.endTime = timeOfDay(ui.endTime);
    f.endReading = ui.endReading->text();
    f.actualVolume = ui.actualVolume->text();
    f.estimate = ui.estimate->text();
    return f;
}

void TfmAddCharge::btnSaveClick() {
    const TAddCharge::TSaveResult r = m_logic.Save(form());
    QLineEdit *field = nullptr;
    switch (r.invalid) {
    case TChargeField::Object:
        field = ui.object;
        break;
    case TChargeField::StartReading:
        field = ui.startReading;
        break;
    case TChargeField::EndReading:
        field = ui.endReading;
        break;
    case TChargeField::ActualVolume:
        field = ui.actualVolume;
        break;
    case TChargeField::None:
        break;
    }
    if (field) {
        field->setFocus();
        field->selectAll();
    }
    if (r.close)
        accept();
}

// ---- the window

TfmFuelCharges::TfmFuelCharges(TFuelPart &session, TErrorGuard &guard, int number, QWidget *parent)
    : QDialog(parent), m_session(session), m_guard(guard),
      m_charges(session.database(), session.dialogs()) {
    setWindowTitle(QStringLiteral("Заправки за период"));
    resize(760, 520);

    ui.object = new QComboBox;
    if (const TManager *m = session.registry())
        FillObjectComboBox(*ui.object, m->ObjListToComboBox());
    for (int i = 0; i < ui.object->count(); ++i)
        if (ui.object->itemData(i).toInt() == number)
            ui.object->setCurrentIndex(i);
    ui.startDate = NewDateEdit(QDate::currentDate());
    ui.startTime = NewTimeEdit(QTime(0, 0, 0));
    ui.endDate = NewDateEdit(QDate::currentDate());
    ui.endTime = NewTimeEdit(QTime(23, 59, 59));
    ui.threshold = new QSpinBox;
    ui.threshold->setRange(TFuelCharges::MinThreshold, TFuelCharges::MaxThreshold);
    ui.threshold->setValue(TFuelCharges::DefaultThreshold);

    auto *params = new QGridLayout;
    params->addWidget(new QLabel(QStringLiteral("Объект")), 0, 0);
    params->addWidget(ui.object, 0, 1);
    params->addWidget(new QLabel(QStringLiteral("Пороговый уровень (мВ)")), 0, 2);
    params->addWidget(ui.threshold, 0, 3);
    params->addWidget(new QLabel(QStringLiteral("Начало периода")), 1, 0);
    params->addWidget(ui.startDate, 1, 1);
    params->addWidget(ui.startTime, 1, 2);
    params->addWidget(new QLabel(QStringLiteral("Конец периода")), 2, 0);
    params->addWidget(ui.endDate, 2, 1);
    params->addWidget(ui.endTime, 2, 2);
    params->setColumnStretch(4, 1);

    const auto button = [](const char *text) { return new QPushButton(QString::fromUtf8(text)); };
    ui.show = button("Показать заправки");
    ui.detect = button("Определить заправки");
    ui.recalc = button("Пересчет тарировки");
    ui.remove = button("Удалить заправки");
    ui.add = button("Добавить заправку");
    ui.edit = button("Редактировать заправку");
    ui.save = button("Сохранить изменения");
    ui.close = button("Закрыть");
    auto *commands = new QGridLayout;
    commands->addWidget(ui.show, 0, 0);
    commands->addWidget(ui.detect, 0, 1);
    commands->addWidget(ui.recalc, 0, 2);
    commands->addWidget(ui.remove, 0, 3);
    commands->addWidget(ui.add, 1, 0);
    commands->addWidget(ui.edit, 1, 1);
    commands->addWidget(ui.save, 1, 2);
    commands->addWidget(ui.close, 1, 3);
    ui.drains = button("Сливы...");
    ui.drains->setVisible(false);
    commands->addWidget(ui.drains, 2, 0);
    ui.found = new QLabel;
    commands->addWidget(ui.found, 2, 1, 1, 3);

    const auto tool = [](const QString &text, const char *hint) {
        auto *b = new QToolButton;
        b->setText(text);
        b->setToolTip(QString::fromUtf8(hint));
        return b;
    };
    ui.first = tool(QStringLiteral("|◀"), "Первая запись");
    ui.prior = tool(QStringLiteral("◀"), "Предыдущая запись");
    ui.next = tool(QStringLiteral("▶"), "Следующая запись");
    ui.last = tool(QStringLiteral("▶|"), "Последняя запись");
    ui.navDelete = tool(QStringLiteral("−"), "Удалить запись");
    ui.navEdit = tool(QStringLiteral("✎"), "Редактировать запись");
    ui.navPost = tool(QStringLiteral("✓"), "Сохранить правку");
    ui.navCancel = tool(QStringLiteral("✗"), "Отменить правку");
    ui.navRefresh = tool(QStringLiteral("↻"), "Обновить");
    auto *navigator = new QHBoxLayout;
    for (QToolButton *b : {ui.first, ui.prior, ui.next, ui.last, ui.navDelete, ui.navEdit,
                           ui.navPost, ui.navCancel, ui.navRefresh})
        navigator->addWidget(b);
    navigator->addStretch();

    ui.grid = new TChargesGrid;
    ui.grid->setModel(&m_charges);
    ui.grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.grid->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    ui.grid->verticalHeader()->setDefaultSectionSize(22);
    setColumns();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(params);
    layout->addLayout(commands);
    layout->addLayout(navigator);
    layout->addWidget(ui.grid, 1);

    const auto guarded = [this](auto f) { return [this, f] { m_guard.run([&] { f(); }); }; };
    connect(ui.show, &QPushButton::clicked, this, guarded([this] { btnShowClick(); }));
    connect(ui.detect, &QPushButton::clicked, this, guarded([this] { btnDetectClick(); }));
    connect(ui.recalc, &QPushButton::clicked, this, guarded([this] { btnRecalcClick(); }));
    connect(ui.remove, &QPushButton::clicked, this, guarded([this] { btnDeleteClick(); }));
    connect(ui.add, &QPushButton::clicked, this, guarded([this] { btnAddClick(); }));
    connect(ui.edit, &QPushButton::clicked, this, guarded([this] { btnEditClick(); }));
    connect(ui.save, &QPushButton::clicked, this, guarded([this] { btnSaveClick(); }));
    connect(ui.close, &QPushButton::clicked, this, &QDialog::accept);

    connect(ui.first, &QToolButton::clicked, this, [this] { moveTo(0); });
    connect(ui.prior, &QToolButton::clicked, this,
            [this] { moveTo(std::max(0, m_charges.currentRow() - 1)); });
    connect(ui.next, &QToolButton::clicked, this, [this] { moveTo(m_charges.currentRow() + 1); });
    connect(ui.last, &QToolButton::clicked, this, [this] { moveTo(m_charges.rowCount() - 1); });
    connect(ui.navDelete, &QToolButton::clicked, this,
            guarded([this] { m_charges.DeleteCurrent(); }));
    connect(ui.navEdit, &QToolButton::clicked, this, [this] {
        if (m_charges.currentRow() >= 0)
            ui.grid->edit(m_charges.index(m_charges.currentRow(), TFuelCharges::colChargedVolume));
    });
    connect(ui.navPost, &QToolButton::clicked, this, [this] { ui.grid->postEdit(); });
    connect(ui.navCancel, &QToolButton::clicked, this, [this] { ui.grid->cancelEdit(); });
    connect(ui.navRefresh, &QToolButton::clicked, this,
            guarded([this] { m_charges.ShowCharges(); }));

    // The grid's current row and the records' current row follow each other.
    connect(ui.grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { m_charges.setCurrentRow(current.row()); });
    connect(&m_charges, &TFuelCharges::currentRowChanged, this, [this](int row) {
        if (row >= 0 && ui.grid->currentIndex().row() != row)
            ui.grid->setCurrentIndex(m_charges.index(row, TFuelCharges::colId));
        updateButtons();
    });
    connect(&m_charges, &QAbstractItemModel::modelReset, this, &TfmFuelCharges::updateButtons);
    updateButtons();
}

TfmFuelCharges::~TfmFuelCharges() = default;

void TfmFuelCharges::Open(TFuelPart &session, TErrorGuard &guard, QWidget *parent,
                          TShowDrains showDrains) {
    const int number = session.fuelChargesObject();
    if (number <= 0)
        return;
    TfmFuelCharges window(session, guard, number, parent);
    if (showDrains) {
        window.ui.drains->setVisible(true);
        connect(window.ui.drains, &QPushButton::clicked, &window, [&window, showDrains] {
            const TChargePeriod p = window.period();
            showDrains(p.object, p.start, p.end);
        });
    }
    window.exec();
}

TChargePeriod TfmFuelCharges::period() const {
    TChargePeriod p;
    p.object = ComboBoxObjectNumber(*ui.object).value_or(0);
    p.start = dt::encodeDate(ui.startDate->date()) + timeOfDay(ui.startTime);
    p.end = dt::encodeDate(ui.endDate->date()) + timeOfDay(ui.endTime);
    return p;
}

void TfmFuelCharges::setColumns() {
    // The grid's widths, widened where this platform's font needs more for the captions or
    // the values shown.
    for (int c = 0; c < TFuelCharges::ColumnCount; ++c)
        ui.grid->setColumnWidth(c, std::max(TFuelCharges::columnWidth(c), ui.grid->neededWidth(c)));
}

void TfmFuelCharges::moveTo(int row) {
    if (row >= 0 && row < m_charges.rowCount())
        m_charges.setCurrentRow(row);
}

void TfmFuelCharges::updateButtons() {
    const bool rows = m_charges.currentRow() >= 0;
    for (QToolButton *b :
         {ui.first, ui.prior, ui.next, ui.last, ui.navDelete, ui.navEdit, ui.navPost, ui.navCancel})
        b->setEnabled(rows);
    ui.navRefresh->setEnabled(m_charges.isOpen());
}

void TfmFuelCharges::btnShowClick() {
    m_charges.setPeriod(period());
    m_charges.ShowCharges();
    setColumns();
}

void TfmFuelCharges::btnDetectClick() {
    m_charges.setPeriod(period());
    const int found = m_charges.DetectCharges(ui.threshold->value());
    setColumns();
    ui.found->setText(QStringLiteral("Найдено заправок: ") + QString::number(found));
}

void TfmFuelCharges::btnRecalcClick() {
    m_charges.setPeriod(period());
    m_charges.RecalcCalibration();
    setColumns();
}

void TfmFuelCharges::btnDeleteClick() {
    m_charges.DeleteCharges();
}

void TfmFuelCharges::btnAddClick() {
    m_charges.setPeriod(period());
    const std::optional<int> number = ComboBoxObjectNumber(*ui.object);
    TfmAddCharge dlg(m_charges, m_session.dialogs(), this);
    dlg.showNew(number ? QString::number(*number) : QString());
    dlg.exec();
    m_charges.ShowCharges();
    setColumns();
}

void TfmFuelCharges::btnEditClick() {
    if (!m_charges.isOpen() || !m_charges.current())
        return;
    TfmAddCharge dlg(m_charges, m_session.dialogs(), this);
    dlg.showEdit(*m_charges.current());
    dlg.exec();
}

void TfmFuelCharges::btnSaveClick() {
    if (!m_charges.transactionActive())
        return;
    ui.grid->postEdit();
    m_charges.SaveChanges();
}

void TfmFuelCharges::done(int r) {
    if (!m_closing) {
        m_closing = true;
        m_guard.run([this] {
            ui.grid->postEdit();
            m_charges.CloseWindow();
        });
    }
    QDialog::done(r);
}
