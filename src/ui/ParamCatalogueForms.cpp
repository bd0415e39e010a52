#include "ui/ParamCatalogueForms.h"

#include "app/Dialogs.h"
#include "app/Folders.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Captions are shown on one line: ";" stands for the line break of the grid headers.
QString oneLine(const QString &caption) {
    return QString(caption).replace(QLatin1Char(';'), QLatin1Char(' '));
}

void fillList(QListWidget *w, const TCatalogueList &l) {
    const QSignalBlocker b(w);
    w->clear();
    for (const TCatalogueRow &r : l.rows) {
        auto *item = new QListWidgetItem(oneLine(r.caption.isEmpty() ? r.key : r.caption));
        item->setToolTip(oneLine(r.caption));
        w->addItem(item);
    }
    w->setCurrentRow(l.current);
}

void fillTable(QTableWidget *w, const TCatalogueList &l) {
    const QSignalBlocker b(w);
    w->setRowCount(l.count());
    for (int i = 0; i < l.count(); ++i) {
        const TCatalogueRow &r = l.rows[static_cast<size_t>(i)];
        auto *caption = new QTableWidgetItem(oneLine(r.caption.isEmpty() ? r.key : r.caption));
        caption->setToolTip(oneLine(r.caption));
        w->setItem(i, 0, caption);
        w->setItem(i, 1, new QTableWidgetItem(ShownFlagText(r.shown)));
    }
    if (l.current >= 0)
        w->setCurrentCell(l.current, 0);
}

QTableWidget *catalogueTable(const QStringList &headers) {
    auto *t = new QTableWidget(0, headers.size());
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    t->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    // Wide enough for the captions whole (bold, as for a selected row) beside a scroll bar.
    QFont bold = t->horizontalHeader()->font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    QStyle *st = t->style();
    int need = 2 * st->pixelMetric(QStyle::PM_DefaultFrameWidth) +
               st->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (const QString &h : headers)
        need += fm.horizontalAdvance(h) + 2 * st->pixelMetric(QStyle::PM_HeaderMargin) + 8;
    t->setMinimumWidth(std::max(200, need));
    // The lists share the width equally, whatever they hold.
    t->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    return t;
}

QPushButton *button(const QString &text, const QString &tip = QString()) {
    auto *b = new QPushButton(text);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    return b;
}

} // namespace

// ---- the column editors

