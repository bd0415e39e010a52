#include "ui/DataForm.h"
#include "ui/DateEdits.h"
#include "ui/WindowFit.h"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeAxis>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QToolTip>
#include <QValueAxis>

#include <cmath>

#include "app/Dialogs.h"
#include "app/OptionsIO.h"
#include "db/GroupManager.h"
#include "reports/FuelCharges.h"
#include "ui/ParamCatalogueForms.h"
#include "ui/StateGrid.h"

namespace {

qint64 msecsOf(TDateTime t) {
    return dt::toQDateTime(t).toMSecsSinceEpoch();
}

TDateTime fromMsecs(qreal ms) {
    return dt::fromQDateTime(QDateTime::fromMSecsSinceEpoch(qint64(ms)));
}

QTableView *makeGrid(QAbstractItemModel *model) {
    auto *v = new QTableView;
    v->setModel(model);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    v->horizontalHeader()->setMinimumHeight(48);
    v->verticalHeader()->setDefaultSectionSize(22);
    v->setWordWrap(false);
    return v;
}

} // namespace

void TLampDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const {
    const QVariant lamp = index.data(TReportGridModel::LampRole);
    if (!lamp.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
    } else {
        if (option.state & QStyle::State_Selected)
            painter->fillRect(option.rect, option.palette.highlight());
        const QIcon icon = TSostGridModel::lampIcon(lamp.toInt());
        const QRect r(option.rect.center().x() - 9, option.rect.center().y() - 9, 18, 18);
        icon.paint(painter, r.adjusted(2, 2, -2, -2));
    }
    painter->save();
    painter->setPen(option.palette.color(QPalette::Button));
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

void TAnalogChartView::mousePressEvent(QMouseEvent *e) {
    if (pressed && chart() && chart()->plotArea().contains(e->position()) &&
        e->button() == Qt::LeftButton && !chart()->series().isEmpty())
        pressed(chart()->mapToValue(e->position(), chart()->series().first()));
    QChartView::mousePressEvent(e);
}

// ---------------------------------------------------------------------------------------------

TfmData::TfmData(TReportsPart &part, TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_part(part), m_dialogs(dialogs), m_guard(dialogs) {
    setWindowTitle(QStringLiteral("Данные"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    build();
    connect(&m_part, &TReportsPart::dataQueryDone, this, &TfmData::onDataDone);
    connect(&m_part, &TReportsPart::analogQueryDone, this, &TfmData::onAnalogDone);
    connect(&m_part, &TReportsPart::runningChanged, this, &TfmData::onRunning);
    connect(&m_part, &TReportsPart::progress, this, [this](int done, int total) {
        ui.progress->setRange(0, std::max(total, 0));
        ui.progress->setValue(std::max(done, 0));
    });
    ResizeWithinScreen(this, 1280, 780);
}

TfmData::~TfmData() {
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

void TfmData::build() {
    auto *root = new QHBoxLayout(this);
    ui.pages = new QTabWidget;
    root->addWidget(ui.pages, 1);

    // "Состояния"
    ui.sgSost = makeGrid(&m_sost);
    ui.sgSost->setItemDelegate(new TLampDelegate(ui.sgSost));
    ui.sgSost->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui.sgSost->horizontalHeader(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) {
                QMenu menu;
                menu.addAction(QStringLiteral("Настройки ..."), this, [this] {
                    m_guard.run([&] {
                        TfmSostGridFields f(m_part.mainDatabase(), m_dialogs, this);
                        connect(&f, &TfmCatalogueColumns::columnsChanged, this,
                                &TfmData::rebuildColumns);
                        f.exec();
                    });
                });
                menu.exec(ui.sgSost->horizontalHeader()->mapToGlobal(pos));
            });
    ui.pages->addTab(ui.sgSost, QStringLiteral("Состояния"));

    // "Статистика по суткам": the grid, the trace, the chart of a column.
    auto *daily = new QSplitter(Qt::Vertical);
    ui.sgCalc = makeGrid(&m_calc);
    connect(ui.sgCalc->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TfmData::calcHeaderClicked);
    daily->addWidget(ui.sgCalc);
    auto *lower = new QSplitter(Qt::Horizontal);
    ui.mTraceCalc = new QPlainTextEdit;
    ui.mTraceCalc->setReadOnly(true);
    lower->addWidget(ui.mTraceCalc);
    auto *chart = new QChart;
    chart->legend()->hide();
    ui.chCalc = new QChartView(chart);
    ui.chCalc->setRenderHint(QPainter::Antialiasing);
    lower->addWidget(ui.chCalc);
    lower->setSizes({380, 580});
    daily->addWidget(lower);
    daily->setStretchFactor(0, 3);
    daily->setStretchFactor(1, 2);
    ui.pages->addTab(daily, QStringLiteral("Статистика по суткам"));

    // "Статистика за период"
    auto *period = new QSplitter(Qt::Vertical);
    ui.sgByPeriod = makeGrid(&m_period);
    ui.sgByPeriod->horizontalHeader()->setMinimumHeight(80);
    period->addWidget(ui.sgByPeriod);
    ui.mTracePeriod = new QPlainTextEdit;
    ui.mTracePeriod->setReadOnly(true);
    period->addWidget(ui.mTracePeriod);
    period->setStretchFactor(0, 1);
    period->setStretchFactor(1, 3);
    ui.pages->addTab(period, QStringLiteral("Статистика за период"));

    ui.pages->addTab(buildAnalogPage(), QStringLiteral("Аналоговые величины"));

    // The parameters on the right.
    auto *panel = new QWidget;
    panel->setFixedWidth(300);
    auto *pl = new QVBoxLayout(panel);
    pl->setContentsMargins(4, 0, 0, 0);
    auto *form = new QFormLayout;
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    ui.cbObjNumber = new QComboBox;
    ui.cbObjNumber->setEditable(true);
    form->addRow(QStringLiteral("Номер объекта"), ui.cbObjNumber);
    auto dateTime = [](QDateEdit *&d, QTimeEdit *&t, const QTime &time) {
        auto *w = new QWidget;
        auto *l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        d = NewDateEdit();
        t = NewTimeEdit(time);
        l->addWidget(d);
        l->addWidget(t);
        return w;
    };
    form->addRow(QStringLiteral("С"), dateTime(ui.dtpStartDate, ui.dtpStartTime, QTime(0, 0, 0)));
    form->addRow(QStringLiteral("ПО"), dateTime(ui.dtpEndDate, ui.dtpEndTime, QTime(23, 59, 59)));
    pl->addLayout(form);

    ui.pnMaxLost = new QWidget;
    auto *ml = new QVBoxLayout(ui.pnMaxLost);
    ml->setContentsMargins(0, 0, 0, 0);
    ml->addWidget(new QLabel(QStringLiteral("Максимальная потеря данных:")));
    ui.dtpMaxLostTime = NewTimeEdit(QTime(0, 3, 0));
    ml->addWidget(ui.dtpMaxLostTime);
    pl->addWidget(ui.pnMaxLost);

    ui.pnDetect = new QWidget;
    auto *dl = new QVBoxLayout(ui.pnDetect);
    dl->setContentsMargins(0, 0, 0, 0);
    ui.cbDetectCharges = new QCheckBox(QStringLiteral("Определить заправки"));
    ui.cbDetectCharges->setChecked(true);
    ui.cbDetectCharges->setToolTip(
        QStringLiteral("Оперделение заправок достаточно выполнить только 1 раз за период. "
                       "\r\nЕсли определение заправок не выполнялось, \r\nто учет расхода топлива "
                       "покажет неверные значения в день заправки."));
    dl->addWidget(ui.cbDetectCharges);
    auto *thr = new QHBoxLayout;
    thr->addWidget(new QLabel(QStringLiteral("Изменение показаний (мВ)")));
    ui.edDeltaF = new QSpinBox;
    ui.edDeltaF->setRange(TFuelCharges::MinThreshold, TFuelCharges::MaxThreshold);
    ui.edDeltaF->setValue(TFuelCharges::DefaultThreshold);
    thr->addWidget(ui.edDeltaF);
    dl->addLayout(thr);
    connect(ui.cbDetectCharges, &QCheckBox::toggled, ui.edDeltaF, &QWidget::setEnabled);
    pl->addWidget(ui.pnDetect);

    ui.pnAvg = new QWidget;
    auto *al = new QVBoxLayout(ui.pnAvg);
    al->setContentsMargins(0, 0, 0, 0);
    al->addWidget(new QLabel(QStringLiteral("Интервал усреднения граничных значений")));
    auto *avg = new QHBoxLayout;
    ui.eAvgPeriod = new QLineEdit(QStringLiteral("60"));
    ui.eAvgPeriod->setValidator(new QIntValidator(0, 100000, ui.eAvgPeriod));
    avg->addWidget(ui.eAvgPeriod);
    avg->addWidget(new QLabel(QStringLiteral("мин.")));
    al->addLayout(avg);
    pl->addWidget(ui.pnAvg);

    auto *fmt = new QGroupBox(QStringLiteral("Формат длительности"));
    auto *fl = new QHBoxLayout(fmt);
    ui.rbDays = new QRadioButton(QStringLiteral("Сутки"));
    ui.rbHours = new QRadioButton(QStringLiteral("Часы"));
    ui.rbDays->setChecked(true);
    fl->addWidget(ui.rbDays);
    fl->addWidget(ui.rbHours);
    ui.gbResultFormat = fmt;
    pl->addWidget(fmt);

    ui.cbServerTime = new QCheckBox(QStringLiteral("Время по серверу"));
    ui.cbServerTime->setToolTip(
        QStringLiteral("Начало состояния по времени записи пакета, а не по времени прибора"));
    pl->addWidget(ui.cbServerTime);
    ui.cbDownloadDataFromServer = new QCheckBox(QStringLiteral("Загрузить данные с сервера"));
    pl->addWidget(ui.cbDownloadDataFromServer);

    ui.btnQuery = new QPushButton(QStringLiteral("Выполнить запрос"));
    ui.btnSettings = new QPushButton(QStringLiteral("Настройки ..."));
    ui.btnExport = new QPushButton(QStringLiteral("Экспорт в Excel"));
    pl->addWidget(ui.btnQuery);
    pl->addWidget(ui.btnSettings);
    pl->addWidget(ui.btnExport);
    pl->addStretch(1);
    ui.lbProgress = new QLabel(QStringLiteral("Выполняется запрос..."));
    ui.progress = new QProgressBar;
    ui.progress->setTextVisible(false);
    ui.btnCancel = new QPushButton(QStringLiteral("Отмена"));
    pl->addWidget(ui.lbProgress);
    pl->addWidget(ui.progress);
    pl->addWidget(ui.btnCancel);
    ui.lbProgress->hide();
    ui.progress->hide();
    ui.btnCancel->hide();
    root->addWidget(panel);

    connect(ui.btnQuery, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnQueryClick(); }); });
    connect(ui.btnSettings, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnSettingsClick(); }); });
    connect(ui.btnExport, &QPushButton::clicked, this,
            [this] { m_guard.run([&] { btnExportClick(); }); });
    connect(ui.btnCancel, &QPushButton::clicked, &m_part, &TReportsPart::cancel);
    connect(ui.pages, &QTabWidget::currentChanged, this, &TfmData::pageChanged);
    pageChanged();
}

