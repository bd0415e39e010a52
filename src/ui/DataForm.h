#pragma once

// "Данные": the single-object data window. It shows the pages of the reports' session part
// (the state changes, the daily and the period statistics, the analog chart with the
// refuelling marking) and forwards the user's commands to it; the queries run through the
// session's runner while the window stays usable ("Отмена" stops them).

#include <QChartView>
#include <QDialog>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Dialogs.h"
#include "app/ErrorGuard.h"
#include "reports/AnalogChart.h"
#include "reports/DataQueries.h"
#include "reports/ReportGrid.h"
#include "session/ReportsPart.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QSpinBox;
class QTabWidget;
class QTimeEdit;
class QToolButton;
class QChart;
class QLineSeries;
class QDateTimeAxis;
class QValueAxis;
class QCategoryAxis;

// The state cells' lamps, centred, with a border in the button-face colour.
class TLampDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

// The analog chart: presses are reported in chart values (x in milliseconds since the epoch).
class TAnalogChartView : public QChartView {
public:
    using QChartView::QChartView;
    std::function<void(QPointF)> pressed;

protected:
    void mousePressEvent(QMouseEvent *e) override;
};

class TfmData : public QDialog {
    Q_OBJECT
public:
    TfmData(TReportsPart &part, TDialogs &dialogs, QWidget *parent = nullptr);
    ~TfmData() override;

    // "По одному объекту" / "Данные по объекту...": the object list, both dates today, the
    // columns of all grids, the grids empty, the object preselected; shown, not modal.
    void Open(int object);

    struct Controls {
        QTabWidget *pages;
        QComboBox *cbObjNumber;
        QDateEdit *dtpStartDate, *dtpEndDate;
        QTimeEdit *dtpStartTime, *dtpEndTime, *dtpMaxLostTime;
        QSpinBox *edDeltaF;
        QCheckBox *cbDetectCharges, *cbDownloadDataFromServer, *cbServerTime;
        QLineEdit *eAvgPeriod;
        QRadioButton *rbDays, *rbHours;
        QWidget *gbResultFormat, *pnMaxLost, *pnDetect, *pnAvg;
        QPushButton *btnQuery, *btnSettings, *btnExport, *btnCancel;
        QProgressBar *progress;
        QLabel *lbProgress;
        // Pages.
        QTableView *sgSost, *sgCalc, *sgByPeriod;
        QPlainTextEdit *mTraceCalc, *mTracePeriod;
        QChartView *chCalc;
        // The analog page.
        QComboBox *cbParams, *cbAvgTime;
        TAnalogChartView *chAnalog;
        QToolButton *tbDelCharge, *tbAddCharge, *tbMoveStart, *tbMoveEnd, *tbRefresh;
        QToolButton *tbZoomIn, *tbZoomOut, *tbZoomReset;
        QCheckBox *cbMarkers, *cbVertical, *cbAutoY;
        QDoubleSpinBox *edMinY, *edMaxY;
        QScrollBar *sbTime;
        QTableView *sgCharges;
        QListWidget *lbEditLog;
        QLabel *lbChartHint;
    };
    Controls ui{};

    // Commands (also for tests).
    void btnQueryClick();
    void btnSettingsClick();
    void btnExportClick();
    void pageChanged();
    void calcHeaderClicked(int column);
    TReportGridModel &sostModel() { return m_sost; }
    TReportGridModel &calcModel() { return m_calc; }
    TReportGridModel &periodModel() { return m_period; }
    const TDailyChart &dailyChart() const { return m_dailyChart; }
    const TAnalogResult &analog() const { return m_analog; }
    TDataParams params() const;
    TDataPage page() const;
    // A press on the analog chart at a time and value.
    void chartPressed(TDateTime time, double value);
    // The state columns again (after their editor changed them), and the query re-run.
    void rebuildColumns();

protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void build();
    QWidget *buildAnalogPage();
    void setColumns();
    void applyWidths(QTableView *view, const TReportGridModel &model);
    bool objectNumber(int &number, const QString &caption, TMsgIcon icon);
    void onDataDone(TDataPage page, const TReportGrid &grid, const QStringList &trace);
    void onAnalogDone(const TAnalogResult &r);
    void onRunning(bool running);
    void drawAnalog();
    void drawBars();
    void selectCharge(int row);
    void beginMarking(int what);
    void updateAutoY();
    void updateScroll();
    void zoomTime(double factor);
    void resetTime();
    void rerun(const QString &errorCaption);
    void showDailyChart();

    TReportsPart &m_part;
    TDialogs &m_dialogs;
    TErrorGuard m_guard;
    TReportGridModel m_sost, m_calc, m_period;
    std::vector<TGridColumn> m_sostColumns, m_calcColumns;
    TDataParams m_lastParams;
    TDailyChart m_dailyChart;
    int m_chartColumn = -1;
    TAnalogResult m_analog;
    int m_lastParam = -1; // the parameter of the last drawn analog chart
    TDateTime m_analogStart = 0, m_analogEnd = 0;
    QChart *m_analogChart = nullptr;
    QDateTimeAxis *m_axisX = nullptr;
    QValueAxis *m_axisY = nullptr;
    QCategoryAxis *m_axisBands = nullptr;
    std::vector<QLineSeries *> m_barSeries;
    std::optional<TChargeBar> m_pendingBar;
    TDateTime m_selectedOpen = -1, m_selectedClose = -1;
    bool m_busyCursor = false;
};