TfmCatalogueColumns::TfmCatalogueColumns(db::TDatabase &database, TColumnEditor::Kind kind,
                                         TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs), m_guard(dialogs),
      m_editor(std::make_unique<TColumnEditor>(database, kind)) {
    ui.available = new QListWidget;
    ui.assigned = new QListWidget;
    ui.assign = button(QStringLiteral(">"), QStringLiteral("Показывать выбранный параметр"));
    ui.assignAll = button(QStringLiteral(">>"), QStringLiteral("Показывать все параметры"));
    ui.unassign = button(QStringLiteral("<"), QStringLiteral("Не показывать выбранный параметр"));
    ui.unassignAll = button(QStringLiteral("<<"), QStringLiteral("Не показывать все параметры"));
    ui.up = button(QStringLiteral("Вверх"));
    ui.down = button(QStringLiteral("Вниз"));
    ui.defaults = button(QStringLiteral("Настройки по умолчанию"));
    ui.rename = button(QStringLiteral("Переименовать"));
    ui.close = button(QStringLiteral("Закрыть"));
    ui.defaults->setVisible(!m_editor->isCalc());
    ui.rename->setVisible(m_editor->isCalc());

    auto *moves = new QVBoxLayout;
    moves->addStretch();
    for (QPushButton *b : {ui.assign, ui.assignAll, ui.unassign, ui.unassignAll})
        moves->addWidget(b);
    moves->addStretch();
    auto *order = new QVBoxLayout;
    order->addStretch();
    order->addWidget(ui.up);
    order->addWidget(ui.down);
    order->addStretch();
    auto *lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Доступные параметры")), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("Отображаемые параметры")), 0, 2);
    lists->addWidget(ui.available, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(ui.assigned, 1, 2);
    lists->addLayout(order, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ui.defaults);
    buttons->addWidget(ui.rename);
    buttons->addStretch();
    buttons->addWidget(ui.close);
    auto *l = new QVBoxLayout(this);
    l->addLayout(lists);
    l->addLayout(buttons);
    resize(620, 420);

    connect(ui.assign, &QPushButton::clicked, this,
            [this] { run(&TfmCatalogueColumns::assignOne); });
    connect(ui.assignAll, &QPushButton::clicked, this,
            [this] { run(&TfmCatalogueColumns::assignAll); });
    connect(ui.unassign, &QPushButton::clicked, this,
            [this] { run(&TfmCatalogueColumns::unassignOne); });
    connect(ui.unassignAll, &QPushButton::clicked, this,
            [this] { run(&TfmCatalogueColumns::unassignAll); });
    connect(ui.up, &QPushButton::clicked, this, [this] { run(&TfmCatalogueColumns::moveUp); });
    connect(ui.down, &QPushButton::clicked, this, [this] { run(&TfmCatalogueColumns::moveDown); });
    connect(ui.defaults, &QPushButton::clicked, this,
            [this] { run(&TfmCatalogueColumns::restoreDefaults); });
    connect(ui.rename, &QPushButton::clicked, this, [this] { run(&TfmCatalogueColumns::rename); });
    connect(ui.close, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.available, &QListWidget::currentRowChanged, this,
            [this] { m_side = TCatalogueSide::Available; });
    connect(ui.assigned, &QListWidget::currentRowChanged, this,
            [this] { m_side = TCatalogueSide::Assigned; });
    showLists();
}

void TfmCatalogueColumns::run(void (TfmCatalogueColumns::*f)()) {
    takeSelection();
    const int before = m_editor->changes();
    m_guard.run([&] { (this->*f)(); });
    showLists();
    if (m_editor->changes() != before)
        emit columnsChanged();
}

void TfmCatalogueColumns::takeSelection() {
    m_editor->available.current = ui.available->currentRow();
    m_editor->assigned.current = ui.assigned->currentRow();
}

void TfmCatalogueColumns::showLists() {
    fillList(ui.available, m_editor->available);
    fillList(ui.assigned, m_editor->assigned);
}

void TfmCatalogueColumns::assignOne() {
    m_editor->Assign();
}

void TfmCatalogueColumns::assignAll() {
    m_editor->AssignAll();
}

void TfmCatalogueColumns::unassignOne() {
    m_editor->Unassign();
}

void TfmCatalogueColumns::unassignAll() {
    m_editor->UnassignAll();
}

void TfmCatalogueColumns::moveUp() {
    m_editor->MoveUp(m_side);
}

void TfmCatalogueColumns::moveDown() {
    m_editor->MoveDown(m_side);
}

void TfmCatalogueColumns::restoreDefaults() {
    m_editor->RestoreDefaults();
}

void TfmCatalogueColumns::rename() {
    m_editor->Rename(m_side, m_dialogs);
}

TfmAdditionalParams::TfmAdditionalParams(db::TDatabase &database, TDialogs &dialogs,
                                         QWidget *parent)
    : TfmCatalogueColumns(database, TColumnEditor::Kind::DataGrid, dialogs, parent) {
    setWindowTitle(QStringLiteral("Столбцы таблицы данных"));
}

TfmSostGridFields::TfmSostGridFields(db::TDatabase &database, TDialogs &dialogs, QWidget *parent)
    : TfmCatalogueColumns(database, TColumnEditor::Kind::SostGrid, dialogs, parent) {
    setWindowTitle(QStringLiteral("Столбцы таблицы изменений состояния"));
}

TfmCalcGridFields::TfmCalcGridFields(db::TDatabase &database, bool objectSet, TDialogs &dialogs,
                                     QWidget *parent)
    : TfmCatalogueColumns(
          database, objectSet ? TColumnEditor::Kind::CalcSet : TColumnEditor::Kind::CalcObject,
          dialogs, parent) {
    setWindowTitle(QStringLiteral("Редактирование списка отображаемых параметров"));
}

// ---- the caption editor

TfmEditParamCaption::TfmEditParamCaption(const TCatalogueRow &row, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Заголовок параметра"));
    captionEdit = new QLineEdit(row.caption);
    shownChoice = new QComboBox;
    shownChoice->addItems({ShownFlagText(1), ShownFlagText(2)});
    shownChoice->setCurrentIndex(row.shown == 1 ? 0 : 1);
    applyButton = new QPushButton(QStringLiteral("Применить"));
    cancelButton = new QPushButton(QStringLiteral("Отмена"));
    auto *f = new QFormLayout;
    f->addRow(QStringLiteral("Параметр:"), new QLabel(row.key));
    f->addRow(QStringLiteral("Заголовок:"), captionEdit);
    f->addRow(QStringLiteral("Показывать:"), shownChoice);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    auto *l = new QVBoxLayout(this);
    l->addLayout(f);
    l->addLayout(buttons);
    applyButton->setDefault(true);
    connect(applyButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString TfmEditParamCaption::caption() const {
    return captionEdit->text();
}

int TfmEditParamCaption::shownFlag() const {
    return shownChoice->currentIndex() + 1;
}

// ---- the arrangement of groups and parameters

TfmGroupsAndParamsPositions::TfmGroupsAndParamsPositions(db::TDatabase &database,
                                                         const QString &fileName, QWidget *parent)
    : QDialog(parent), m_order(fileName) {
    setWindowTitle(QStringLiteral("Расположение групп и параметров"));
    list = new QListWidget;
    upButton = new QPushButton(QStringLiteral("Вверх"));
    downButton = new QPushButton(QStringLiteral("Вниз"));
    okButton = new QPushButton(QStringLiteral("OK"));
    cancelButton = new QPushButton(QStringLiteral("Отмена"));
    auto *side = new QVBoxLayout;
    side->addWidget(upButton);
    side->addWidget(downButton);
    side->addStretch();
    side->addWidget(okButton);
    side->addWidget(cancelButton);
    auto *l = new QHBoxLayout(this);
    l->addWidget(list);
    l->addLayout(side);
    resize(420, 380);

    m_order.Load();
    m_order.Merge(TFieldsOrder::CurrentEntries(database));
    list->addItems(m_order.entries);
    list->setCurrentRow(m_order.entries.isEmpty() ? -1 : 0);
    connect(upButton, &QPushButton::clicked, this, [this] { move(-1); });
    connect(downButton, &QPushButton::clicked, this, [this] { move(1); });
    connect(okButton, &QPushButton::clicked, this, &TfmGroupsAndParamsPositions::btnOkClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmGroupsAndParamsPositions::move(int step) {
    const int row = list->currentRow();
    const int to = step < 0 ? m_order.MoveUp(row) : m_order.MoveDown(row);
    if (to == row)
        return;
    list->clear();
    list->addItems(m_order.entries);
    list->setCurrentRow(to);
}

void TfmGroupsAndParamsPositions::btnOkClick() {
    m_order.Save();
    accept();
}

// ---- the parameter part of the settings window

TParamGroupsPage::TParamGroupsPage(TDialogs &dialogs, QWidget *parent)
    : QWidget(parent), m_dialogs(dialogs), m_guard(dialogs) {
    ui.state = new QLabel(QStringLiteral("Параметры настраиваются при подключенной базе данных."));
    ui.groups = catalogueTable({QStringLiteral("Группа параметров"), QStringLiteral("Показывать")});
    ui.available =
        catalogueTable({QStringLiteral("Параметры без группы"), QStringLiteral("Показывать")});
    ui.assigned =
        catalogueTable({QStringLiteral("Параметры группы"), QStringLiteral("Показывать")});
    ui.groupUp = button(QStringLiteral("Вверх"), QStringLiteral("Переместить группу вверх"));
    ui.groupDown = button(QStringLiteral("Вниз"), QStringLiteral("Переместить группу вниз"));
    ui.addGroup = button(QStringLiteral("Добавить"));
    ui.renameGroup = button(QStringLiteral("Переименовать"));
    ui.deleteGroup = button(QStringLiteral("Удалить"));
    ui.showGroup = button(QStringLiteral("Показать"), QStringLiteral("Показать параметры группы"));
    ui.hideGroup = button(QStringLiteral("Скрыть"), QStringLiteral("Скрыть параметры группы"));
    ui.assign = button(QStringLiteral(">"), QStringLiteral("Добавить параметр в группу"));
    ui.assignAll = button(QStringLiteral(">>"), QStringLiteral("Добавить параметры в группу"));
    ui.unassign = button(QStringLiteral("<"), QStringLiteral("Исключить параметр из группы"));
    ui.unassignAll = button(QStringLiteral("<<"), QStringLiteral("Исключить параметры из группы"));
    ui.availableUp = button(QStringLiteral("Вверх"));
    ui.availableDown = button(QStringLiteral("Вниз"));
    ui.assignedUp = button(QStringLiteral("Вверх"));
    ui.assignedDown = button(QStringLiteral("Вниз"));
    ui.showUnassigned =
        button(QStringLiteral("Показать все"), QStringLiteral("Показать все параметры без группы"));
    ui.hideUnassigned =
        button(QStringLiteral("Скрыть все"), QStringLiteral("Скрыть все параметры без группы"));
    ui.editCaption = button(QStringLiteral("Заголовок..."));
    ui.arrange = button(QStringLiteral("Расположение..."));
    ui.dataColumns = button(QStringLiteral("Таблица данных..."));
    ui.sostColumns = button(QStringLiteral("Изменения состояния..."));
    ui.calcColumns = button(QStringLiteral("Отчет по объекту..."));
    ui.calcSetColumns = button(QStringLiteral("Отчет по группам..."));

    auto *groupBox = new QGroupBox(QStringLiteral("Группы параметров"));
    auto *gl = new QVBoxLayout(groupBox);
    gl->addWidget(ui.groups);
    auto *gb = new QGridLayout;
    gb->addWidget(ui.groupUp, 0, 0);
    gb->addWidget(ui.groupDown, 0, 1);
    gb->addWidget(ui.addGroup, 1, 0);
    gb->addWidget(ui.renameGroup, 1, 1);
    gb->addWidget(ui.deleteGroup, 2, 0);
    gb->addWidget(ui.showGroup, 3, 0);
    gb->addWidget(ui.hideGroup, 3, 1);
    gl->addLayout(gb);

    auto *avail = new QVBoxLayout;
    avail->addWidget(ui.available);
    auto *ab = new QHBoxLayout;
    for (QPushButton *b : {ui.availableUp, ui.availableDown, ui.showUnassigned, ui.hideUnassigned})
        ab->addWidget(b);
    avail->addLayout(ab);
    auto *moves = new QVBoxLayout;
    moves->addStretch();
    for (QPushButton *b : {ui.assign, ui.assignAll, ui.unassign, ui.unassignAll})
        moves->addWidget(b);
    moves->addStretch();
    auto *assignedBox = new QVBoxLayout;
    assignedBox->addWidget(ui.assigned);
    auto *sb = new QHBoxLayout;
    sb->addWidget(ui.assignedUp);
    sb->addWidget(ui.assignedDown);
    sb->addStretch();
    assignedBox->addLayout(sb);
    auto *params = new QHBoxLayout;
    params->addLayout(avail, 1);
    params->addLayout(moves);
    params->addLayout(assignedBox, 1);

    auto *more = new QHBoxLayout;
    for (QPushButton *b : {ui.editCaption, ui.arrange})
        more->addWidget(b);
    more->addStretch();
    more->addWidget(new QLabel(QStringLiteral("Столбцы:")));
    for (QPushButton *b : {ui.dataColumns, ui.sostColumns, ui.calcColumns, ui.calcSetColumns})
        more->addWidget(b);

    auto *l = new QVBoxLayout(this);
    l->addWidget(ui.state);
    auto *top = new QHBoxLayout;
    top->addWidget(groupBox, 2);
    top->addLayout(params, 5);
    l->addLayout(top);
    l->addLayout(more);

    const auto on = [this](QPushButton *b, std::function<void()> f) {
        connect(b, &QPushButton::clicked, this, [this, f] { run(f); });
    };
    on(ui.groupUp, [this] { m_editor->MoveGroupUp(); });
    on(ui.groupDown, [this] { m_editor->MoveGroupDown(); });
    on(ui.addGroup, [this] { addGroup(); });
    on(ui.renameGroup, [this] { renameGroup(); });
    on(ui.deleteGroup, [this] { deleteGroup(); });
    on(ui.showGroup, [this] { m_editor->ShowGroupParams(true); });
    on(ui.hideGroup, [this] { m_editor->ShowGroupParams(false); });
    on(ui.assign, [this] { m_editor->Assign(); });
    on(ui.assignAll, [this] { m_editor->AssignAll(); });
    on(ui.unassign, [this] { m_editor->Unassign(); });
    on(ui.unassignAll, [this] { m_editor->UnassignAll(); });
    on(ui.availableUp, [this] { m_editor->MoveUp(TCatalogueSide::Available); });
    on(ui.availableDown, [this] { m_editor->MoveDown(TCatalogueSide::Available); });
    on(ui.assignedUp, [this] { m_editor->MoveUp(TCatalogueSide::Assigned); });
    on(ui.assignedDown, [this] { m_editor->MoveDown(TCatalogueSide::Assigned); });
    on(ui.showUnassigned, [this] { m_editor->ShowUnassignedParams(true); });
    on(ui.hideUnassigned, [this] { m_editor->ShowUnassignedParams(false); });
    on(ui.editCaption, [this] { editCaption(); });
    on(ui.arrange, [this] { arrange(); });
    const auto columns = [this](QPushButton *b, auto make) {
        connect(b, &QPushButton::clicked, this, [this, make] {
            db::TDatabase *d = database ? database() : nullptr;
            if (!d)
                return;
            m_guard.run([&] {
                std::unique_ptr<QDialog> dlg(make(*d));
                dlg->exec();
            });
        });
    };
    columns(ui.dataColumns,
            [this](db::TDatabase &d) { return new TfmAdditionalParams(d, m_dialogs, this); });
    columns(ui.sostColumns,
            [this](db::TDatabase &d) { return new TfmSostGridFields(d, m_dialogs, this); });
    columns(ui.calcColumns,
            [this](db::TDatabase &d) { return new TfmCalcGridFields(d, false, m_dialogs, this); });
    columns(ui.calcSetColumns,
            [this](db::TDatabase &d) { return new TfmCalcGridFields(d, true, m_dialogs, this); });

    connect(ui.groups, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!m_filling && m_editor)
            m_guard.run([&] {
                m_editor->selectGroup(row);
                showLists();
            });
    });
    connect(ui.available, &QTableWidget::currentCellChanged, this,
            [this] { m_side = TCatalogueSide::Available; });
    connect(ui.assigned, &QTableWidget::currentCellChanged, this,
            [this] { m_side = TCatalogueSide::Assigned; });
    showLists();
}

TParamGroupsPage::~TParamGroupsPage() = default;

void TParamGroupsPage::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    open();
}

void TParamGroupsPage::hideEvent(QHideEvent *e) {
    // The editing transaction must not outlive the window: the connection closes without it.
    close();
    QWidget::hideEvent(e);
}

void TParamGroupsPage::open() {
    if (m_editor)
        return;
    db::TDatabase *d = database ? database() : nullptr;
    if (d)
        m_guard.run([&] { m_editor = std::make_unique<TParamGroupsEditor>(*d); });
    showLists();
}

void TParamGroupsPage::close() {
    m_editor.reset();
    showLists();
}

void TParamGroupsPage::run(const std::function<void()> &f) {
    if (!m_editor)
        return;
    takeSelection();
    m_guard.run(f);
    showLists();
}

void TParamGroupsPage::takeSelection() {
    m_editor->groups.current = ui.groups->currentRow();
    m_editor->available.current = ui.available->currentRow();
    m_editor->assigned.current = ui.assigned->currentRow();
}

void TParamGroupsPage::setGroupShown(int row, int flag) {
    if (!m_editor)
        return;
    m_guard.run([&] {
        m_editor->groups.current = row;
        m_editor->SetGroupShown(flag);
    });
    showLists();
}

void TParamGroupsPage::showLists() {
    m_filling = true;
    const bool on = m_editor != nullptr;
    ui.state->setVisible(!on);
    for (QWidget *w : findChildren<QPushButton *>())
        w->setEnabled(on);
    static const TCatalogueList empty;
    const TCatalogueList &groups = on ? m_editor->groups : empty;
    {
        const QSignalBlocker b(ui.groups);
        ui.groups->setRowCount(groups.count());
        for (int i = 0; i < groups.count(); ++i) {
            const TCatalogueRow &g = groups.rows[static_cast<size_t>(i)];
            ui.groups->setItem(i, 0, new QTableWidgetItem(g.caption));
            // The shown flag is edited in place; saving the row commits it.
            auto *flag = new QComboBox;
            flag->addItems({ShownFlagText(1), ShownFlagText(2)});
            flag->setCurrentIndex(g.shown == 1 ? 0 : 1);
            connect(flag, &QComboBox::activated, this,
                    [this, i](int index) { setGroupShown(i, index + 1); });
            ui.groups->setCellWidget(i, 1, flag);
        }
        if (groups.current >= 0)
            ui.groups->setCurrentCell(groups.current, 0);
    }
    fillTable(ui.available, on ? m_editor->available : empty);
    fillTable(ui.assigned, on ? m_editor->assigned : empty);
    m_filling = false;
}

void TParamGroupsPage::addGroup() {
    QString name = QStringLiteral("Новая группа");
    if (m_dialogs.inputText(QStringLiteral("Группа параметров"),
                            QStringLiteral("Наименование группы:"), name))
        m_editor->AddGroup(name);
}

void TParamGroupsPage::renameGroup() {
    const TCatalogueRow *g = m_editor->currentGroup();
    if (!g)
        return;
    QString name = g->caption;
    if (m_dialogs.inputText(QStringLiteral("Группа параметров"),
                            QStringLiteral("Наименование группы:"), name))
        m_editor->RenameGroup(name);
}

void TParamGroupsPage::deleteGroup() {
    m_editor->DeleteGroup(m_dialogs);
}

void TParamGroupsPage::editCaption() {
    const TCatalogueRow *row = m_editor->list(m_side).currentRow();
    if (!row)
        return;
    const QString name = row->key;
    TfmEditParamCaption dlg(*row, this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    m_editor->SetParamCaption(name, dlg.caption(), dlg.shownFlag());
    emit applyRequested();
}

void TParamGroupsPage::arrange() {
    db::TDatabase *d = database ? database() : nullptr;
    if (!d)
        return;
    TfmGroupsAndParamsPositions dlg(*d, TFieldsOrder::DefaultFileName(), this);
    dlg.exec();
}