QWidget *TfmData::buildAnalogPage() {
    auto *page = new QWidget;
    auto *l = new QVBoxLayout(page);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Параметр")));
    ui.cbParams = new QComboBox;
    ui.cbParams->addItems(AnalogParamNames());
    ui.cbParams->setCurrentIndex(apFuelLitres);
    top->addWidget(ui.cbParams);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("Интервал усреднения (чч:мм)")));
    ui.cbAvgTime = new QComboBox;
    ui.cbAvgTime->setEditable(true);
    ui.cbAvgTime->addItems(AveragingChoices());
    ui.cbAvgTime->setCurrentText(QStringLiteral("00:05"));
    top->addWidget(ui.cbAvgTime);
    top->addStretch(1);
    l->addLayout(top);

    auto *split = new QSplitter(Qt::Vertical);
    auto *chartBox = new QWidget;
    auto *cl = new QVBoxLayout(chartBox);
    cl->setContentsMargins(0, 0, 0, 0);
    auto *controls = new QHBoxLayout;
    const auto tool = [&](const QString &text) {
        auto *b = new QToolButton;
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        controls->addWidget(b);
        return b;
    };
    ui.tbZoomIn = tool(QStringLiteral("+"));
    ui.tbZoomOut = tool(QStringLiteral("-"));
    ui.tbZoomReset = tool(QStringLiteral("="));
    ui.cbMarkers = new QCheckBox(QStringLiteral("Маркеры"));
    ui.cbVertical = new QCheckBox(QStringLiteral("Разрешить перемещение и масштаб по вертикали"));
    ui.cbAutoY = new QCheckBox(QStringLiteral("Auto Y"));
    ui.cbAutoY->setChecked(true);
    ui.edMinY = new QDoubleSpinBox;
    ui.edMaxY = new QDoubleSpinBox;
    for (QDoubleSpinBox *s : {ui.edMinY, ui.edMaxY}) {
        s->setDecimals(3);
        s->setRange(-1e9, 1e9);
        s->hide();
    }
    controls->addWidget(ui.cbMarkers);
    controls->addWidget(ui.cbVertical);
    controls->addWidget(ui.cbAutoY);
    controls->addWidget(ui.edMinY);
    controls->addWidget(ui.edMaxY);
    controls->addStretch(1);
    cl->addLayout(controls);

    m_analogChart = new QChart;
    m_analogChart->legend()->setAlignment(Qt::AlignBottom);
    ui.chAnalog = new TAnalogChartView(m_analogChart);
    ui.chAnalog->setRenderHint(QPainter::Antialiasing);
    ui.chAnalog->setRubberBand(QChartView::HorizontalRubberBand);
    ui.chAnalog->setMinimumHeight(260);
    ui.chAnalog->pressed = [this](QPointF v) {
        m_guard.run([&] { chartPressed(fromMsecs(v.x()), v.y()); });
    };
    cl->addWidget(ui.chAnalog, 1);
    ui.sbTime = new QScrollBar(Qt::Horizontal);
    cl->addWidget(ui.sbTime);
    ui.lbChartHint = new QLabel;
    cl->addWidget(ui.lbChartHint);
    auto *edits = new QHBoxLayout;
    const auto editTool = [&](const QString &text) {
        auto *b = new QToolButton;
        b->setText(text);
        edits->addWidget(b);
        return b;
    };
    ui.tbDelCharge = editTool(QStringLiteral("Удалить заправку"));
    ui.tbAddCharge = editTool(QStringLiteral("Добавить заправку"));
    ui.tbMoveStart = editTool(QStringLiteral("Перенести начало заправки"));
    ui.tbMoveEnd = editTool(QStringLiteral("Перенести окончание заправки"));
    ui.tbRefresh = editTool(QStringLiteral("Обновить"));
    edits->addStretch(1);
    cl->addLayout(edits);
    split->addWidget(chartBox);

    auto *bottom = new QSplitter(Qt::Horizontal);
    ui.sgCharges = new QTableView;
    ui.sgCharges->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.sgCharges->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.sgCharges->verticalHeader()->setDefaultSectionSize(22);
    bottom->addWidget(ui.sgCharges);
    ui.lbEditLog = new QListWidget;
    bottom->addWidget(ui.lbEditLog);
    bottom->setStretchFactor(0, 3);
    bottom->setStretchFactor(1, 2);
    split->addWidget(bottom);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    l->addWidget(split, 1);

    connect(ui.tbAddCharge, &QToolButton::clicked, this, [this] { beginMarking(0); });
    connect(ui.tbMoveStart, &QToolButton::clicked, this, [this] { beginMarking(1); });
    connect(ui.tbMoveEnd, &QToolButton::clicked, this, [this] { beginMarking(2); });
    connect(ui.tbRefresh, &QToolButton::clicked, this,
            [this] { m_guard.run([&] { btnQueryClick(); }); });
    connect(ui.tbDelCharge, &QToolButton::clicked, this, [this] {
        m_part.marking().cancel();
        ui.chAnalog->unsetCursor();
        m_guard.run([&] {
            std::vector<int> rows;
            if (ui.sgCharges->selectionModel())
                for (const QModelIndex &i : ui.sgCharges->selectionModel()->selectedRows())
                    rows.push_back(i.row());
            m_part.deleteSelectedCharges(rows);
            drawBars();
        });
    });
    connect(ui.tbZoomIn, &QToolButton::clicked, this, [this] { zoomTime(0.5); });
    connect(ui.tbZoomOut, &QToolButton::clicked, this, [this] { zoomTime(2); });
    connect(ui.tbZoomReset, &QToolButton::clicked, this, &TfmData::resetTime);
    connect(ui.cbVertical, &QCheckBox::toggled, this, [this](bool on) {
        ui.chAnalog->setRubberBand(on ? QChartView::RectangleRubberBand
                                      : QChartView::HorizontalRubberBand);
    });
    connect(ui.cbMarkers, &QCheckBox::toggled, this, [this](bool on) {
        for (QAbstractSeries *s : m_analogChart->series())
            if (auto *line = qobject_cast<QLineSeries *>(s);
                line && line->property("value").toBool())
                line->setPointsVisible(on);
    });
    connect(ui.cbAutoY, &QCheckBox::toggled, this, &TfmData::updateAutoY);
    connect(ui.edMinY, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!ui.cbAutoY->isChecked() && m_axisY)
            m_axisY->setMin(v);
    });
    connect(ui.edMaxY, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        if (!ui.cbAutoY->isChecked() && m_axisY)
            m_axisY->setMax(v);
    });
    return page;
}

