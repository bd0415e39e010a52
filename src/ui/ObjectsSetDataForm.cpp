#include "ui/ObjectsSetDataForm.h"
#include "ui/DateEdits.h"
#include "ui/WindowFit.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBoxLayout>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QValueAxis>

#include "app/Dialogs.h"
#include "db/GroupManager.h"
#include "reports/FuelCharges.h"
#include "ui/ParamCatalogueForms.h"

namespace {
const int kNodeRole = Qt::UserRole + 7;
} // namespace

TSetTree::TSetTree(TfmObjectsSetData &form) : m_form(form) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setHeaderHidden(true);
}

void TSetTree::dragEnterEvent(QDragEnterEvent *e) {
    e->acceptProposedAction();
}

void TSetTree::dragMoveEvent(QDragMoveEvent *e) {
    e->acceptProposedAction();
}

void TSetTree::dropEvent(QDropEvent *e) {
    // Whatever is dropped on the tree takes the list's selected entries out of it.
    m_form.removeSelectedEntries();
    e->setDropAction(Qt::IgnoreAction);
    e->accept();
}

TSetList::TSetList(TfmObjectsSetData &form) : m_form(form) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
}

void TSetList::dragEnterEvent(QDragEnterEvent *e) {
    e->acceptProposedAction();
}

void TSetList::dragMoveEvent(QDragMoveEvent *e) {
    e->acceptProposedAction();
}

void TSetList::dropEvent(QDropEvent *e) {
    if (e->source() == this) {
        const QListWidgetItem *under = itemAt(e->position().toPoint());
        if (under && currentItem())
            m_form.swapEntries(row(under), currentRow());
    } else {
        m_form.dropTreeSelection();
    }
    e->setDropAction(Qt::IgnoreAction);
    e->accept();
}

void TSetList::keyPressEvent(QKeyEvent *e) {
    if (e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) {
        m_form.removeSelectedEntries();
        return;
    }
    QListWidget::keyPressEvent(e);
}

TfmNeedDataFiles::TfmNeedDataFiles(const QStringList &lines, QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Отсутствующая информация"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *l = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral(
        "Для построения отчета необходимо наличие всех данных по всем объектам, которые "
        "участвуют в запросе, за указанный Вами период времени. Отсутствуют следующие данные:"));
    label->setWordWrap(true);
    l->addWidget(label);
    text = new QPlainTextEdit(lines.join(QLatin1Char('\n')));
    text->setReadOnly(true);
    l->addWidget(text, 1);
    auto *b = new QHBoxLayout;
    b->addStretch(1);
    btnClose = new QPushButton(QStringLiteral("Закрыть"));
    btnContinue = new QPushButton(QStringLiteral("Продолжить"));
    b->addWidget(btnClose);
    b->addWidget(btnContinue);
    l->addLayout(b);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::close);
    connect(btnContinue, &QPushButton::clicked, this, [this] {
        emit continueRequested();
        close();
    });
    resize(520, 360);
}

// ---------------------------------------------------------------------------------------------

