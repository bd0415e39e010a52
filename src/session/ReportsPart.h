#pragma once

// The session's part in the reports: the single-object data window, its analog chart with the
// refuelling marking, and the object-set window. Long queries run through the session's runner
// as tasks whose work is done in a worker thread with a connection of its own (the window stays
// responsive, shows progress and can cancel); the column sets, the refuelling grid of the analog
// page, the column widths and the exports use the main connection. The batch front end runs the
// same tasks with TRunner::runHere.
//
// "Загрузить данные с сервера" asks the archive download for the object and the period by
// downloadRequested; the query goes on when downloadFinished is called (at once when nobody
// listens).

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "app/RunTask.h"
#include "reports/AnalogChart.h"
#include "reports/DataQueries.h"
#include "reports/ObjectsSetReport.h"
#include "reports/ReportFiles.h"
#include "reports/ReportGrid.h"

struct TOptions;
class TDialogs;
class TRunner;
class TManager;
class TFManager;
class TFuelCharges;
class TChargeMarking;
class TWorkerState;
struct TWorkerInput;
namespace db {
class TDatabase;
class TDatabase;
} // namespace db

// The pages of the data window, in the window's order.
enum class TDataPage { States, Daily, Period, Analog };
QString DataPageCaption(TDataPage page);

// What a save dialog's chosen name makes of an export.
enum class TExportFormat { Xml, Xlsx, Pdf };
TExportFormat ExportFormatOf(const QString &fileName);

class TReportsPart : public QObject {
    Q_OBJECT
public:
    // database: the main connection (its windows read the catalogue through it); the queries
    // run on connections of their own.
    TReportsPart(TOptions &options, TDialogs &dialogs, TRunner &runner, db::TDatabase &database,
                 QObject *parent = nullptr);
    ~TReportsPart() override;

    // The registry of the current connection (null while disconnected).
    void setRegistry(TManager *registry);
    TManager *registry() const { return m_registry; }
    bool databaseConnected() const;
    db::TDatabase &mainDatabase();

    // The column sets of the grids, read on the main connection.
    std::vector<TGridColumn> sostColumns();
    std::vector<TGridColumn> calcColumns();
    std::vector<TGridColumn> setColumns();
    std::vector<TChartParam> chartParams();
    // Closing the data window: the width of every state column into the catalogue.
    void saveSostColumnWidths(const std::vector<TGridColumn> &columns);

    // ---- The tasks. Each fills *out when it succeeds; errors propagate.
    struct TDataResult {
        TReportGrid grid;
        QStringList trace;
    };
    TRunTask dataTask(TDataPage page, TDataParams params, std::vector<TGridColumn> columns,
                      std::shared_ptr<TDataResult> out);
    TRunTask analogTask(TAnalogParams params, std::shared_ptr<TAnalogResult> out);
    struct TSetTableResult {
        TReportGrid table;
        QStringList queryObjList;
    };
    TRunTask setTableTask(std::vector<TSetEntry> entries, TSetParams params,
                          std::vector<TGridColumn> columns, std::shared_ptr<TSetTableResult> out);
    TRunTask setChartTask(std::vector<TSetEntry> entries, TSetParams params, QString dispName,
                          std::shared_ptr<TSetChart> out);

    // ---- The windows' commands: false when another run is active.
    bool startDataQuery(TDataPage page, const TDataParams &params, std::vector<TGridColumn> columns,
                        bool download,
                        const QString &errorCaption = QStringLiteral("Запрос статистики"));
    // The archive download asked for by downloadRequested has ended; error empty when it
    // succeeded or was skipped.
    void downloadFinished(bool ok, const QString &error = QString());
    bool startAnalogQuery(const TAnalogParams &params);
    bool
    startSetTable(const std::vector<TSetEntry> &entries, const TSetParams &params,
                  std::vector<TGridColumn> columns,
                  const QString &errorCaption = QStringLiteral("Данные по нескольким объектам"));
    bool startSetChart(const std::vector<TSetEntry> &entries, const TSetParams &params,
                       const QString &dispName);
    // "Отмена": the worker stops and its statement is cancelled; nothing is shown.
    void cancel();
    bool running() const { return m_running; }
    bool downloadPending() const { return m_pending.has_value(); }

    // ---- The analog page's refuelling grid and marking (main connection).
    TFuelCharges &analogCharges();
    TChargeMarking &marking();
    // "Удалить заправку" with the grid's selected rows.
    void deleteSelectedCharges(const std::vector<int> &rows);

    // ---- Exports.
    // "Объект №N - name (short name)", empty for an unknown object.
    QString exportHeaderLine(int object) const;
    // The heading of the PDF and workbook forms: the object, the period, the parameters.
    QStringList dataHeading(TDataPage page, const TDataParams &params) const;
    QStringList setHeading(const TSetParams &params) const;
    // "Экспорт в Excel" of the data window's page; chart: the daily chart shown, if any.
    void exportDataPage(TDataPage page, const TReportGrid &grid, const TDataParams &params,
                        const std::optional<TReportChart> &chart = std::nullopt);
    // "Сформировать отчет (Excel)": false when there was no table query (the message shown).
    bool setExportAllowed(const QStringList &queryObjList);
    QStringList setExportMissing(const QStringList &queryObjList, const TSetParams &params) const;
    void exportSetTable(const TReportGrid &table, const TSetParams &params,
                        const std::optional<TReportChart> &chart = std::nullopt);
    // Writes a document in the form the name asks for; raises on failure.
    static void SaveDataDocument(const TReportDocument &doc, const QStringList &headerLines,
                                 const QString &fileName);
    static void SaveSetDocument(const TReportDocument &doc, const QString &fileName);

signals:
    void downloadRequested(int object, TDateTime from, TDateTime to);
    void runningChanged(bool running);
    void progress(int done, int total);
    void dataQueryDone(TDataPage page, const TReportGrid &grid, const QStringList &trace);
    void analogQueryDone(const TAnalogResult &result);
    void setTableDone(const TReportGrid &table, const QStringList &queryObjList);
    void setChartDone(const TSetChart &chart);

private:
    TWorkerInput workerInput() const;
    std::shared_ptr<TWorkerState> newWorkerState();
    TRunTask windowTask(TRunTask job, QString errorCaption, std::function<void()> publish);
    bool start(TRunTask job, const QString &errorCaption, std::function<void()> publish);
    void runPendingQuery();

    TOptions &m_options;
    TDialogs &m_dialogs;
    TRunner &m_runner;
    db::TDatabase &m_database;
    TManager *m_registry = nullptr;
    std::shared_ptr<TWorkerState> m_state;
    bool m_running = false;
    bool m_cancelPending = false; // "Отмена" before the run's worker existed
    QString m_lastExportDir;

    struct TPendingQuery {
        TDataPage page;
        TDataParams params;
        std::vector<TGridColumn> columns;
        QString caption;
    };
    std::optional<TPendingQuery> m_pending;

    std::unique_ptr<TFManager> m_fmngr;
    std::unique_ptr<TFuelComputations> m_fuel;
    std::unique_ptr<TFuelCharges> m_charges;
    std::unique_ptr<TChargeMarking> m_marking;
};
Q_DECLARE_METATYPE(TDataPage)