// ---------------------------------------------------------------------------------------------

void TfmData::Open(int object) {
    ui.cbObjNumber->clear();
    if (TManager *r = m_part.registry()) {
        const TObjectPickList list = r->ObjListToComboBox();
        int selected = list.selected;
        for (size_t i = 0; i < list.entries.size(); ++i) {
            ui.cbObjNumber->addItem(list.entries[i].text, list.entries[i].number);
            if (list.entries[i].number == object)
                selected = int(i);
        }
        ui.cbObjNumber->setCurrentIndex(selected);
    }
    const QDate today = QDate::currentDate();
    ui.dtpStartDate->setDate(today);
    ui.dtpEndDate->setDate(today);
    setColumns();
    m_sost.clearRows();
    m_calc.clearRows();
    m_period.clearRows();
    ui.mTraceCalc->clear();
    ui.mTracePeriod->clear();
    show();
    raise();
    activateWindow();
}

void TfmData::showEvent(QShowEvent *e) {
    QDialog::showEvent(e);
    ui.chCalc->chart()->removeAllSeries();
    ui.chCalc->chart()->setTitle(DailyChartHint());
    ui.eAvgPeriod->setText(QStringLiteral("60"));
}

void TfmData::setColumns() {
    m_sostColumns = m_part.sostColumns();
    m_calcColumns = m_part.calcColumns();
    TReportGrid s;
    s.columns = m_sostColumns;
    m_sost.setGrid(s);
    applyWidths(ui.sgSost, m_sost);
    TReportGrid c;
    c.columns = m_calcColumns;
    m_calc.setGrid(c);
    applyWidths(ui.sgCalc, m_calc);
    TReportGrid p;
    p.columns = FormByPeriodGridCols();
    m_period.setGrid(p);
    applyWidths(ui.sgByPeriod, m_period);
}