TfmObjectsSetData::TfmObjectsSetData(TReportsPart &part, TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_part(part), m_dialogs(dialogs), m_guard(dialogs) {
    setWindowTitle(QStringLiteral("Данные по нескольким объектам"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    build();
    connect(&m_part, &TReportsPart::setTableDone, this, &TfmObjectsSetData::onTable);
    connect(&m_part, &TReportsPart::setChartDone, this, &TfmObjectsSetData::onChart);
    connect(&m_part, &TReportsPart::runningChanged, this, &TfmObjectsSetData::onRunning);
    connect(&m_part, &TReportsPart::progress, this, [this](int done, int total) {
        ui.progress->setRange(0, std::max(total, 0));
        ui.progress->setValue(std::max(done, 0));
    });
    ResizeWithinScreen(this, 1280, 760);
}

TfmObjectsSetData::~TfmObjectsSetData() {
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

void TfmObjectsSetData::build() {
    auto *root = new QHBoxLayout(this);
    m_listPanel = new QWidget;
    m_listPanel->setFixedWidth(260);
    auto *ll = new QVBoxLayout(m_listPanel);
    ll->setContentsMargins(0, 0, 0, 0);
    ll->addWidget(new QLabel(QStringLiteral("Доступные объекты/группы")));
    ui.tvAvailibleObjects = new TSetTree(*this);
    ll->addWidget(ui.tvAvailibleObjects);
    ll->addWidget(new QLabel(QStringLiteral("Запрашиваемые объекты/группы")));
    ui.lbAssignObjects = new TSetList(*this);
    ll->addWidget(ui.lbAssignObjects);
    root->addWidget(m_listPanel);

    auto *centre = new QWidget;
    auto *cl = new QVBoxLayout(centre);
    cl->setContentsMargins(0, 0, 0, 0);
    ui.views = new QStackedWidget;
    auto *tablePage = new QWidget;
    auto *tl = new QVBoxLayout(tablePage);
    tl->setContentsMargins(0, 0, 0, 0);
    ui.ngSetCalcParams = new QTableView;
    ui.ngSetCalcParams->setModel(&m_table);
    ui.ngSetCalcParams->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The captions' gutter: 150 pixels, wider where a caption would be cut.
    ui.ngSetCalcParams->verticalHeader()->setMinimumWidth(150);
    ui.ngSetCalcParams->verticalHeader()->setDefaultSectionSize(22);
    ui.ngSetCalcParams->horizontalHeader()->setMinimumHeight(56);
    ui.ngSetCalcParams->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    tl->addWidget(ui.ngSetCalcParams, 1);
    ui.gbLegend = new QGroupBox(QStringLiteral("Легенда"));
    auto *lg = new QVBoxLayout(ui.gbLegend);
    lg->setSpacing(1);
    static const char16_t *legend[] = {
        u"Тс - продолжительность работы системы",
        u"Тп1 - продолжительность работы первого подогревателя",
        u"Тп2 - продолжительность работы второго подогревателя",
        u"Тг1 - продолжительность горения первого котла",
        u"Тг2 - продолжительность горения второго котла",
        u"Тп12 - продолжительность одновременной работы первого и второго подогревателей",
        u"СУММ(Тп) - суммарная продолжительность работы подогревателей",
        u"СУММ(Тг) - суммарная продолжительность горения подогревателей",
        u"Твкл - продолжительность требования включить систему",
        u"Тд - продолжительность работы дизеля",
        u"Рп1 - расход топлива первым подогревателем",
        u"Рп2 - расход топлива вторым подогревателем",
        u"СУММ(Р) - суммарный расход топлива",
        u"Рд - расход топлива дизелем",
    };
    for (const char16_t *line : legend) {
        auto *label = new QLabel(QString::fromUtf16(line));
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        lg->addWidget(label);
    }
    ui.gbLegend->setFixedHeight(0);
    ui.gbLegend->hide();
    tl->addWidget(ui.gbLegend);
    ui.views->addWidget(tablePage);

    auto *chartPage = new QWidget;
    auto *chl = new QVBoxLayout(chartPage);
    chl->setContentsMargins(0, 0, 0, 0);
    ui.cbChartParam = new QComboBox;
    chl->addWidget(ui.cbChartParam);
    auto *chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    ui.chart = new QChartView(chart);
    ui.chart->setRenderHint(QPainter::Antialiasing);
    chl->addWidget(ui.chart, 1);
    ui.views->addWidget(chartPage);
    cl->addWidget(ui.views, 1);
    root->addWidget(centre, 1);

    // "Параметры запроса"
    auto *panel = new QWidget;
    panel->setFixedWidth(300);
    auto *pl = new QVBoxLayout(panel);
    pl->setContentsMargins(4, 0, 0, 0);
    auto *params = new QGroupBox(QStringLiteral("Параметры запроса"));
    auto *form = new QFormLayout(params);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    ui.dtpStart = NewDateEdit();
    ui.dtpEnd = NewDateEdit();
    form->addRow(QStringLiteral("С"), ui.dtpStart);
    form->addRow(QStringLiteral("ПО"), ui.dtpEnd);
    auto *view = new QGroupBox(QStringLiteral("Форма представления данных"));
    auto *vl = new QHBoxLayout(view);
    ui.rbTable = new QRadioButton(QStringLiteral("таблица"));
    ui.rbChart = new QRadioButton(QStringLiteral("гистограмма"));
    ui.rbTable->setChecked(true);
    vl->addWidget(ui.rbTable);
    vl->addWidget(ui.rbChart);
    form->addRow(view);
    ui.gbInterval = new QGroupBox(QStringLiteral("Интервал расчета"));
    auto *il = new QHBoxLayout(ui.gbInterval);
    ui.rbByDay = new QRadioButton(QStringLiteral("по дням"));
    ui.rbByMonth = new QRadioButton(QStringLiteral("по месяцам"));
    ui.rbByDay->setChecked(true);
    il->addWidget(ui.rbByDay);
    il->addWidget(ui.rbByMonth);
    ui.gbInterval->setEnabled(false);
    form->addRow(ui.gbInterval);
    ui.dtpMaxLost = NewTimeEdit(QTime(0, 3, 0));
    form->addRow(QStringLiteral("Максимальная потеря данных"), ui.dtpMaxLost);
    ui.edDeltaF = new QSpinBox;
    ui.edDeltaF->setRange(TFuelCharges::MinThreshold, TFuelCharges::MaxThreshold);
    ui.edDeltaF->setValue(TFuelCharges::DefaultThreshold);
    form->addRow(QStringLiteral("Изменение показаний (мВ)"), ui.edDeltaF);
    auto *avg = new QWidget;
    auto *al = new QHBoxLayout(avg);
    al->setContentsMargins(0, 0, 0, 0);
    ui.eAvgPeriod = new QLineEdit(QStringLiteral("60"));
    ui.eAvgPeriod->setValidator(new QIntValidator(0, 100000, ui.eAvgPeriod));
    al->addWidget(ui.eAvgPeriod);
    al->addWidget(new QLabel(QStringLiteral("мин.")));
    auto *avgLabel = new QLabel(QStringLiteral("Интервал усреднения граничных значений"));
    avgLabel->setWordWrap(true);
    form->addRow(avgLabel, avg);
    ui.cbDetectCharges = new QCheckBox(QStringLiteral("Определить заправки"));
    ui.cbDetectCharges->setChecked(true);
    ui.cbDetectCharges->setToolTip(QStringLiteral(
        "Определение заправок достаточно выполнить только 1 раз за период. Если определение "
        "заправок не было выполнено, то учет расхода топлива будет работать некорректно."));
    form->addRow(ui.cbDetectCharges);
    ui.cbLegend = new QCheckBox(QStringLiteral("легенда"));
    form->addRow(ui.cbLegend);
    pl->addWidget(params);
    ui.btnQuery = new QPushButton(QStringLiteral("Выполнить запрос"));
    ui.btnExport = new QPushButton(QStringLiteral("Сформировать отчет (Excel)"));
    ui.btnSettings = new QPushButton(QStringLiteral("Настройки ..."));
    ui.btnExit = new QPushButton(QStringLiteral("Выход"));
    for (QPushButton *b : {ui.btnQuery, ui.btnExport, ui.btnSettings, ui.btnExit})
        pl->addWidget(b);
    pl->addStretch(1);
    ui.progress = new QProgressBar;
    ui.progress->setTextVisible(false);
    ui.btnCancel = new QPushButton(QStringLiteral("Отмена"));
    pl->addWidget(ui.progress);
    pl->addWidget(ui.btnCancel);
    ui.progress->hide();
    ui.btnCancel->hide();
    root->addWidget(panel);

    connect(ui.btnQuery, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnQueryClick(); }); });
    connect(ui.btnExport, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnExportClick(); }); });
    connect(ui.btnSettings, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnSettingsClick(); }); });
    connect(ui.btnExit, &QPushButton::clicked, this, &QDialog::close);
    connect(ui.btnCancel, &QPushButton::clicked, &m_part, &TReportsPart::cancel);
    connect(ui.rbChart, &QRadioButton::toggled, this,
            [this] { m_guard.run([&] { viewChanged(); }); });
    connect(ui.rbByMonth, &QRadioButton::toggled, this, [this](bool) {
        if (ui.rbChart->isChecked())
            m_guard.run([&] { btnQueryClick(); });
    });
    connect(ui.cbChartParam, &QComboBox::currentIndexChanged, this, [this](int) {
        if (ui.rbChart->isChecked() && ui.cbChartParam->count() > 0)
            m_guard.run([&] { btnQueryClick(); });
    });
    connect(ui.cbLegend, &QCheckBox::toggled, this, [this](bool on) {
        ui.gbLegend->setVisible(on);
        ui.gbLegend->setFixedHeight(on ? 330 : 0);
    });
}

