// The data window and the object-set window on the two-day fixture: what each page shows, the
// commands' messages, the refuelling marked on the analog chart; with ZARNEX_SCREENSHOTS set to
// a folder, every page and view is saved there as PNG.

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/ErrorGuard.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "reports/FuelCharges.h"
#include "reports/ReportFixture.h"
#include "session/ReportsPart.h"
#include "session/Runner.h"
#include "ui/DataForm.h"
#include "ui/ObjectsSetDataForm.h"

using namespace reporttest;

namespace {

class ReportWindowsTest : public ReportDbTest {
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
        registry = std::make_unique<TManager>(shared()->settings, dialogs, cache.path());
        part = std::make_unique<TReportsPart>(options, dialogs, runner, controller->Database());
        part->setRegistry(registry.get());
    }
    void TearDown() override {
        part.reset();
        registry.reset();
        if (controller)
            controller->Database().forceClose();
    }
    void waitIdle() {
        QSignalSpy idle(&runner, &TRunner::finished);
        if (runner.active())
            ASSERT_TRUE(idle.wait(60000));
        QApplication::processEvents();
    }
    void shoot(QWidget &w, const QString &name) {
        const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOTS");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QApplication::processEvents();
        w.grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
    }
    void setPeriod(TfmData &f) {
        f.ui.dtpStartDate->setDate(QDate(2026, 3, 31));
        f.ui.dtpEndDate->setDate(QDate(2026, 4, 1));
        f.ui.dtpStartTime->setTime(QTime(0, 0, 0));
        f.ui.dtpEndTime->setTime(QTime(23, 59, 59));
        f.ui.cbDetectCharges->setChecked(false);
    }

    TScriptedDialogs dialogs;
    TErrorGuard guard{dialogs};
    TRunner runner{guard};
    std::unique_ptr<db::TDatabaseController> controller;
    std::unique_ptr<TManager> registry;
    std::unique_ptr<TReportsPart> part;
};

} // namespace

TEST_F(ReportWindowsTest, DataWindowPagesParametersAndQueries) {
    TfmData f(*part, dialogs);
    f.Open(kObject);
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Данные"));
    EXPECT_EQ(f.ui.cbObjNumber->currentText(), QStringLiteral("501"));
    EXPECT_EQ(f.ui.cbDetectCharges->toolTip(),
              QStringLiteral("Оперделение заправок достаточно выполнить только 1 раз за период. "
                             "\r\nЕсли определение заправок не выполнялось, \r\nто учет расхода "
                             "топлива покажет неверные значения в день заправки."));
    EXPECT_EQ(f.ui.chCalc->chart()->title(),
              QStringLiteral("Для отображения графика щелкните требуемый стобец"));
    setPeriod(f);

    // Which parameters each page shows.
    const auto visible = [&](QWidget *w) { return w->isVisibleTo(&f); };
    f.ui.pages->setCurrentIndex(int(TDataPage::States));
    EXPECT_FALSE(visible(f.ui.btnSettings));
    EXPECT_TRUE(visible(f.ui.btnExport));
    EXPECT_TRUE(visible(f.ui.pnMaxLost));
    EXPECT_FALSE(visible(f.ui.gbResultFormat));
    EXPECT_FALSE(visible(f.ui.pnDetect));
    f.ui.cbDetectCharges->setChecked(true);
    f.ui.cbDetectCharges->setChecked(false);
    EXPECT_FALSE(f.ui.edDeltaF->isEnabled()); // unticking disables the threshold

    f.btnQueryClick();
    waitIdle();
    ASSERT_EQ(f.sostModel().rowCount(), 6);
    EXPECT_EQ(f.sostModel().grid().cell(1, 2), QStringLiteral("отказ автомата защиты 65 вольт"));
    shoot(f, QStringLiteral("data-states"));

    f.ui.pages->setCurrentIndex(int(TDataPage::Daily));
    EXPECT_TRUE(visible(f.ui.btnSettings));
    EXPECT_TRUE(visible(f.ui.gbResultFormat));
    EXPECT_TRUE(visible(f.ui.pnAvg));
    f.ui.eAvgPeriod->setText(QStringLiteral("0"));
    f.btnQueryClick();
    waitIdle();
    ASSERT_EQ(f.calcModel().rowCount(), 3);
    f.calcHeaderClicked(f.calcModel().grid().columnOf(QStringLiteral("PAR_GENTIME")));
    EXPECT_EQ(f.ui.chCalc->chart()->title(),
              QStringLiteral("Статистика по объекту - 501 (Время работы двигателя)"));
    EXPECT_EQ(f.ui.chCalc->chart()->series().size(), 1);
    EXPECT_TRUE(f.ui.mTraceCalc->toPlainText().contains(QStringLiteral("Суммарный расход")));
    shoot(f, QStringLiteral("data-daily"));

    f.ui.pages->setCurrentIndex(int(TDataPage::Period));
    f.ui.rbHours->setChecked(true);
    f.btnQueryClick();
    waitIdle();
    ASSERT_EQ(f.periodModel().rowCount(), 1);
    EXPECT_EQ(f.periodModel().grid().cell(0, 9), QStringLiteral("5:00:00"));
    shoot(f, QStringLiteral("data-period"));

    // A typed object that is not a number.
    f.ui.cbObjNumber->setEditText(QStringLiteral("5a"));
    f.btnQueryClick();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, QStringLiteral("Неверно указан номер объекта \"5a\"."));
    EXPECT_EQ(dialogs.calls[0].caption, QStringLiteral("Запрос статистики"));
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Warning);
    EXPECT_FALSE(runner.active());
    f.close();
}

