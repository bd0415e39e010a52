// The reports' session part: queries run through the runner in a worker thread while the event
// loop goes on, cancel, the download before a query, failures and the exports.

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/Cp1251.h"
#include "app/ErrorGuard.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/ReportFixture.h"
#include "session/ReportsPart.h"
#include "session/Runner.h"

using namespace reporttest;

namespace {

class ReportsPartTest : public ReportDbTest {
protected:
    void SetUp() override {
        ReportDbTest::SetUp();
        options.DBServ = shared()->settings.server;
        options.DBPath = shared()->settings.path;
        options.DBLogin = shared()->settings.login;
        options.DBPass = shared()->settings.password;
        controller = std::make_unique<db::TDatabaseController>(options, dialogs);
        controller->Database().open(db::TConnectionSettings::fromOptions(options));
        controller->FLastDbConnectionSost = 1;
        part = std::make_unique<TReportsPart>(options, dialogs, runner, controller->Database());
    }
    void TearDown() override {
        part.reset();
        if (controller)
            controller->Database().forceClose();
    }
    TDataParams twoDays() const {
        TDataParams p;
        p.object = kObject;
        p.start = day1();
        p.end = periodEnd();
        p.detect = false;
        return p;
    }
    // Runs the event loop until the runner is idle again.
    void waitIdle() {
        QSignalSpy idle(&runner, &TRunner::finished);
        if (runner.active())
            ASSERT_TRUE(idle.wait(60000));
    }

    TScriptedDialogs dialogs;
    TErrorGuard guard{dialogs};
    TRunner runner{guard};
    std::unique_ptr<db::TDatabaseController> controller;
    std::unique_ptr<TReportsPart> part;
};

} // namespace

TEST_F(ReportsPartTest, ADailyQueryRunsBesideTheEventLoopAndPublishesItsGrid) {
    QSignalSpy done(part.get(), &TReportsPart::dataQueryDone);
    QSignalSpy running(part.get(), &TReportsPart::runningChanged);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    ASSERT_TRUE(part->startDataQuery(TDataPage::Daily, twoDays(), part->calcColumns(), false));
    EXPECT_TRUE(part->running());
    // A second command while the run is active does nothing.
    EXPECT_FALSE(part->startDataQuery(TDataPage::States, twoDays(), part->sostColumns(), false));
    ASSERT_TRUE(done.wait(60000));
    waitIdle();
    ticker.stop();
    EXPECT_GT(ticks, 0); // the loop went on while the worker computed
    ASSERT_EQ(running.size(), 2);
    EXPECT_FALSE(part->running());
    const auto grid = done.first().at(1).value<TReportGrid>();
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.cell(2, grid.columnOf(QStringLiteral("PAR_GENTIME"))),
              QStringLiteral("0:05:00:00"));
    EXPECT_FALSE(done.first().at(2).toStringList().isEmpty()); // the trace
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(ReportsPartTest, CancelShowsNothingAndPublishesNothing) {
    QSignalSpy done(part.get(), &TReportsPart::dataQueryDone);
    ASSERT_TRUE(part->startDataQuery(TDataPage::Daily, twoDays(), part->calcColumns(), false));
    part->cancel();
    waitIdle();
    EXPECT_TRUE(done.isEmpty());
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_FALSE(part->running());
    // The next query runs as usual.
    ASSERT_TRUE(part->startDataQuery(TDataPage::Period, twoDays(), {}, false));
    ASSERT_TRUE(done.wait(60000));
}

TEST_F(ReportsPartTest, AFailedQueryShowsTheStatisticsMessage) {
    options.DBPath = QStringLiteral("/nonexistent/nothing.fdb");
    ASSERT_TRUE(part->startDataQuery(TDataPage::States, twoDays(), part->sostColumns(), false));
    waitIdle();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_TRUE(dialogs.calls[0].text.startsWith(
        QStringLiteral("Не удалось выполнить запрос статистики: \r\n")));
    EXPECT_EQ(dialogs.calls[0].caption, QStringLiteral("Запрос статистики"));
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);
}