void TfmObjectsSetData::Open() {
    const QDate today = QDate::currentDate();
    ui.dtpStart->setDate(today);
    ui.dtpEnd->setDate(today);
    fillTree();
    setColumns();
    m_assigned.entries.clear();
    showList();
    m_table.setGrid({m_columns, {}, {}, {}, -1});
    m_queryObjList.clear();
    show();
    raise();
    activateWindow();
}

void TfmObjectsSetData::fillTree() {
    ui.tvAvailibleObjects->clear();
    m_nodes.clear();
    m_free.clear();
    TManager *registry = m_part.registry();
    if (!registry)
        return;
    m_free = FreeObjects(*registry);
    std::function<void(const TSetNode &, QTreeWidgetItem *)> add = [&](const TSetNode &n,
                                                                       QTreeWidgetItem *parent) {
        auto *item =
            parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(ui.tvAvailibleObjects);
        item->setText(0, n.text);
        TSetNode flat = n;
        flat.children.clear();
        item->setData(0, kNodeRole, int(m_nodes.size()));
        m_nodes.push_back(flat);
        for (const TSetNode &c : n.children)
            add(c, item);
    };
    for (const TSetNode &top : AvailableTree(*registry))
        add(top, nullptr);
    ui.tvAvailibleObjects->expandToDepth(1);
}