void TfmData::applyWidths(QTableView *view, const TReportGridModel &model) {
    // The stored width, widened where the title or the texts would be cut.
    view->resizeColumnsToContents();
    for (int c = 0; c < model.columnCount(); ++c)
        view->setColumnWidth(
            c, std::min(std::max(model.grid().columns[size_t(c)].width, view->columnWidth(c) + 8),
                        320));
}

void TfmData::rebuildColumns() {
    setColumns();
    if (m_sost.grid().object >= 0 || m_calc.grid().object >= 0)
        rerun(QStringLiteral("Редактирование списка отображаемых параметров"));
}

TDataPage TfmData::page() const {
    return TDataPage(ui.pages->currentIndex());
}

void TfmData::pageChanged() {
    const TDataPage p = page();
    const bool stats = p == TDataPage::Daily || p == TDataPage::Period;
    ui.btnSettings->setVisible(p == TDataPage::Daily);
    ui.btnExport->setVisible(p != TDataPage::Analog);
    ui.gbResultFormat->setVisible(stats);
    ui.pnMaxLost->setVisible(p != TDataPage::Analog);
    ui.pnDetect->setVisible(stats);
    ui.pnAvg->setVisible(stats);
    ui.cbServerTime->setVisible(p == TDataPage::States);
    m_part.marking().cancel();
}