TEST_F(ReportsPartTest, TheDownloadComesFirstAndItsFailureAsksWhetherToGoOn) {
    std::vector<std::tuple<int, double, double>> asked;
    QObject::connect(part.get(), &TReportsPart::downloadRequested,
                     [&](int o, TDateTime a, TDateTime b) { asked.emplace_back(o, a, b); });
    QSignalSpy done(part.get(), &TReportsPart::dataQueryDone);
    ASSERT_TRUE(part->startDataQuery(TDataPage::Period, twoDays(), {}, true));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::get<0>(asked[0]), kObject);
    EXPECT_DOUBLE_EQ(std::get<2>(asked[0]), periodEnd());
    EXPECT_FALSE(part->running());
    EXPECT_TRUE(part->downloadPending());

    dialogs.answers.push_back(mbNo);
    part->downloadFinished(false, QStringLiteral("нет связи"));
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("При загрузке данных с сервера возникла ошибка: \r\nнет связи\r\n"
                             "Продолжить выполнение запроса? (Часть данных может отсутствовать)"));
    EXPECT_EQ(dialogs.calls[0].caption, QStringLiteral("Выполнение запроса"));
    EXPECT_FALSE(part->downloadPending());
    EXPECT_FALSE(runner.active());

    ASSERT_TRUE(part->startDataQuery(TDataPage::Period, twoDays(), {}, true));
    dialogs.answers.push_back(mbYes);
    part->downloadFinished(false, QStringLiteral("нет связи"));
    ASSERT_TRUE(done.wait(60000));
    ASSERT_TRUE(part->startDataQuery(TDataPage::Period, twoDays(), {}, true));
    part->downloadFinished(true);
    ASSERT_TRUE(done.wait(60000));
    EXPECT_EQ(done.size(), 2);
    dialogs.expectDone();
}

TEST_F(ReportsPartTest, ExportsAndTheirMessages) {
    QTemporaryDir dir;
    TManager registry(db::TConnectionSettings::fromOptions(options), dialogs, cache.path());
    part->setRegistry(&registry);
    EXPECT_EQ(part->exportHeaderLine(kObject),
              QStringLiteral("Объект №501 - Тепловоз <1> & Co (Т1)"));

    auto result = std::make_shared<TReportsPart::TDataResult>();
    TRunner::runHere(part->dataTask(TDataPage::Period, twoDays(), {}, result));
    ASSERT_EQ(result->grid.rowCount(), 1);
    const QString file = dir.filePath(QStringLiteral("501.xml"));
    dialogs.files.push_back({file});
    part->exportDataPage(TDataPage::Period, result->grid, twoDays());
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("|Файлы Excel XML (*.xml)|*.xml|Книга Excel (*.xlsx)|*.xlsx|Документ "
                             "PDF (*.pdf)|*.pdf|Все файлы (*)|*|501.xml"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = cp1251::decode(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("<Cell><Data ss:Type=\"String\">Объект №501 - "
                                             "Тепловоз &lt;1&gt; &amp; Co (Т1)</Data></Cell>")));
    EXPECT_TRUE(text.contains(QStringLiteral("<Worksheet ss:Name=\"Данные по объекту 501\">")));

    // The next dialog opens in the folder of this export.
    dialogs.files.push_back({dir.filePath(QStringLiteral("501.xlsx"))});
    part->exportDataPage(TDataPage::Period, result->grid, twoDays());
    EXPECT_TRUE(dialogs.calls[1].text.startsWith(dir.path() + QLatin1Char('|')));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("501.xlsx"))));

    dialogs.calls.clear();
    part->exportDataPage(TDataPage::Analog, result->grid, twoDays());
    EXPECT_EQ(
        dialogs.messages(),
        QStringList({"Экспорт данных в Excel с вкладки Аналоговые величины не поддерживается!"}));

    // The object-set form: refused before a table query; a failed save says so.
    dialogs.calls.clear();
    EXPECT_FALSE(part->setExportAllowed({}));
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("Необходимо выполнить запрос хотя бы по одному объекту."));
    EXPECT_EQ(dialogs.calls[0].caption, QStringLiteral("Экспорт отчета"));
    dialogs.calls.clear();
    TSetParams sp;
    sp.start = QDate(2026, 3, 31);
    sp.end = QDate(2026, 4, 1);
    dialogs.files.push_back({dir.filePath(QStringLiteral("missing/отчет"))});
    part->exportSetTable(result->grid, sp);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].startsWith(QStringLiteral("Не удалось сохранить файл:\n\r")));
    EXPECT_EQ(dialogs.calls.back().caption, QStringLiteral("Ошибка экспорта данных"));
    // A name typed without an extension gets ".xml", one with ".xml" a second one.
    dialogs.files.push_back({dir.filePath(QStringLiteral("set.xml"))});
    part->exportSetTable(result->grid, sp);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("set.xml.xml"))));
    EXPECT_EQ(part->setExportMissing({QStringLiteral("501")}, sp),
              QStringList({"объект: №501  дата: 31.03.2026", "объект: №501  дата: 01.04.2026"}));
    part->setRegistry(nullptr);
}

TEST_F(ReportsPartTest, ClosingStoresTheStateColumnWidths) {
    std::vector<TGridColumn> cols = part->sostColumns();
    ASSERT_GT(cols.size(), 3u);
    cols[3].width = 123; // "Тревожная;кнопка"
    part->saveSostColumnWidths(cols);
    EXPECT_EQ(rows(QStringLiteral("select PRM_SOST_GRID_COL_WIDTH from PARAMS where PRM_NAME = "
                                  "'тревожная кнопка'")),
              QStringList({"123"}));
    cols[3].width = 80;
    part->saveSostColumnWidths(cols);
}