void TfmObjectsSetData::showList() {
    ui.lbAssignObjects->clear();
    for (const TSetEntry &e : m_assigned.entries)
        ui.lbAssignObjects->addItem(e.text);
}

void TfmObjectsSetData::setColumns() {
    m_columns = m_part.setColumns();
    m_table.setGrid({m_columns, {}, {}, {}, -1});
    // At least 100 wide, wider when the caption needs it.
    ui.ngSetCalcParams->resizeColumnsToContents();
    for (int c = 0; c < int(m_columns.size()); ++c)
        ui.ngSetCalcParams->setColumnWidth(c, std::max(ui.ngSetCalcParams->columnWidth(c), 100));
}

void TfmObjectsSetData::dropTreeSelection() {
    std::vector<TSetNode> nodes;
    for (QTreeWidgetItem *item : ui.tvAvailibleObjects->selectedItems()) {
        const int i = item->data(0, kNodeRole).toInt();
        if (i >= 0 && i < int(m_nodes.size()))
            nodes.push_back(m_nodes[size_t(i)]);
    }
    m_assigned.dropNodes(nodes, m_free);
    showList();
}

void TfmObjectsSetData::removeSelectedEntries() {
    std::vector<int> rows;
    for (QListWidgetItem *item : ui.lbAssignObjects->selectedItems())
        rows.push_back(ui.lbAssignObjects->row(item));
    m_assigned.remove(rows);
    showList();
}

void TfmObjectsSetData::swapEntries(int a, int b) {
    m_assigned.swap(a, b);
    showList();
    ui.lbAssignObjects->setCurrentRow(a);
}

TSetParams TfmObjectsSetData::params() const {
    TSetParams p;
    p.start = ui.dtpStart->date();
    p.end = ui.dtpEnd->date();
    p.byMonth = ui.rbByMonth->isChecked();
    const QTime t = ui.dtpMaxLost->time();
    p.maxLost = dt::encodeTime(t.hour(), t.minute(), t.second());
    p.threshold = QString::number(ui.edDeltaF->value());
    p.avgPeriod = ui.eAvgPeriod->text();
    p.detect = ui.cbDetectCharges->isChecked();
    return p;
}

void TfmObjectsSetData::viewChanged() {
    const bool chart = ui.rbChart->isChecked();
    ui.gbInterval->setEnabled(chart);
    ui.cbLegend->setEnabled(!chart);
    if (chart) {
        const QSignalBlocker block(ui.cbChartParam);
        m_chartParams = m_part.chartParams();
        ui.cbChartParam->clear();
        for (const TChartParam &c : m_chartParams)
            ui.cbChartParam->addItem(c.dispName);
        ui.cbChartParam->setCurrentIndex(ui.cbChartParam->count() > 0 ? 0 : -1);
        ui.views->setCurrentIndex(1);
        ui.chart->chart()->setTitle(ui.cbChartParam->currentText());
    } else {
        ui.views->setCurrentIndex(0);
    }
    btnQueryClick();
}

void TfmObjectsSetData::btnQueryClick() {
    if (m_part.running())
        return;
    m_lastParams = params();
    m_queryObjList.clear();
    if (ui.rbChart->isChecked()) {
        ui.chart->chart()->removeAllSeries();
        ui.chart->chart()->setTitle(ui.cbChartParam->currentText());
        m_part.startSetChart(m_assigned.entries, m_lastParams, ui.cbChartParam->currentText());
    } else {
        m_part.startSetTable(m_assigned.entries, m_lastParams, m_columns);
    }
}

