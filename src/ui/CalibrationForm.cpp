#include "ui/CalibrationForm.h"
#include "ui/WindowFit.h"

#include <QChart>
#include <QChartView>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

#include "app/ErrorGuard.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/ReportTexts.h"
#include "session/FuelPart.h"

namespace {

const QColor kSeriesColour(Qt::red);
const QColor kCurrentColour(Qt::blue);
constexpr int kMarker = 9;

// A square point marker of the colour, outlined.
QImage squareMarker(const QColor &colour) {
    QImage img(kMarker, kMarker, QImage::Format_ARGB32_Premultiplied);
    img.fill(colour);
    QPainter p(&img);
    p.setPen(colour.darker(150));
    p.drawRect(0, 0, kMarker - 1, kMarker - 1);
    return img;
}

} // namespace

// ---- the point dialog

TfrmCalibrationAddEdit::TfrmCalibrationAddEdit(QWidget *parent) : QDialog(parent) {
    edSensor = new QLineEdit;
    edVolume = new QLineEdit;
    btnOk = new QPushButton(QStringLiteral("OK"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnOk->setDefault(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Показания датчика, АЦП"), edSensor);
    form->addRow(QStringLiteral("Объем топлива, л"), edVolume);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmCalibrationAddEdit::Ask(QWidget *parent, const QString &caption, QString &sensor,
                                 QString &volume) {
    TfrmCalibrationAddEdit dlg(parent);
    dlg.setWindowTitle(caption);
    dlg.edSensor->setText(sensor);
    dlg.edVolume->setText(volume);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    sensor = dlg.edSensor->text();
    volume = dlg.edVolume->text();
    return true;
}

// ---- the table window

TfmCalibration::TfmCalibration(TFuelPart &session, TErrorGuard &guard, QWidget *parent)
    : QDialog(parent), m_session(session), m_guard(guard),
      m_table(session.database(), session.dialogs()) {
    pointDialog = [this](const QString &caption, QString &sensor, QString &volume) {
        return TfrmCalibrationAddEdit::Ask(this, caption, sensor, volume);
    };
    setWindowTitle(m_table.caption());
    ResizeWithinScreen(this, 1000, 500);

    ui.grid = new QTableWidget(0, 3);
    ui.grid->setHorizontalHeaderLabels({QStringLiteral("Показания датчика, АЦП"),
                                        QStringLiteral("Объем топлива, л"),
                                        QStringLiteral("Задано вручную")});
    ui.grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.grid->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.grid->verticalHeader()->hide();
    ui.grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    ui.series = new QLineSeries;
    ui.series->setColor(kSeriesColour);
    ui.series->setMarkerSize(kMarker);
    ui.series->setLightMarker(squareMarker(kSeriesColour));
    ui.series->setSelectedLightMarker(squareMarker(kCurrentColour));
    auto *chart = new QChart;
    chart->legend()->hide();
    chart->addSeries(ui.series);
    ui.axisX = new QValueAxis;
    ui.axisX->setTitleText(QStringLiteral("Показания датчика, АЦП"));
    ui.axisX->setLabelFormat(QStringLiteral("%d"));
    ui.axisY = new QValueAxis;
    ui.axisY->setTitleText(QStringLiteral("Объем топлива, л"));
    ui.axisY->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(ui.axisX, Qt::AlignBottom);
    chart->addAxis(ui.axisY, Qt::AlignLeft);
    ui.series->attachAxis(ui.axisX);
    ui.series->attachAxis(ui.axisY);
    ui.chart = new QChartView(chart);
    ui.chart->setRenderHint(QPainter::Antialiasing);

    ui.add = new QPushButton(QStringLiteral("Добавить"));
    ui.edit = new QPushButton(QStringLiteral("Редактировать"));
    ui.remove = new QPushButton(QStringLiteral("Удалить"));
    ui.normalize = new QPushButton(QStringLiteral("Нормализовать"));
    ui.normalize->setToolTip(
        QStringLiteral("После редактирования таблицы тарировки нажмите \"Нормализовать\""));
    ui.close = new QPushButton(QStringLiteral("Закрыть"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {ui.add, ui.edit, ui.remove, ui.normalize})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(ui.close);

    auto *split = new QSplitter;
    split->addWidget(ui.grid);
    split->addWidget(ui.chart);
    split->setStretchFactor(1, 1);
    split->setSizes({480, 520});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    const auto guarded = [this](void (TfmCalibration::*f)()) {
        return [this, f] { m_guard.run([&] { (this->*f)(); }); };
    };
    connect(ui.add, &QPushButton::clicked, this, guarded(&TfmCalibration::btnAddClick));
    connect(ui.edit, &QPushButton::clicked, this, guarded(&TfmCalibration::btnEditClick));
    connect(ui.remove, &QPushButton::clicked, this, guarded(&TfmCalibration::btnDeleteClick));
    connect(ui.normalize, &QPushButton::clicked, this, guarded(&TfmCalibration::btnNormalizeClick));
    connect(ui.close, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui.grid, &QTableWidget::cellDoubleClicked, this,
            guarded(&TfmCalibration::btnEditClick));
    connect(ui.grid, &QTableWidget::currentCellChanged, this, [this](int row) {
        m_table.setCurrentRow(row);
        highlightCurrent();
    });
}

TfmCalibration::~TfmCalibration() = default;

void TfmCalibration::Show(TFuelPart &session, TErrorGuard &guard, int number, QWidget *parent) {
    if (number <= 0)
        return;
    TfmCalibration window(session, guard, parent);
    window.setObject(number);
    window.exec();
}

void TfmCalibration::setObject(int number) {
    m_table.setObject(number);
    updateTable();
}

void TfmCalibration::updateTable() {
    m_table.updateTable();
    setWindowTitle(m_table.caption());
    showTable();
}

void TfmCalibration::showTable() {
    SkipColorUpdate = true;
    {
        const QSignalBlocker block(ui.grid);
        const std::vector<TCalibrationPoint> &points = m_table.points();
        ui.grid->setRowCount(int(points.size()));
        for (int i = 0; i < int(points.size()); ++i) {
            ui.grid->setItem(i, 0, new QTableWidgetItem(QString::number(points[i].sensor)));
            ui.grid->setItem(i, 1, new QTableWidgetItem(FloatToText(points[i].fuel)));
            auto *fixed = new QTableWidgetItem;
            fixed->setCheckState(points[i].fixed == 1 ? Qt::Checked : Qt::Unchecked);
            fixed->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            ui.grid->setItem(i, 2, fixed);
        }
        if (m_table.currentRow() >= 0)
            ui.grid->setCurrentCell(m_table.currentRow(), 0);
    }
    drawChart();
    SkipColorUpdate = false;
    highlightCurrent();
}

void TfmCalibration::drawChart() {
    ui.series->clear();
    const std::vector<TCalibrationPoint> &points = m_table.points();
    for (const TCalibrationPoint &p : points)
        ui.series->append(p.sensor, p.fuel);
    double x0 = 0, x1 = 1, y0 = 0, y1 = 1;
    if (!points.empty()) {
        const auto [xmin, xmax] = std::minmax_element(
            points.begin(), points.end(), [](auto &a, auto &b) { return a.sensor < b.sensor; });
        const auto [ymin, ymax] = std::minmax_element(
            points.begin(), points.end(), [](auto &a, auto &b) { return a.fuel < b.fuel; });
        x0 = xmin->sensor;
        x1 = std::max<double>(xmax->sensor, x0 + 1);
        y0 = std::min(0.0, ymin->fuel);
        y1 = std::max(ymax->fuel, y0 + 1);
    }
    // A margin so that the end points' markers are not cut.
    const double mx = (x1 - x0) * 0.03, my = (y1 - y0) * 0.05;
    ui.axisX->setRange(x0 - mx, x1 + mx);
    ui.axisY->setRange(y0, y1 + my);
    ui.axisX->applyNiceNumbers();
    ui.axisY->applyNiceNumbers();
}

void TfmCalibration::highlightCurrent() {
    if (SkipColorUpdate)
        return;
    const int row = m_table.currentRow();
    const TCalibrationPoint *cur = row >= 0 ? &m_table.points()[row] : nullptr;
    for (int i = 0; i < ui.series->count(); ++i) {
        const QPointF p = ui.series->at(i);
        ui.series->setPointSelected(i, cur && p.x() == cur->sensor && p.y() == cur->fuel);
    }
}

void TfmCalibration::btnAddClick() {
    m_table.AddPoint(pointDialog);
    showTable();
}

void TfmCalibration::btnEditClick() {
    m_table.EditPoint(pointDialog);
    showTable();
}

void TfmCalibration::btnDeleteClick() {
    m_table.DeletePoint();
    showTable();
}

void TfmCalibration::btnNormalizeClick() {
    m_table.Normalize();
    showTable();
}

void TfmCalibration::done(int r) {
    m_guard.run([this] { m_table.Close(); });
    QDialog::done(r);
}

// ---- the point from the current reading

TfmCalibrationPoint::TfmCalibrationPoint(TFuelPart &session, TErrorGuard &guard, int number,
                                         QWidget *parent)
    : QDialog(parent), m_session(session), m_guard(guard), m_number(number) {
    setWindowTitle(QStringLiteral("Создание точки тарировки для объекта № %1").arg(number));
    const auto *digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d*")), this);
    edSensor = new QLineEdit;
    edSensor->setValidator(digits);
    edTime = new QLineEdit;
    edTime->setReadOnly(true);
    edVolume = new QLineEdit(QStringLiteral("0"));
    edVolume->setValidator(digits);
    if (const TManager *m = session.registry())
        if (const TControllableObject *o = m->FindObject(number)) {
            edSensor->setText(QString::number(o->FuelLevel));
            edTime->setText(o->PackTimeText());
        }
    btnCreate = new QPushButton(QStringLiteral("Создать"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnCreate->setDefault(true);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("показания датчика:"), edSensor);
    form->addRow(QStringLiteral("время:"), edTime);
    form->addRow(QStringLiteral("объем топлива:"), edVolume);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnCreate);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(380);
    connect(btnCreate, &QPushButton::clicked, this,
            [this] { m_guard.run([this] { btnCreateClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmCalibrationPoint::Show(TFuelPart &session, TErrorGuard &guard, int number,
                               QWidget *parent) {
    if (number <= 0)
        return;
    TfmCalibrationPoint dlg(session, guard, number, parent);
    dlg.exec();
}

void TfmCalibrationPoint::btnCreateClick() {
    // The registry may have been replaced since the dialog opened.
    const TManager *m = m_session.registry();
    const TControllableObject *o = m ? m->FindObject(m_number) : nullptr;
    if (!o) {
        reject();
        return;
    }
    TCalibrationPointQueries queries(m_session.database(), m_session.dialogs());
    if (queries.Create(m_number, o->TankVolume, edSensor->text(), edVolume->text()))
        accept();
}
