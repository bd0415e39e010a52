#include "session/ReportsPart.h"

#include <QFileInfo>
#include <QMetaMethod>

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/FuelCharges.h"
#include "reports/QueryWorker.h"
#include "reports/SpreadsheetXml.h"
#include "session/Runner.h"
#include "tracks/FileManager.h"

using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

QString DataPageCaption(TDataPage page) {
    switch (page) {
    case TDataPage::States:
        return QStringLiteral("Состояния");
    case TDataPage::Daily:
        return QStringLiteral("Статистика по суткам");
    case TDataPage::Period:
        return QStringLiteral("Статистика за период");
    case TDataPage::Analog:
        return QStringLiteral("Аналоговые величины");
    }
    return {};
}

TExportFormat ExportFormatOf(const QString &fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("xlsx"))
        return TExportFormat::Xlsx;
    if (suffix == QLatin1String("pdf"))
        return TExportFormat::Pdf;
    return TExportFormat::Xml;
}

TReportsPart::TReportsPart(TOptions &options, TDialogs &dialogs, TRunner &runner,
                           db::TDatabase &database, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_runner(runner),
      m_database(database), m_fmngr(std::make_unique<TFManager>()) {}

TReportsPart::~TReportsPart() {
    if (m_state)
        m_state->cancel();
}

void TReportsPart::setRegistry(TManager *registry) {
    m_registry = registry;
    m_marking.reset();
    m_fuel.reset();
}

bool TReportsPart::databaseConnected() const {
    return m_database.isOpen();
}

db::TDatabase &TReportsPart::mainDatabase() {
    return m_database;
}

std::vector<TGridColumn> TReportsPart::sostColumns() {
    return FormSostGridCols(mainDatabase());
}

std::vector<TGridColumn> TReportsPart::calcColumns() {
    return FormCalcGridCols(mainDatabase());
}

std::vector<TGridColumn> TReportsPart::setColumns() {
    return FormSetGridCols(mainDatabase());
}

std::vector<TChartParam> TReportsPart::chartParams() {
    return FormCalcFieldsList(mainDatabase());
}

void TReportsPart::saveSostColumnWidths(const std::vector<TGridColumn> &columns) {
    if (!mainDatabase().isOpen())
        return;
    TTransaction tr(mainDatabase(), TTransactionKind::CommittedReadWrite);
    tr.start();
    TQuery q(tr, QStringLiteral("UPDATE PARAMS SET PRM_SOST_GRID_COL_WIDTH = :w WHERE "
                                "PRM_CAPTION = :c"));
    for (const TGridColumn &c : columns) {
        const int bar = c.caption.indexOf(QLatin1Char('|'));
        q.setParam(QStringLiteral("w"), c.width);
        q.setParam(QStringLiteral("c"), bar >= 0 ? c.caption.mid(bar + 1) : c.caption);
        q.execute();
    }
    tr.commit();
}

TWorkerInput TReportsPart::workerInput() const {
    return {db::TConnectionSettings::fromOptions(m_options), m_options, NormsOf(m_registry)};
}

std::shared_ptr<TWorkerState> TReportsPart::newWorkerState() {
    auto state = std::make_shared<TWorkerState>();
    m_state = state;
    if (std::exchange(m_cancelPending, false))
        state->cancel();
    return state;
}

// ---------------------------------------------------------------------------------------------

TRunTask TReportsPart::dataTask(TDataPage page, TDataParams params,
                                std::vector<TGridColumn> columns,
                                std::shared_ptr<TDataResult> out) {
    auto state = newWorkerState();
    auto result = std::make_shared<TDataResult>();
    // Built first: temporaries inside a co_await expression are not safe with this compiler.
    TRunTask job = RunReportJob(
        workerInput(),
        [=](TFuelComputations &fuel, const TQueryControl &control) {
            TDataQueries q(fuel, control);
            switch (page) {
            case TDataPage::States:
                result->grid = q.ExecDiffQuery(params, columns);
                break;
            case TDataPage::Daily:
                result->grid = q.ExecCalcQuery(params, columns, result->trace);
                break;
            case TDataPage::Period:
                result->grid = q.ExecByPeriodQuery(params, result->trace);
                break;
            case TDataPage::Analog:
                break;
            }
        },
        state, [this](int done, int total) { emit progress(done, total); });
    co_await std::move(job);
    *out = std::move(*result);
}

TRunTask TReportsPart::analogTask(TAnalogParams params, std::shared_ptr<TAnalogResult> out) {
    auto state = newWorkerState();
    auto result = std::make_shared<TAnalogResult>();
    // Built first: temporaries inside a co_await expression are not safe with this compiler.
    TRunTask job = RunReportJob(
        workerInput(),
        [=](TFuelComputations &fuel, const TQueryControl &control) {
            *result = ExecAnalogGraphQuery(fuel.database(), params, control);
        },
        state, [this](int done, int total) { emit progress(done, total); });
    co_await std::move(job);
    *out = std::move(*result);
}

TRunTask TReportsPart::setTableTask(std::vector<TSetEntry> entries, TSetParams params,
                                    std::vector<TGridColumn> columns,
                                    std::shared_ptr<TSetTableResult> out) {
    auto state = newWorkerState();
    auto result = std::make_shared<TSetTableResult>();
    // Built first: temporaries inside a co_await expression are not safe with this compiler.
    TRunTask job = RunReportJob(
        workerInput(),
        [=](TFuelComputations &fuel, const TQueryControl &control) {
            TObjectsSetReport r(fuel, control);
            result->table = r.TableQuery(entries, params, columns, result->queryObjList);
        },
        state, [this](int done, int total) { emit progress(done, total); });
    co_await std::move(job);
    *out = std::move(*result);
}

TRunTask TReportsPart::setChartTask(std::vector<TSetEntry> entries, TSetParams params,
                                    QString dispName, std::shared_ptr<TSetChart> out) {
    auto state = newWorkerState();
    auto result = std::make_shared<TSetChart>();
    // Built first: temporaries inside a co_await expression are not safe with this compiler.
    TRunTask job = RunReportJob(
        workerInput(),
        [=](TFuelComputations &fuel, const TQueryControl &control) {
            TObjectsSetReport r(fuel, control);
            *result = r.ChartQuery(entries, params, dispName);
        },
        state, [this](int done, int total) { emit progress(done, total); });
    co_await std::move(job);
    *out = std::move(*result);
}

// ---------------------------------------------------------------------------------------------

TRunTask TReportsPart::windowTask(TRunTask job, QString errorCaption,
                                  std::function<void()> publish) {
    bool ok = false;
    QString failure;
    try {
        co_await std::move(job);
        ok = true;
    } catch (const EQueryCancelled &) {
        // Cancelled by the user: nothing to show.
    } catch (const db::EDatabaseError &e) {
        failure = e.text();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    }
    m_state.reset();
    m_cancelPending = false;
    if (ok)
        publish();
    else if (!failure.isEmpty())
        m_dialogs.message(QStringLiteral("Не удалось выполнить запрос статистики: \r\n") + failure,
                          errorCaption, TMsgIcon::Error);
}

bool TReportsPart::start(TRunTask job, const QString &errorCaption, std::function<void()> publish) {
    if (m_runner.active())
        return false;
    const bool started =
        m_runner.start(TRunKind::Report,
                       windowTask(std::move(job), errorCaption, std::move(publish)), [this](bool) {
                           m_running = false;
                           emit runningChanged(false);
                       });
    if (started) {
        m_running = true;
        emit runningChanged(true);
    }
    return started;
}

bool TReportsPart::startDataQuery(TDataPage page, const TDataParams &params,
                                  std::vector<TGridColumn> columns, bool download,
                                  const QString &errorCaption) {
    if (m_runner.active() || m_pending)
        return false;
    m_pending = TPendingQuery{page, params, std::move(columns), errorCaption};
    if (download && isSignalConnected(QMetaMethod::fromSignal(&TReportsPart::downloadRequested))) {
        emit downloadRequested(params.object, params.start, params.end);
        return true;
    }
    runPendingQuery();
    return true;
}

void TReportsPart::downloadFinished(bool ok, const QString &error) {
    if (!m_pending)
        return;
    if (!ok &&
        m_dialogs.question(QStringLiteral("При загрузке данных с сервера возникла ошибка: ") +
                               QStringLiteral("\r\n") + error + QStringLiteral("\r\n") +
                               QStringLiteral("Продолжить выполнение запроса? (Часть данных может "
                                              "отсутствовать)"),
                           QStringLiteral("Выполнение запроса"), TMsgIcon::Question, mbYes | mbNo,
                           mbYes) != mbYes) {
        m_pending.reset();
        return;
    }
    runPendingQuery();
}

void TReportsPart::runPendingQuery() {
    TPendingQuery q = std::move(*m_pending);
    m_pending.reset();
    auto out = std::make_shared<TDataResult>();
    const TDataPage page = q.page;
    start(dataTask(q.page, q.params, std::move(q.columns), out), q.caption,
          [this, page, out] { emit dataQueryDone(page, out->grid, out->trace); });
}

bool TReportsPart::startAnalogQuery(const TAnalogParams &params) {
    if (m_runner.active())
        return false;
    // The page's grid lists the refuellings of the object and the interval.
    TFuelCharges &charges = analogCharges();
    charges.setPeriod({params.object, params.start, params.end});
    charges.ShowCharges();
    marking().log.clear();
    auto out = std::make_shared<TAnalogResult>();
    return start(analogTask(params, out), QStringLiteral("Ошибка выполнения запроса"), [this, out] {
        for (const TAnalogResult::TError &e : out->errors)
            m_dialogs.message(e.text, e.caption, TMsgIcon::Error);
        emit analogQueryDone(*out);
    });
}

bool TReportsPart::startSetTable(const std::vector<TSetEntry> &entries, const TSetParams &params,
                                 std::vector<TGridColumn> columns, const QString &errorCaption) {
    auto out = std::make_shared<TSetTableResult>();
    return start(setTableTask(entries, params, std::move(columns), out), errorCaption,
                 [this, out] { emit setTableDone(out->table, out->queryObjList); });
}

bool TReportsPart::startSetChart(const std::vector<TSetEntry> &entries, const TSetParams &params,
                                 const QString &dispName) {
    auto out = std::make_shared<TSetChart>();
    return start(setChartTask(entries, params, dispName, out),
                 QStringLiteral("Данные по нескольким объектам"),
                 [this, out] { emit setChartDone(*out); });
}

void TReportsPart::cancel() {
    if (m_pending && !m_runner.active()) {
        m_pending.reset();
        return;
    }
    if (m_state)
        m_state->cancel();
    else if (m_running)
        m_cancelPending = true;
}

// ---------------------------------------------------------------------------------------------

TFuelCharges &TReportsPart::analogCharges() {
    if (!m_charges)
        m_charges = std::make_unique<TFuelCharges>(mainDatabase(), m_dialogs);
    return *m_charges;
}

TChargeMarking &TReportsPart::marking() {
    if (!m_fuel)
        m_fuel =
            std::make_unique<TFuelComputations>(mainDatabase(), m_options, m_registry, *m_fmngr);
    if (!m_marking)
        m_marking = std::make_unique<TChargeMarking>(*m_fuel, analogCharges());
    return *m_marking;
}

void TReportsPart::deleteSelectedCharges(const std::vector<int> &rows) {
    TFuelCharges &charges = analogCharges();
    if (charges.rows().empty())
        return;
    const QString caption = QStringLiteral("Удаление информации о заправках");
    if (rows.empty()) {
        m_dialogs.message(QStringLiteral("Необходимо выбрать запись для удаления"), caption,
                          TMsgIcon::Information);
        return;
    }
    if (!charges.transactionActive())
        return;
    if (m_dialogs.question(QStringLiteral("Удалить информацию о выбранной заправке?"), caption,
                           TMsgIcon::Question, mbYes | mbNo, mbNo) == mbYes) {
        const int n = charges.deleteRows(rows);
        m_dialogs.message(QStringLiteral("Удалено записей: ") + QString::number(n), caption,
                          TMsgIcon::Information);
    } else {
        charges.SaveChanges();
    }
}

// ---------------------------------------------------------------------------------------------

QString TReportsPart::exportHeaderLine(int object) const {
    const TControllableObject *o = m_registry ? m_registry->FindObject(object) : nullptr;
    if (!o)
        return {};
    return QStringLiteral("Объект №") + QString::number(object) + QStringLiteral(" - ") + o->Name +
           QStringLiteral(" (") + o->ShortName + QStringLiteral(")");
}

QStringList TReportsPart::dataHeading(TDataPage page, const TDataParams &p) const {
    QStringList h;
    const QString object = exportHeaderLine(p.object);
    h << (object.isEmpty() ? QStringLiteral("Объект №") + QString::number(p.object) : object);
    h << DataPageCaption(page) + QStringLiteral(": ") + dt::dateTimeToStr(p.start) +
             QStringLiteral(" - ") + dt::dateTimeToStr(p.end);
    QString params = QStringLiteral("Максимальная потеря данных: ") +
                     dt::formatDateTime(QStringLiteral("hh:nn:ss"), p.maxLost);
    if (page == TDataPage::Daily || page == TDataPage::Period) {
        params += QStringLiteral("; Определить заправки: ") +
                  (p.detect ? QStringLiteral("да, изменение показаний ") + p.threshold +
                                  QStringLiteral(" мВ")
                            : QStringLiteral("нет")) +
                  QStringLiteral("; Интервал усреднения граничных значений: ") + p.avgPeriod +
                  QStringLiteral(" мин.; Формат длительности: ") +
                  (p.formatDays ? QStringLiteral("Сутки") : QStringLiteral("Часы"));
    }
    h << params;
    return h;
}

QStringList TReportsPart::setHeading(const TSetParams &p) const {
    return {QStringLiteral("Данные по нескольким объектам"),
            QStringLiteral("Период: ") + dt::dateToStr(dt::encodeDate(p.start)) +
                QStringLiteral(" - ") + dt::dateToStr(dt::encodeDate(p.end)),
            QStringLiteral("Определить заправки: ") +
                (p.detect ? QStringLiteral("да, изменение показаний ") + p.threshold +
                                QStringLiteral(" мВ")
                          : QStringLiteral("нет")) +
                QStringLiteral("; Интервал усреднения граничных значений: ") + p.avgPeriod +
                QStringLiteral(" мин.")};
}

void TReportsPart::SaveDataDocument(const TReportDocument &doc, const QStringList &headerLines,
                                    const QString &fileName) {
    switch (ExportFormatOf(fileName)) {
    case TExportFormat::Xml:
        ExportGridToXML(doc.grid, headerLines, fileName);
        break;
    case TExportFormat::Xlsx:
        SaveXlsx(doc, fileName);
        break;
    case TExportFormat::Pdf:
        SavePdf(doc, fileName);
        break;
    }
}

void TReportsPart::SaveSetDocument(const TReportDocument &doc, const QString &fileName) {
    switch (ExportFormatOf(fileName)) {
    case TExportFormat::Xml:
        ExportDataToXML(doc.grid, fileName);
        break;
    case TExportFormat::Xlsx:
        SaveXlsx(doc, fileName);
        break;
    case TExportFormat::Pdf:
        SavePdf(doc, fileName);
        break;
    }
}

void TReportsPart::exportDataPage(TDataPage page, const TReportGrid &grid,
                                  const TDataParams &params,
                                  const std::optional<TReportChart> &chart) {
    if (page == TDataPage::Analog) {
        m_dialogs.message(QStringLiteral("Экспорт данных в Excel с вкладки ") +
                              DataPageCaption(page) + QStringLiteral(" не поддерживается!"),
                          QStringLiteral("Экспорт данных в Excel"), TMsgIcon::Warning);
        return;
    }
    const QString name =
        grid.object >= 0 ? QString::number(grid.object) + QStringLiteral(".xml") : QString();
    const QString file = m_dialogs.saveFile(
        QStringLiteral("Экспорт в Excel"), m_lastExportDir,
        QStringLiteral("Файлы Excel XML (*.xml)|*.xml|Книга Excel (*.xlsx)|*.xlsx|Документ PDF "
                       "(*.pdf)|*.pdf|Все файлы (*)|*"),
        name);
    if (file.isEmpty())
        return;
    m_lastExportDir = QFileInfo(file).absolutePath();
    QStringList header;
    const QString line = exportHeaderLine(grid.object);
    if (!line.isEmpty())
        header << line;
    TReportDocument doc;
    doc.sheetName =
        QStringLiteral("Данные по объекту ") +
        (grid.object >= 0 ? QString::number(grid.object) : QStringLiteral("(не задан)"));
    doc.heading = dataHeading(page, params);
    doc.grid = grid;
    doc.chart = chart;
    try {
        SaveDataDocument(doc, header, file);
    } catch (const std::exception &e) {
        m_dialogs.message(ExportFailureText(QString::fromUtf8(e.what())), ExportFailureCaption(),
                          TMsgIcon::Error);
    }
}

bool TReportsPart::setExportAllowed(const QStringList &queryObjList) {
    if (!queryObjList.isEmpty())
        return true;
    m_dialogs.message(QStringLiteral("Необходимо выполнить запрос хотя бы по одному объекту."),
                      QStringLiteral("Экспорт отчета"), TMsgIcon::Warning);
    return false;
}

QStringList TReportsPart::setExportMissing(const QStringList &queryObjList,
                                           const TSetParams &params) const {
    return MissingDayFiles(queryObjList, params.start, params.end, DataDir());
}

void TReportsPart::exportSetTable(const TReportGrid &table, const TSetParams &params,
                                  const std::optional<TReportChart> &chart) {
    QString file = m_dialogs.saveFile(
        QStringLiteral("Сформировать отчет (Excel)"), m_lastExportDir,
        QStringLiteral("Таблица Excel XML|*.xml|Книга Excel (*.xlsx)|*.xlsx|Документ PDF "
                       "(*.pdf)|*.pdf"),
        QString());
    if (file.isEmpty())
        return;
    m_lastExportDir = QFileInfo(file).absolutePath();
    // The XML form gets ".xml" appended whatever was typed; a workbook or PDF name is kept.
    if (ExportFormatOf(file) == TExportFormat::Xml)
        file += QStringLiteral(".xml");
    TReportDocument doc;
    doc.sheetName = QStringLiteral("Отчет");
    doc.heading = setHeading(params);
    doc.grid = table;
    doc.captionColumn = true;
    doc.chart = chart;
    try {
        SaveSetDocument(doc, file);
    } catch (const std::exception &e) {
        m_dialogs.message(ExportFailureText(QString::fromUtf8(e.what())), ExportFailureCaption(),
                          TMsgIcon::Error);
    }
}