void TfmObjectsSetData::onRunning(bool running) {
    if (!isVisible())
        return;
    ui.btnQuery->setEnabled(!running);
    ui.progress->setVisible(running);
    ui.btnCancel->setVisible(running);
    ui.progress->setRange(0, 0);
    if (running && !m_busyCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_busyCursor = true;
    } else if (!running && m_busyCursor) {
        QApplication::restoreOverrideCursor();
        m_busyCursor = false;
    }
}

void TfmObjectsSetData::onTable(const TReportGrid &table, const QStringList &objList) {
    m_table.setGrid(table);
    m_queryObjList = objList;
    ui.ngSetCalcParams->resizeColumnsToContents();
    for (int c = 0; c < table.columnCount(); ++c)
        ui.ngSetCalcParams->setColumnWidth(c, std::max(ui.ngSetCalcParams->columnWidth(c), 90));
}

void TfmObjectsSetData::onChart(const TSetChart &data) {
    m_chart = data;
    QChart *chart = ui.chart->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *a : chart->axes())
        chart->removeAxis(a);
    chart->setTitle(data.title);
    // The categories: every label of every series, in the order they first appear.
    QStringList categories;
    for (const TBarSeries &s : data.series)
        for (const QString &l : s.labels)
            if (!categories.contains(l))
                categories << l;
    auto *series = new QBarSeries;
    series->setLabelsVisible(true);
    int index = 0;
    series->setLabelsFormat(QStringLiteral("@value"));
    double hi = 0;
    for (const TBarSeries &s : data.series) {
        auto *set = new QBarSet(s.title);
        // A colour of its own per series, the hues spread so neighbours differ; a random start.
        static const int start = QRandomGenerator::global()->bounded(360);
        set->setColor(QColor::fromHsv((start + index++ * 137) % 360, 170, 200));
        for (const QString &c : categories) {
            const int i = s.labels.indexOf(c);
            const double value = i >= 0 ? s.values[size_t(i)] : 0;
            set->append(std::round(value * 1000) / 1000);
            hi = std::max(hi, value);
        }
        series->append(set);
    }
    chart->addSeries(series);
    auto *x = new QBarCategoryAxis;
    x->append(categories);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto *y = new QValueAxis;
    y->setRange(0, hi > 0 ? hi * 1.15 : 1);
    y->applyNiceNumbers();
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
}

void TfmObjectsSetData::btnSettingsClick() {
    TfmCalcGridFields f(m_part.mainDatabase(), true, m_dialogs, this);
    f.exec();
    if (!f.editor().changed())
        return;
    setColumns();
    if (!ui.rbChart->isChecked() && !m_assigned.entries.empty())
        m_part.startSetTable(m_assigned.entries, m_lastParams, m_columns,
                             QStringLiteral("Редактирование списка отображаемых параметров"));
}

void TfmObjectsSetData::btnExportClick() {
    if (!m_part.setExportAllowed(m_queryObjList))
        return;
    const QStringList missing = m_part.setExportMissing(m_queryObjList, m_lastParams);
    if (missing.isEmpty()) {
        exportNow();
        return;
    }
    auto *need = new TfmNeedDataFiles(missing, this);
    connect(need, &TfmNeedDataFiles::continueRequested, this,
            [this] { m_guard.run([&] { exportNow(); }); });
    need->show();
}

void TfmObjectsSetData::exportNow() {
    std::optional<TReportChart> chart;
    if (ui.rbChart->isChecked() && !m_chart.series.empty()) {
        TReportChart c;
        c.title = m_chart.title;
        c.series = m_chart.series;
        chart = c;
    }
    m_part.exportSetTable(m_table.grid(), m_lastParams, chart);
}

void TfmObjectsSetData::closeEvent(QCloseEvent *e) {
    m_queryObjList.clear();
    QDialog::closeEvent(e);
}

void TfmObjectsSetData::resizeEvent(QResizeEvent *e) {
    QDialog::resizeEvent(e);
    if (!m_listPanel)
        return;
    const int h = m_listPanel->height();
    ui.tvAvailibleObjects->setFixedHeight(int(std::lround(h * 0.4675)));
    ui.lbAssignObjects->setFixedHeight(int(std::lround(h * 0.47)));
}
