#include "ui/DateBaseForm.h"

#include "app/ErrorGuard.h"
#include "session/RegistryEdits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

// ---- the object form

TfmAddObject::TfmAddObject(QWidget *parent) : QDialog(parent) {
    ui.number = new QLineEdit;
    ui.name = new QLineEdit;
    ui.shortName = new QLineEdit;
    ui.group = new QComboBox;
    ui.timeZone = new QLineEdit;
    ui.engineForPark = new QCheckBox(
        QStringLiteral("Использовать датчик двигателя для определения стоянок и трека"));
    ui.tankVolume = new QLineEdit;
    ui.depType = new QComboBox;
    ui.depType->addItems({QStringLiteral("Обратная"), QStringLiteral("Прямая")});
    ui.fuelW = new QSpinBox;
    ui.fuelS = new QSpinBox;
    for (QSpinBox *s : {ui.fuelW, ui.fuelS})
        s->setRange(0, 1000);
    ui.tankSensor =
        new QCheckBox(QStringLiteral("Использовать датчик крышки бака для определения заправок"));
    ui.engineSensor =
        new QCheckBox(QStringLiteral("Использовать датчик двигателя для определения заправок"));
    ui.delta = new QSpinBox;
    ui.delta->setRange(0, 5000);
    const auto ownOrGeneral = [](int hi) {
        auto *s = new QSpinBox;
        s->setRange(0, hi);
        s->setSpecialValueText(QStringLiteral("общая"));
        return s;
    };
    ui.drainLitres = ownOrGeneral(100000);
    ui.drainWindow = ownOrGeneral(1440);
    ui.drainMedian = ownOrGeneral(99);
    ui.save = new QPushButton(QStringLiteral("Сохранить"));
    ui.exit = new QPushButton(QStringLiteral("Выход"));

    auto *object = new QGroupBox(QStringLiteral("Объект"));
    auto *fo = new QFormLayout(object);
    fo->addRow(QStringLiteral("Номер объекта:"), ui.number);
    fo->addRow(QStringLiteral("Наименование:"), ui.name);
    fo->addRow(QStringLiteral("Метка:"), ui.shortName);
    fo->addRow(QStringLiteral("Группа:"), ui.group);
    fo->addRow(QStringLiteral("Часовой пояс, ч:"), ui.timeZone);
    fo->addRow(ui.engineForPark);
    auto *fuel = new QGroupBox(QStringLiteral("Топливо"));
    auto *ff = new QFormLayout(fuel);
    ff->addRow(QStringLiteral("Объем бензобака, л:"), ui.tankVolume);
    ff->addRow(QStringLiteral("Зависимость уровня от показаний датчика:"), ui.depType);
    ff->addRow(QStringLiteral("Норма расхода зимой, л/100 км:"), ui.fuelW);
    ff->addRow(QStringLiteral("Норма расхода летом, л/100 км:"), ui.fuelS);
    ff->addRow(ui.tankSensor);
    ff->addRow(ui.engineSensor);
    ff->addRow(QStringLiteral("Минимальное изменение датчика для заправки, мВ:"), ui.delta);
    auto *drains = new QGroupBox(QStringLiteral("Слив топлива (общая - из настроек)"));
    auto *fd = new QFormLayout(drains);
    fd->addRow(QStringLiteral("Уровень падает не менее чем на, л:"), ui.drainLitres);
    fd->addRow(QStringLiteral("За время не более, мин:"), ui.drainWindow);
    fd->addRow(QStringLiteral("Медиана последних показаний:"), ui.drainMedian);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ui.save);
    buttons->addWidget(ui.exit);
    auto *l = new QVBoxLayout(this);
    l->addWidget(object);
    l->addWidget(fuel);
    l->addWidget(drains);
    l->addLayout(buttons);
    ui.save->setDefault(true);

    connect(ui.save, &QPushButton::clicked, this, &TfmAddObject::btnSaveClick);
    connect(ui.exit, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmAddObject::fill(const TObjectForm &f, const TGroupChoices &groups) {
    ui.number->setText(f.number);
    ui.name->setText(f.name);
    ui.shortName->setText(f.shortName);
    ui.group->clear();
    int chosen = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        ui.group->addItem(groups[i].first, groups[i].second);
        if (!f.groupId.isEmpty() && groups[i].second == f.groupId)
            chosen = static_cast<int>(i);
    }
    ui.group->setCurrentIndex(chosen);
    ui.timeZone->setText(f.timeZone);
    ui.engineForPark->setChecked(f.useEngineForPark);
    ui.tankVolume->setText(f.tankVolume);
    ui.depType->setCurrentIndex(f.fuelDepType);
    ui.fuelW->setValue(f.fuelConsW);
    ui.fuelS->setValue(f.fuelConsS);
    ui.tankSensor->setChecked(f.tankSensor);
    ui.engineSensor->setChecked(f.engineSensor);
    ui.delta->setValue(f.sensorDelta);
    ui.drainLitres->setValue(f.drainLitres);
    ui.drainWindow->setValue(f.drainWindow);
    ui.drainMedian->setValue(f.drainMedian);
}

