// The track windows bound to the session: the demonstration object's track loaded into the
// parts table and onto the sample map, a row click, the replay driving; the load dialog, the
// number dialog and the progress window. With ZARNEX_SCREENSHOT_DIR set, the main window is
// saved there at the two moments worth looking at.

#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/TrackImport.h"
#include "link/SimProcess.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/FuelPart.h"
#include "session/LiveObjects.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/RegistryEdits.h"
#include "session/Runner.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/DeviceData.h"
#include "tracks/TrackPartsModel.h"
#include "ui/InputBox.h"
#include "ui/LoadTrackForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"
#include "ui/ProgressInputForm.h"
#include "ui/StateGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
void screenshot(QWidget &w, const QString &name) {
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    w.grab().save(dir + "/" + name + ".png");
}
} // namespace

TEST(TrackWindows, TheDemonstrationTrackInThePartsTableAndOnTheMap) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    QTemporaryDir tmp;
    const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(f);
    QDir().mkpath(f.DataDir + "1000");
    ASSERT_TRUE(QFile::copy(ZARNEX_BIN_DIR "/data/1000/demo.dat", f.DataDir + "1000/demo.dat"));
    TOptions options = options::Defaults(f);
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    options.Maps = {ZARNEX_BIN_DIR "/map/moscow-overview.map"};
    options.DefaultMap = 0;
    TScriptedDialogs dialogs;

    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    main.resize(1200, 860);
    main.show();
    s.map().openMaps();
    ASSERT_TRUE(waitUntil([&] { return s.map().panel().isMapReady(); }, 10000));
    const TfmMain::Commands &c = main.commands();
    EXPECT_FALSE(c.demoObject->isEnabled());
    c.dbConnect->trigger();
    ASSERT_TRUE(c.demoObject->isEnabled());
    EXPECT_TRUE(c.importFiles->isEnabled() && c.loadTrack->isEnabled());

    // "Включить демо-объект": the object appears in the grid, selected, and the item checked.
    c.demoObject->trigger();
    ASSERT_TRUE(s.demo().demoModeOn()) << dialogs.messages().join("\n").toStdString();
    EXPECT_TRUE(c.demoObject->isChecked());
    EXPECT_EQ(main.stateGrid()->currentObjectText(), "1000");

    // "Демо-трек" of the load dialog.
    s.tracks().miLoadTrackClick(TLoadTrackRequest{1000, true, 0, 0, false});
    EXPECT_EQ(main.statisticsArea()->currentWidget(), main.trackPartTab());
    EXPECT_TRUE(c.tbBrowseMode->isChecked());
    QTableView *table = main.trackPartTable();
    ASSERT_EQ(table->model()->rowCount(), int(s.tracks().trackList().size()) + 1);
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Весь");
    const TTrack *track = s.map().items().Item(1000)->track();
    EXPECT_GT(track->Count(), 100);
    EXPECT_EQ(s.map().items().restPlaces().size(), 4u);
    s.map().zoom(-1);
    s.map().panel().MoveCamera(TGeoCoords{55.79 * 60, 37.57 * 60});
    s.map().panel().Repaint();
    QTest::qWait(200);
    screenshot(main, "loaded-track");

    // Row clicks: the customer's stop draws no line, the first drive only its own points,
    // "Весь" everything again.
    const auto click = [&](int row) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(row, 0)).center());
        return track->Count();
    };
    ASSERT_EQ(table->model()->index(3, 0).data().toString(), "стоянка");
    const int all = track->Count();
    EXPECT_EQ(click(3), 0);
    const int firstDrive = click(2);
    EXPECT_GT(firstDrive, 50);
    EXPECT_LT(firstDrive, all);
    // The first drawing also took the archive step (the item's first position): one point more.
    EXPECT_EQ(click(0), all - 1);

    // The replay in on-line mode: the drawn track follows the object.
    c.clearTrack->trigger();
    EXPECT_FALSE(c.tbBrowseMode->isChecked());
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "-");
    for (int i = 0; i < 120; ++i)
        s.demo().tmrDemoModeTimer();
    EXPECT_GT(track->Count(), 40);
    s.map().zoom(2);
    main.statisticsArea()->setCurrentIndex(0);
    QTest::qWait(200);
    screenshot(main, "demo-driving");

    c.demoObject->trigger();
    EXPECT_FALSE(s.demo().demoModeOn());
    EXPECT_FALSE(c.demoObject->isChecked());
    c.dbDisconnect->trigger();
    EXPECT_FALSE(c.demoObject->isEnabled());
}