TDataParams TfmData::params() const {
    TDataParams p;
    bool ok = false;
    p.object = ui.cbObjNumber->currentText().trimmed().toInt(&ok);
    p.start =
        dt::encodeDate(ui.dtpStartDate->date()) +
        dt::timeOf(dt::fromQDateTime(QDateTime(QDate(1899, 12, 30), ui.dtpStartTime->time())));
    p.end = dt::encodeDate(ui.dtpEndDate->date()) +
            dt::timeOf(dt::fromQDateTime(QDateTime(QDate(1899, 12, 30), ui.dtpEndTime->time())));
    const QTime lost = ui.dtpMaxLostTime->time();
    p.maxLost = dt::encodeTime(lost.hour(), lost.minute(), lost.second());
    p.threshold = QString::number(ui.edDeltaF->value());
    p.detect = ui.cbDetectCharges->isChecked();
    p.avgPeriod = ui.eAvgPeriod->text();
    p.formatDays = ui.rbDays->isChecked();
    return p;
}

bool TfmData::objectNumber(int &number, const QString &caption, TMsgIcon icon) {
    bool ok = false;
    const QString text = ui.cbObjNumber->currentText();
    number = text.trimmed().toInt(&ok);
    if (!ok)
        m_dialogs.message(QStringLiteral("Неверно указан номер объекта \"") + text +
                              QStringLiteral("\"."),
                          caption, icon);
    return ok;
}

void TfmData::btnQueryClick() {
    if (m_part.running() || m_part.downloadPending())
        return;
    m_part.marking().cancel();
    const TDataPage p = page();
    int object = 0;
    if (p == TDataPage::Analog) {
        if (!objectNumber(object, options::ApplicationTitle(), TMsgIcon::Warning))
            return;
        int minutes = 0;
        if (!AveragingMinutes(ui.cbAvgTime->currentText(), minutes)) {
            m_dialogs.message(QStringLiteral("Неверно указан интервал усреднения"),
                              options::ApplicationTitle(), TMsgIcon::Error);
            return;
        }
        const TDataParams dp = params();
        TAnalogParams ap;
        ap.object = object;
        ap.param = ui.cbParams->currentIndex();
        ap.start = dp.start;
        ap.end = dp.end;
        ap.minutes = minutes;
        ap.maxLost = dp.maxLost;
        m_lastParam = ap.param;
        m_analogStart = ap.start;
        m_analogEnd = ap.end;
        ui.lbEditLog->clear();
        if (ui.sgCharges->model() != &m_part.analogCharges()) {
            ui.sgCharges->setModel(&m_part.analogCharges());
            for (int c = 0; c < TFuelCharges::ColumnCount; ++c)
                ui.sgCharges->setColumnWidth(c, TFuelCharges::columnWidth(c) + 20);
            connect(ui.sgCharges->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                    [this](const QModelIndex &i) { selectCharge(i.row()); });
        }
        m_part.startAnalogQuery(ap);
        return;
    }
    if (!objectNumber(object, QStringLiteral("Запрос статистики"), TMsgIcon::Warning))
        return;
    m_lastParams = params();
    std::vector<TGridColumn> columns = p == TDataPage::States ? m_sostColumns : m_calcColumns;
    if (p == TDataPage::States && ui.cbServerTime->isChecked())
        columns[0].field = QStringLiteral("OUT_PCTIME");
    // The widths the user gave the state columns stay.
    if (p == TDataPage::States)
        for (size_t c = 0; c < columns.size(); ++c)
            columns[c].width = ui.sgSost->columnWidth(int(c));
    m_part.startDataQuery(p, m_lastParams, columns, ui.cbDownloadDataFromServer->isChecked());
}