TEST_F(ReportWindowsTest, AnalogPageDrawsAndMarksARefuelling) {
    TfmData f(*part, dialogs);
    f.Open(kObject);
    setPeriod(f);
    f.ui.dtpStartDate->setDate(QDate(2026, 4, 1));
    f.ui.pages->setCurrentIndex(int(TDataPage::Analog));
    EXPECT_FALSE(f.ui.btnExport->isVisibleTo(&f));
    f.ui.cbAvgTime->setEditText(QStringLiteral("5 минут"));
    f.btnQueryClick();
    EXPECT_EQ(dialogs.messages(), QStringList({"Неверно указан интервал усреднения"}));
    dialogs.calls.clear();
    f.ui.cbAvgTime->setEditText(QStringLiteral("00:05"));
    f.ui.cbParams->setCurrentIndex(apFuelLitres);
    f.btnQueryClick();
    waitIdle();
    EXPECT_EQ(f.analog().points.size(), 288u); // a point per five minutes of the day
    EXPECT_EQ(f.analog().bars.size(), 2u);
    EXPECT_EQ(part->analogCharges().rowCount(), 1);
    shoot(f, QStringLiteral("data-analog"));

    // "Добавить заправку", then the beginning and the end clicked on the chart.
    f.ui.tbAddCharge->click();
    EXPECT_EQ(f.ui.chAnalog->cursor().shape(), Qt::PointingHandCursor);
    f.chartPressed(day2() + dt::encodeTime(18, 0, 0), 100);
    f.chartPressed(day2() + dt::encodeTime(18, 20, 0), 100);
    waitIdle();
    ASSERT_EQ(f.ui.lbEditLog->count(), 1);
    EXPECT_EQ(f.ui.lbEditLog->item(0)->text(),
              QStringLiteral("Добавлена заправка: начало в 01.04.2026 18:00:00, окончание в "
                             "01.04.2026 18:20:00"));
    EXPECT_EQ(part->analogCharges().rowCount(), 2);
    EXPECT_EQ(f.analog().bars.size(), 4u);

    // Deleting without a selected row asks for one; with it, after the question.
    f.ui.sgCharges->clearSelection();
    f.ui.tbDelCharge->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Необходимо выбрать запись для удаления"}));
    f.ui.sgCharges->selectRow(1);
    dialogs.answers.push_back(mbYes);
    f.ui.tbDelCharge->click();
    EXPECT_EQ(dialogs.messages().last(), QStringLiteral("Удалено записей: 1"));
    EXPECT_EQ(part->analogCharges().rowCount(), 1);
    dialogs.expectDone();
    f.close();
}

TEST_F(ReportWindowsTest, ObjectSetWindowBuildsTheListAndBothViews) {
    TfmObjectsSetData f(*part, dialogs);
    f.Open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Данные по нескольким объектам"));
    QTreeWidget *tree = f.ui.tvAvailibleObjects;
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Группы"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Свободные объекты"));
    QTreeWidgetItem *a = tree->topLevelItem(0)->child(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->text(0), QStringLiteral("A"));
    // Objects 501 and 502 and the groups A and A~B.
    tree->clearSelection();
    std::function<void(QTreeWidgetItem *)> select = [&](QTreeWidgetItem *item) {
        item->setSelected(true);
        for (int i = 0; i < item->childCount(); ++i)
            select(item->child(i));
    };
    select(a);
    f.dropTreeSelection();
    QStringList texts;
    for (int i = 0; i < f.ui.lbAssignObjects->count(); ++i)
        texts << f.ui.lbAssignObjects->item(i)->text();
    EXPECT_EQ(texts, QStringList({"501", "502", "A", "A~B"}));
    f.ui.lbAssignObjects->setCurrentRow(1);
    f.ui.lbAssignObjects->item(1)->setSelected(true);
    f.removeSelectedEntries();
    EXPECT_EQ(f.ui.lbAssignObjects->count(), 3);

    f.btnExportClick(); // before any table query
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Необходимо выполнить запрос хотя бы по одному объекту."}));
    f.ui.dtpStart->setDate(QDate(2026, 3, 31));
    f.ui.dtpEnd->setDate(QDate(2026, 4, 1));
    f.ui.cbDetectCharges->setChecked(false);
    f.btnQueryClick();
    waitIdle();
    EXPECT_EQ(f.table().grid().rowCaptions,
              QStringList({"Тепловоз <1> & Co ( 501 )", "Итог", "A", "Итог", "A~B", "Итог"}));
    f.ui.cbLegend->setChecked(true);
    shoot(f, QStringLiteral("set-table"));
    f.ui.cbLegend->setChecked(false);

    EXPECT_FALSE(f.ui.gbInterval->isEnabled());
    f.ui.rbChart->setChecked(true); // switching the view runs the query
    waitIdle();
    EXPECT_TRUE(f.ui.gbInterval->isEnabled());
    EXPECT_FALSE(f.ui.cbLegend->isEnabled());
    const int gen = f.ui.cbChartParam->findText(QStringLiteral("Время работы двигателя"));
    ASSERT_GE(gen, 0);
    f.ui.cbChartParam->setCurrentIndex(gen);
    waitIdle();
    ASSERT_EQ(f.chartData().series.size(), 3u);
    EXPECT_EQ(f.chartData().series[0].values, std::vector<double>({2, 3}));
    shoot(f, QStringLiteral("set-chart-days"));
    f.ui.rbByMonth->setChecked(true);
    waitIdle();
    EXPECT_EQ(f.chartData().series[0].labels, QStringList({"3.2026", "4.2026"}));
    shoot(f, QStringLiteral("set-chart-months"));
    f.close();
}