TEST(TrackWindows, LoadDialogNumberDialogAndProgressWindow) {
    {
        TfmLoadTrack demo(1000), other(7);
        EXPECT_EQ(demo.windowTitle(), "Загрузить трек - объект №1000");
        EXPECT_FALSE(demo.btnDemo->isHidden());
        EXPECT_TRUE(other.btnDemo->isHidden());
        EXPECT_FALSE(demo.dtEndDate->isEnabled());
        demo.cbToCurrent->setChecked(false);
        EXPECT_TRUE(demo.dtEndDate->isEnabled());
        demo.cbToCurrent->setChecked(true);
        demo.btnDemo->click();
        EXPECT_EQ(demo.result(), TfmLoadTrack::ResultDemo);
        EXPECT_FALSE(demo.cbToCurrent->isChecked());
        const TLoadTrackRequest r = demo.request(demo.result());
        EXPECT_TRUE(r.demo);
        EXPECT_EQ(r.number, 1000);
        EXPECT_NEAR(r.end - r.start, 86399.0 / 86400, 1e-8);
    }
    {
        TInputBox box("Добавление данных из файла в базу", "Укажите номер объекта:", 0);
        box.edit->clear();
        EXPECT_EQ(box.number(), 0);
        QTest::keyClicks(box.edit, "1a2-");
        EXPECT_EQ(box.edit->text(), "12");
        EXPECT_EQ(box.number(), 12);
    }
    {
        TImportProgress progress;
        TfrmProgressInput form(progress);
        progress.start(2);
        EXPECT_TRUE(form.isVisible());
        EXPECT_EQ(form.cancelBtn->text(), "Отмена");
        progress.log("Импорт файла: a.dat");
        form.cancelBtn->click();
        EXPECT_TRUE(progress.Cancelled);
        EXPECT_EQ(form.cancelBtn->text(), "Закрыть");
        EXPECT_EQ(form.memoLog->toPlainText(), "Импорт файла: a.dat\nОтменено пользователем.");
        form.close(); // the close box acts as the button
        EXPECT_FALSE(form.isVisible());
    }
}

// A modal window opened while an import runs does not suspend the run: it goes on from the
// modal window's own event loop, the commands that would open another window or touch its data
// are off, and its "Отмена" ends it.
TEST(TrackWindows, AnImportStaysCancellableWhileAModalWindowIsOpen) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (7, 'Семь')");
    QTemporaryDir tmp;
    const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(f);
    TOptions options = options::Defaults(f);
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    // Twenty day files of a record every ten seconds, each state different.
    QStringList files;
    for (int d = 0; d < 20; ++d) {
        const QString name =
            tmp.path() + "/202612" + QString::number(d + 1).rightJustified(2, '0') + ".dat";
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 8640; ++i) {
            QByteArray st(9, '\0');
            st[1] = char(0x08 | (i & 1));
            file.write(TDeviceRecord{
                dt::encode(2026, 12, 1 + d) + i / 8640.0, {3345.0L + i / 10000.0L, 2256.0L}, st}
                           .toBytes());
        }
        files << name;
    }
    TScriptedDialogs dialogs;
    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    main.show();
    const TfmMain::Commands &c = main.commands();
    c.dbConnect->trigger();
    ASSERT_TRUE(c.importFiles->isEnabled());

    dialogs.files = {files};
    dialogs.texts = {"7"};
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    int progressInModal = -1, progressAtOpen = -1;
    bool commandsOff = false;
    // Soon after the start a modal window opens; while it is open the run advances and the user
    // presses "Отмена" of the progress window.
    QTimer::singleShot(50, [&] {
        commandsOff = !c.loadTrack->isEnabled() && !c.showCalibTable->isEnabled() &&
                      !c.objects->isEnabled() && !c.options->isEnabled() &&
                      !c.importFiles->isEnabled();
        // The disabled commands do nothing when triggered anyway.
        c.loadTrack->trigger();
        QDialog modal(&main);
        progressAtOpen = s.runs().importProgress().position();
        QTimer::singleShot(0, [&] {
            QTimer *poll = new QTimer(&modal);
            QObject::connect(poll, &QTimer::timeout, [&] {
                if (s.runs().importProgress().position() > progressAtOpen + 1) {
                    progressInModal = s.runs().importProgress().position();
                    auto *form = main.findChild<TfrmProgressInput *>();
                    ASSERT_TRUE(form && form->isVisible());
                    form->findChild<QPushButton *>()->click(); // "Отмена"
                    modal.accept();
                }
            });
            poll->start(5);
        });
        QTimer::singleShot(20000, &modal, &QDialog::reject);
        modal.exec();
    });
    c.importFiles->trigger();
    ASSERT_TRUE(s.runner().active());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(commandsOff);
    EXPECT_GT(progressInModal, progressAtOpen) << "the run stood still under the modal window";
    EXPECT_LT(s.runs().importProgress().position(), files.size()) << "the cancel was not taken";
    EXPECT_TRUE(s.runs().importProgress().lines().contains("Отменено пользователем."));
    EXPECT_TRUE(c.loadTrack->isEnabled());
    c.dbDisconnect->trigger();
}