void TfmAddObject::showNew(const TGroupChoices &groups) {
    setWindowTitle(QStringLiteral("Добавление объекта"));
    ui.number->setEnabled(true);
    fill(TObjectForm{}, groups);
    ui.number->setFocus();
}

void TfmAddObject::showEdit(const TObjectRecord &r, const QString &groupId,
                            const TGroupChoices &groups) {
    setWindowTitle(QStringLiteral("Редактирование объекта №") + QString::number(r.number));
    ui.number->setEnabled(false);
    fill(TObjectForm::fromRecord(r, groupId), groups);
    ui.name->setFocus();
}

TObjectForm TfmAddObject::values() const {
    TObjectForm f;
    f.number = ui.number->text();
    f.name = ui.name->text();
    f.shortName = ui.shortName->text();
    f.groupId = ui.group->currentData().toString();
    f.timeZone = ui.timeZone->text();
    f.useEngineForPark = ui.engineForPark->isChecked();
    f.tankVolume = ui.tankVolume->text();
    f.fuelDepType = ui.depType->currentIndex();
    f.fuelConsW = ui.fuelW->value();
    f.fuelConsS = ui.fuelS->value();
    f.tankSensor = ui.tankSensor->isChecked();
    f.engineSensor = ui.engineSensor->isChecked();
    f.sensorDelta = ui.delta->value();
    f.drainLitres = ui.drainLitres->value();
    f.drainWindow = ui.drainWindow->value();
    f.drainMedian = ui.drainMedian->value();
    return f;
}

void TfmAddObject::btnSaveClick() {
    if (!onSave)
        return;
    switch (onSave(values())) {
    case TRegistrySave::Saved:
        accept();
        break;
    case TRegistrySave::BadNumber:
        ui.number->setFocus();
        ui.number->selectAll();
        break;
    case TRegistrySave::Cancelled:
    case TRegistrySave::Failed:
        break; // the form stays open with the user's values
    }
}

// ---- the registry window