void TfmData::rerun(const QString &errorCaption) {
    const TDataPage p = page();
    if (p != TDataPage::States && p != TDataPage::Daily)
        return;
    m_part.startDataQuery(p, m_lastParams, p == TDataPage::States ? m_sostColumns : m_calcColumns,
                          false, errorCaption);
}

void TfmData::onRunning(bool running) {
    ui.btnQuery->setEnabled(!running);
    ui.tbRefresh->setEnabled(!running);
    ui.lbProgress->setVisible(running);
    ui.progress->setVisible(running);
    ui.btnCancel->setVisible(running);
    ui.progress->setRange(0, 0);
    if (running && !m_busyCursor) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busyCursor = true;
    } else if (!running && m_busyCursor) {
        QApplication::restoreOverrideCursor();
        m_busyCursor = false;
    }
}

void TfmData::onDataDone(TDataPage p, const TReportGrid &grid, const QStringList &trace) {
    switch (p) {
    case TDataPage::States: {
        TReportGrid g = grid;
        g.columns = m_sostColumns;
        m_sost.setGrid(g);
        applyWidths(ui.sgSost, m_sost);
        break;
    }
    case TDataPage::Daily:
        m_calc.setGrid(grid);
        applyWidths(ui.sgCalc, m_calc);
        ui.mTraceCalc->setPlainText(trace.join(QLatin1Char('\n')));
        if (m_chartColumn >= 0)
            calcHeaderClicked(m_chartColumn);
        break;
    case TDataPage::Period:
        m_period.setGrid(grid);
        applyWidths(ui.sgByPeriod, m_period);
        ui.mTracePeriod->setPlainText(trace.join(QLatin1Char('\n')));
        break;
    case TDataPage::Analog:
        break;
    }
}

void TfmData::calcHeaderClicked(int column) {
    m_chartColumn = column;
    m_dailyChart = DailyChart(m_calc.grid(), column);
    showDailyChart();
}

void TfmData::showDailyChart() {
    QChart *chart = ui.chCalc->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *a : chart->axes())
        chart->removeAxis(a);
    chart->setTitle(m_dailyChart.title);
    if (!m_dailyChart.hasSeries)
        return;
    auto *series = new QLineSeries;
    series->setColor(m_dailyChart.colour == TDailyChart::Green ? Qt::darkGreen : Qt::blue);
    series->setPointsVisible(true);
    series->setMarkerSize(3);
    const qint64 base = QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    for (const QPointF &pt : m_dailyChart.points)
        series->append(double(msecsOf(pt.x())),
                       m_dailyChart.timeAxis ? double(base) + pt.y() * dt::MsPerDay : pt.y());
    chart->addSeries(series);
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("dd.MM"));
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    if (!m_dailyChart.points.empty()) {
        const double first = m_dailyChart.points.front().x();
        const double last = m_dailyChart.points.back().x();
        // Whole days on the axis: a tick at every midnight while they fit.
        const int days = int(std::lround(last - first)) + 2;
        x->setRange(dt::toQDateTime(first - 1), dt::toQDateTime(last + 1));
        x->setTickCount(days < 10 ? days + 1 : 10);
    }
    if (m_dailyChart.timeAxis) {
        auto *y = new QDateTimeAxis;
        y->setFormat(QStringLiteral("HH:mm"));
        y->setRange(QDateTime::fromMSecsSinceEpoch(base),
                    QDateTime::fromMSecsSinceEpoch(base + qint64(dt::MsPerDay)));
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(y);
    } else {
        auto *y = new QValueAxis;
        double hi = 0;
        for (const QPointF &pt : m_dailyChart.points)
            hi = std::max(hi, pt.y());
        y->setRange(0, hi > 0 ? hi * 1.1 : 1);
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(y);
    }
}

void TfmData::btnSettingsClick() {
    TfmCalcGridFields f(m_part.mainDatabase(), false, m_dialogs, this);
    f.exec();
    if (!f.editor().changed())
        return;
    setColumns();
    if (m_calc.grid().object >= 0 || m_lastParams.object > 0)
        rerun(QStringLiteral("Редактирование списка отображаемых параметров"));
}

void TfmData::btnExportClick() {
    const TDataPage p = page();
    const TReportGrid &grid = p == TDataPage::States  ? m_sost.grid()
                              : p == TDataPage::Daily ? m_calc.grid()
                                                      : m_period.grid();
    std::optional<TReportChart> chart;
    if (p == TDataPage::Daily && m_dailyChart.hasSeries) {
        TReportChart c;
        c.title = m_dailyChart.title;
        c.bars = false;
        c.timeAxis = m_dailyChart.timeAxis;
        TBarSeries s;
        s.title = m_dailyChart.title;
        for (const QPointF &pt : m_dailyChart.points) {
            s.labels << dt::dateToStr(pt.x());
            s.values.push_back(pt.y());
        }
        c.series.push_back(s);
        c.colours.push_back(m_dailyChart.colour == TDailyChart::Green ? QColor(Qt::darkGreen)
                                                                      : QColor(Qt::blue));
        chart = c;
    }
    m_part.exportDataPage(p, grid, grid.object >= 0 ? m_lastParams : params(), chart);
}