TfmDateBase::TfmDateBase(TRegistryEdits &edits, TErrorGuard &guard, QWidget *parent)
    : QDialog(parent), m_edits(edits), m_guard(guard), m_form(new TfmAddObject(this)) {
    setWindowTitle(QStringLiteral("Объекты"));
    ui.list = new QTableWidget(0, 4);
    ui.list->setHorizontalHeaderLabels(
        {QStringLiteral("Номер объекта"), QStringLiteral("Наименование объекта"),
         QStringLiteral("Метка"), QStringLiteral("Объем бензобака")});
    ui.list->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.list->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.list->verticalHeader()->hide();
    ui.list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.list->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    ui.add = new QPushButton(QStringLiteral("Добавить"));
    ui.edit = new QPushButton(QStringLiteral("Редактировать"));
    ui.remove = new QPushButton(QStringLiteral("Удалить"));
    ui.exportButton = new QPushButton(QStringLiteral("Экспорт"));
    ui.importButton = new QPushButton(QStringLiteral("Импорт"));
    ui.exit = new QPushButton(QStringLiteral("Выход"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {ui.add, ui.edit, ui.remove, ui.exportButton, ui.importButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(ui.exit);
    auto *l = new QVBoxLayout(this);
    l->addWidget(ui.list);
    l->addLayout(buttons);
    resize(640, 420);

    const auto guarded = [this](void (TfmDateBase::*f)()) {
        return [this, f] { m_guard.run([&] { (this->*f)(); }); };
    };
    connect(ui.add, &QPushButton::clicked, this, guarded(&TfmDateBase::btnAddClick));
    connect(ui.edit, &QPushButton::clicked, this, guarded(&TfmDateBase::btnEditClick));
    connect(ui.list, &QTableWidget::cellDoubleClicked, this, guarded(&TfmDateBase::btnEditClick));
    connect(ui.remove, &QPushButton::clicked, this, guarded(&TfmDateBase::btnDeleteClick));
    connect(ui.exportButton, &QPushButton::clicked, this, guarded(&TfmDateBase::btnExportClick));
    connect(ui.importButton, &QPushButton::clicked, this, guarded(&TfmDateBase::btnImportClick));
    connect(ui.exit, &QPushButton::clicked, this, &QDialog::accept);
    m_guard.run([this] { reload(); });
}

void TfmDateBase::reload(int selectNumber) {
    if (selectNumber == 0)
        selectNumber = selectedNumber();
    m_rows = m_edits.registryList();
    showRows(selectNumber);
}

void TfmDateBase::showRows(int selectNumber) {
    ui.list->setRowCount(static_cast<int>(m_rows.size()));
    int selected = m_rows.empty() ? -1 : 0;
    for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
        const TObjectRecord &r = m_rows[static_cast<size_t>(i)];
        const QStringList cells{QString::number(r.number), r.name, r.shortName,
                                OniFloatText(r.tankVolume)};
        for (int c = 0; c < cells.size(); ++c)
            ui.list->setItem(i, c, new QTableWidgetItem(cells[c]));
        if (r.number == selectNumber)
            selected = i;
    }
    if (selected >= 0)
        ui.list->selectRow(selected);
}

int TfmDateBase::selectedNumber() const {
    const int row = ui.list->currentRow();
    return row >= 0 && row < static_cast<int>(m_rows.size())
               ? m_rows[static_cast<size_t>(row)].number
               : 0;
}

void TfmDateBase::btnAddClick() {
    m_form->showNew(m_edits.groupChoices());
    int saved = 0;
    m_form->onSave = [this, &saved](const TObjectForm &f) {
        const TRegistrySave r = m_edits.addRegistryObject(f);
        if (r == TRegistrySave::Saved)
            saved = f.number.trimmed().toInt();
        return r;
    };
    const bool accepted = m_form->exec() == QDialog::Accepted;
    m_form->onSave = nullptr;
    if (accepted)
        reload(saved);
}

void TfmDateBase::btnEditClick() {
    const int number = selectedNumber();
    const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                 [number](const TObjectRecord &r) { return r.number == number; });
    if (it == m_rows.end())
        return;
    m_form->showEdit(*it, m_edits.objectGroupId(number), m_edits.groupChoices());
    int storedTimeZone = it->timeZone;
    m_form->onSave = [this, &storedTimeZone](const TObjectForm &f) {
        return m_edits.editRegistryObject(f, storedTimeZone);
    };
    const bool accepted = m_form->exec() == QDialog::Accepted;
    m_form->onSave = nullptr;
    if (accepted)
        reload(number);
}

void TfmDateBase::btnDeleteClick() {
    const int number = selectedNumber();
    if (number != 0 && m_edits.deleteRegistryObject(number))
        reload();
}

void TfmDateBase::btnExportClick() {
    if (const int number = selectedNumber())
        m_edits.exportRegistryObject(number);
}

void TfmDateBase::btnImportClick() {
    if (const std::optional<int> number = m_edits.importRegistryObject())
        reload(*number);
}

void TfmDateBase::done(int r) {
    m_guard.run([this] { m_edits.registryWindowClosed(); });
    QDialog::done(r);
}