void TfmData::closeEvent(QCloseEvent *e) {
    m_guard.run([&] {
        std::vector<TGridColumn> cols = m_sostColumns;
        for (size_t c = 0; c < cols.size(); ++c)
            cols[c].width = ui.sgSost->columnWidth(int(c));
        if (m_part.databaseConnected())
            m_part.saveSostColumnWidths(cols);
    });
    ui.chCalc->chart()->removeAllSeries();
    m_part.marking().cancel();
    QDialog::closeEvent(e);
}

// ---------------------------------------------------------------------------------------------
// The analog page

void TfmData::onAnalogDone(const TAnalogResult &r) {
    m_analog = r;
    drawAnalog();
}

void TfmData::drawAnalog() {
    QChart *chart = m_analogChart;
    chart->removeAllSeries();
    m_barSeries.clear();
    for (QAbstractAxis *a : chart->axes())
        chart->removeAxis(a);
    chart->setTitle(ui.cbParams->itemText(m_analog.param) + QStringLiteral(", объект ") +
                    ui.cbObjNumber->currentText());
    m_axisX = new QDateTimeAxis;
    m_axisX->setFormat(QStringLiteral("dd.MM HH:mm"));
    m_axisX->setRange(dt::toQDateTime(m_analogStart), dt::toQDateTime(m_analogEnd));
    chart->addAxis(m_axisX, Qt::AlignBottom);
    m_axisY = new QValueAxis;
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_axisBands = new QCategoryAxis;
    m_axisBands->setRange(0, 10);
    m_axisBands->append(QStringLiteral("бак"), 0.6);
    m_axisBands->append(QStringLiteral("двиг."), 1.2);
    m_axisBands->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    chart->addAxis(m_axisBands, Qt::AlignRight);

    const auto line = [&](const QString &name, const QColor &colour, bool visible) {
        auto *s = new QLineSeries;
        s->setName(name);
        s->setColor(colour);
        s->setProperty("value", true);
        chart->addSeries(s);
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        s->setVisible(visible);
        return s;
    };
    QLineSeries *avg = line(QStringLiteral("Среднее значение"), Qt::black, true);
    QLineSeries *mn = line(QStringLiteral("Минимальное значение"), Qt::blue, false);
    QLineSeries *mx = line(QStringLiteral("Максимальное значение"), Qt::darkRed, false);
    QLineSeries *norm = line(QStringLiteral("Нормированные значения"), QColor(0, 0, 128), true);
    norm->setProperty("value", false);
    double lo = 0, hi = 0;
    bool any = false;
    for (const GraphPoint &p : m_analog.points) {
        const double x = double(msecsOf(p.dt));
        avg->append(x, p.avg);
        mn->append(x, p.Min);
        mx->append(x, p.Max);
        lo = any ? std::min(lo, p.Min) : p.Min;
        hi = any ? std::max(hi, p.Max) : p.Max;
        any = true;
    }
    for (const GraphPoint &p : m_analog.normalised) {
        norm->append(double(msecsOf(p.dt)), p.Max);
        lo = any ? std::min(lo, p.Max) : p.Max;
        hi = any ? std::max(hi, p.Max) : p.Max;
        any = true;
    }
    if (m_analog.normalised.empty())
        chart->removeSeries(norm), delete norm;
    for (QLineSeries *s : {avg, mn, mx})
        s->setPointsVisible(ui.cbMarkers->isChecked());

    // The bands: one thick line per stretch of one colour, merged where they touch.
    const auto bands = [&](const std::vector<TBand> &list, double y, const QString &name) {
        static const QColor colours[] = {Qt::gray, QColor(0, 170, 0), Qt::blue, Qt::darkCyan,
                                         Qt::red};
        bool first = true;
        for (size_t i = 0; i < list.size();) {
            size_t j = i;
            while (j + 1 < list.size() && list[j + 1].colour == list[i].colour)
                ++j;
            auto *s = new QLineSeries;
            s->setName(name);
            s->setPen(QPen(colours[list[i].colour], 8, Qt::SolidLine, Qt::FlatCap));
            s->append(double(msecsOf(list[i].from)), y);
            s->append(double(msecsOf(list[j].to)), y);
            chart->addSeries(s);
            s->attachAxis(m_axisX);
            s->attachAxis(m_axisBands);
            const auto markers = chart->legend()->markers(s);
            for (QLegendMarker *m : markers)
                m->setVisible(first);
            first = false;
            i = j + 1;
        }
    };
    bands(m_analog.engine, 1.2, QStringLiteral("Работа двигателя"));
    bands(m_analog.tank, 0.6, QStringLiteral("Крышка бензобака"));
    for (const TChargeBar &b : m_analog.bars)
        hi = std::max(hi, b.height);
    if (!any)
        hi = lo + 1;
    m_axisY->setRange(std::min(lo, 0.0), hi + (hi - std::min(lo, 0.0)) * 0.05 + 1e-9);
    drawBars();
    updateAutoY();
    updateScroll();
}

void TfmData::drawBars() {
    QChart *chart = m_analogChart;
    for (QLineSeries *s : m_barSeries) {
        chart->removeSeries(s);
        delete s;
    }
    m_barSeries.clear();
    if (!m_axisX)
        return;
    std::vector<TChargeBar> bars = m_analog.bars;
    if (m_pendingBar)
        bars.push_back(*m_pendingBar);
    bool first = true;
    for (const TChargeBar &b : bars) {
        auto *s = new QLineSeries;
        s->setName(QStringLiteral("Заправки"));
        QColor c = b.opening ? Qt::red : Qt::blue;
        if (b.opening && b.at == m_selectedOpen)
            c = Qt::magenta; // fuchsia
        if (!b.opening && b.at == m_selectedClose)
            c = Qt::cyan; // aqua
        s->setPen(QPen(c, 4));
        s->append(double(msecsOf(b.at)), 0);
        s->append(double(msecsOf(b.at)), b.height);
        chart->addSeries(s);
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        for (QLegendMarker *m : chart->legend()->markers(s))
            m->setVisible(first);
        first = false;
        m_barSeries.push_back(s);
    }
}

void TfmData::selectCharge(int row) {
    TFuelCharges &charges = m_part.analogCharges();
    charges.setCurrentRow(row);
    const TFuelChargeRow *r = charges.current();
    m_selectedOpen = r ? r->openTs : -1;
    m_selectedClose = r && r->closeTs ? *r->closeTs : -1;
    drawBars();
}

void TfmData::beginMarking(int what) {
    TChargeMarking &m = m_part.marking();
    const bool ok = what == 0 ? m.beginAdd(m_lastParam) : m.beginMove(what == 1, m_lastParam);
    if (ok)
        ui.chAnalog->setCursor(Qt::PointingHandCursor);
}

void TfmData::chartPressed(TDateTime time, double value) {
    bool ok = false;
    const int object = ui.cbObjNumber->currentText().trimmed().toInt(&ok);
    if (!ok || m_lastParam != apFuelLitres)
        return;
    const QString hint = TChargeMarking::Hint(time, value);
    if (ui.chAnalog->cursor().shape() == Qt::PointingHandCursor) {
        ui.chAnalog->setToolTip(hint);
        ui.lbChartHint->setText(hint);
    }
    TChargeMarking::TClick c = m_part.marking().click(object, m_lastParam, time, value);
    if (!c.taken)
        return;
    m_pendingBar = c.bar;
    if (c.bar) {
        drawBars();
        return;
    }
    m_pendingBar.reset();
    ui.chAnalog->unsetCursor();
    ui.chAnalog->setToolTip(QString());
    if (!c.error.isEmpty()) {
        ui.lbChartHint->setText(c.error);
        return;
    }
    ui.lbEditLog->clear();
    ui.lbEditLog->addItems(m_part.marking().log);
    // The grid was read again; the chart draws the new bars with the page's query.
    const QStringList log = m_part.marking().log;
    m_guard.run([&] { btnQueryClick(); });
    m_part.marking().log = log;
    ui.lbEditLog->clear();
    ui.lbEditLog->addItems(log);
}

void TfmData::updateAutoY() {
    const bool autoY = ui.cbAutoY->isChecked();
    ui.edMinY->setVisible(!autoY);
    ui.edMaxY->setVisible(!autoY);
    if (!m_axisY)
        return;
    if (autoY) {
        m_axisY->applyNiceNumbers();
    } else {
        ui.edMinY->setValue(m_axisY->min());
        ui.edMaxY->setValue(m_axisY->max());
    }
}

void TfmData::zoomTime(double factor) {
    if (!m_axisX)
        return;
    const qint64 a = m_axisX->min().toMSecsSinceEpoch(), b = m_axisX->max().toMSecsSinceEpoch();
    const qint64 mid = (a + b) / 2, half = qint64((b - a) * factor / 2);
    m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(mid - half),
                      QDateTime::fromMSecsSinceEpoch(mid + half));
    updateScroll();
}

void TfmData::resetTime() {
    if (!m_axisX)
        return;
    m_analogChart->zoomReset();
    m_axisX->setRange(dt::toQDateTime(m_analogStart), dt::toQDateTime(m_analogEnd));
    updateScroll();
}

void TfmData::updateScroll() {
    if (!m_axisX)
        return;
    const double whole = std::max(1.0, double(msecsOf(m_analogEnd) - msecsOf(m_analogStart)));
    const double visible =
        double(m_axisX->max().toMSecsSinceEpoch() - m_axisX->min().toMSecsSinceEpoch());
    const int page = std::clamp(int(1000 * visible / whole), 1, 1000);
    ui.sbTime->setRange(0, 1000 - page);
    ui.sbTime->setPageStep(page);
    ui.sbTime->setValue(
        int(1000 * double(m_axisX->min().toMSecsSinceEpoch() - msecsOf(m_analogStart)) / whole));
}
