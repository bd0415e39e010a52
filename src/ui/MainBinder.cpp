#include "ui/MainBinder.h"

#include "app/Options.h"
#include "db/DatabaseController.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
#include "online/ControllableObject.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/LiveObjects.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/RegistryEdits.h"
#include "session/ReportsPart.h"
#include "session/Runner.h"
#include "session/ServerMessages.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/TrackPartsModel.h"
#include "ui/ArrowIndicators.h"
#include "ui/AutoConnectForm.h"
#include "ui/ClearStatisticsForm.h"
#include "ui/DataForm.h"
#include "ui/DateBaseForm.h"
#include "ui/DownloadDataForm.h"
#include "ui/DownloadProgressForm.h"
#include "ui/GroupPanel.h"
#include "ui/GroupStructureForm.h"
#include "ui/LoadTrackForm.h"
#include "ui/MainWindow.h"
#include "ui/MapPanelWidget.h"
#include "ui/ObjectsSetDataForm.h"
#include "ui/OptionsForm.h"
#include "ui/ParamCatalogueForms.h"
#include "ui/ProgrammingForm.h"
#include "ui/ProgressInputForm.h"
#include "ui/StateGrid.h"
#include "ui/UpdateDBForm.h"
#include "ui/WebMapView.h"
#include "webmap/WebMapBridge.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableView>

#include <cmath>

namespace {
int panelOf(TStatusField field) {
    switch (field) {
    case TStatusField::Objects:
        return 0;
    case TStatusField::DatabaseLamp:
        return 2;
    case TStatusField::LinkLamp:
        return 4;
    case TStatusField::CurrentMap:
        return 5;
    case TStatusField::LinkEvent:
        return 6;
    }
    return -1;
}

int toBgr(const QColor &c) {
    return c.red() | c.green() << 8 | c.blue() << 16;
}

void setChecked(QAction *a, bool on) {
    const QSignalBlocker b(a);
    a->setChecked(on);
}
} // namespace

template <class F> void TMainBinder::onTriggered(QAction *action, F &&f) {
    // A switch follows its state, whoever changes it; a command its triggering.
    const auto signal = action->isCheckable() && std::is_invocable_v<F, bool> &&
                                action != m_main.commands().tbDatabase &&
                                action != m_main.commands().tbServer
                            ? &QAction::toggled
                            : &QAction::triggered;
    connect(action, signal, this, [this, f = std::forward<F>(f)](bool checked) {
        m_session.guard().run([&] {
            if constexpr (std::is_invocable_v<F, bool>)
                f(checked);
            else
                f();
        });
    });
}

TMainBinder::TMainBinder(TfmMain &main, TClientSession &session, TfmArrowIndicators *arrows,
                         TfmOptions *optionsForm)
    : QObject(&main), m_main(main), m_session(session), m_arrows(arrows),
      m_optionsForm(optionsForm) {
    m_autoConnectForm = new TfmAutoConnectToServer(session.server().autoConnect(), &main);
    bindStatus();
    bindDatabase(session.database());
    bindServer();
    bindLive(session.live());
    bindMap(session.map());
    bindWebMap(session.webMap());
    bindRegistryEdits(session.registryEdits());
    bindMaintenance(session.maintenance());
    bindTracks(session.tracks());
    bindRuns(session.runs());
    bindDemo(session.demo());
    bindReports(session.reports());
    bindFuel();
    bindDrains(session.drains());
    applyCommandStates();
}

TMainBinder::~TMainBinder() {
    delete m_autoConnectForm;
    delete m_updateForm;
}

void TMainBinder::bindStatus() {
    TClientSession &s = m_session;
    connect(&s, &TClientSession::statusText, &m_main,
            [this](TStatusField f, const QString &t) { m_main.setStatusText(panelOf(f), t); });
    connect(&s, &TClientSession::statusLamp, &m_main, [this](TStatusField f, const QColor &c) {
        m_main.setStatusLamp(panelOf(f), toBgr(c));
    });
    connect(&s, &TClientSession::busyChanged, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
    connect(&s, &TClientSession::commandsChanged, this, &TMainBinder::applyCommandStates);
    connect(&s, &TClientSession::registryChanged, this, &TMainBinder::bindRegistry);
    connect(&s, &TClientSession::gridRefreshRequested, this,
            [this] { m_main.stateGrid()->gridModel()->refresh(); });
    // A run ended after the window asked to close: it closes now.
    connect(&s, &TClientSession::closeRequested, &m_main, &QWidget::close, Qt::QueuedConnection);
    if (m_optionsForm) {
        connect(&s, &TClientSession::settingsSaveRequested, m_optionsForm, &TfmOptions::Apply);
        connect(m_optionsForm, &TfmOptions::aboutToApply, this,
                [this] { m_session.guard().run([this] { m_session.beforeApplySettings(); }); });
        connect(m_optionsForm, &TfmOptions::applied, this,
                [this] { m_session.guard().run([this] { m_session.afterApplySettings(); }); });
    }
}

void TMainBinder::applyCommandStates() {
    const TfmMain::Commands &c = m_main.commands();
    const auto on = [this](TSessionCommand cmd) { return m_session.isEnabled(cmd); };
    c.dbConnect->setEnabled(on(TSessionCommand::DatabaseConnect));
    c.dbDisconnect->setEnabled(on(TSessionCommand::DatabaseDisconnect));
    c.tbDatabase->setEnabled(on(TSessionCommand::DatabaseButton));
    c.serverConnect->setEnabled(on(TSessionCommand::ServerConnect));
    c.serverDisconnect->setEnabled(on(TSessionCommand::ServerDisconnect));
    c.tbServer->setEnabled(on(TSessionCommand::ServerButton));
    c.clearCache->setEnabled(on(TSessionCommand::ClearCache));
    c.execScript->setEnabled(on(TSessionCommand::ExecScript));
    c.updateDb->setEnabled(on(TSessionCommand::UpdateDatabase));
    c.clearStatistics->setEnabled(on(TSessionCommand::ClearStatistics));
    c.relayControl->setEnabled(on(TSessionCommand::RelayControl));
    c.setupDevice->setEnabled(on(TSessionCommand::SetupDevice));
    for (QAction *a : {c.objects, c.exportSettings, c.importSettings})
        a->setEnabled(on(TSessionCommand::ObjectRegistry));
    c.importFiles->setEnabled(on(TSessionCommand::ImportFiles));
    c.importFolder->setEnabled(on(TSessionCommand::ImportFolder));
    c.demoObject->setEnabled(on(TSessionCommand::DemoObject));
    c.loadTrack->setEnabled(on(TSessionCommand::LoadTrack));
    c.clearTrack->setEnabled(on(TSessionCommand::ClearTrack));
    c.createCalibPoint->setEnabled(on(TSessionCommand::Calibration));
    c.showCalibTable->setEnabled(on(TSessionCommand::Calibration));
    c.statistics->setEnabled(on(TSessionCommand::FuelCharges));
    c.statCharges->setEnabled(on(TSessionCommand::FuelCharges));
    c.showCharges->setEnabled(on(TSessionCommand::FuelCharges));
    c.statDrains->setEnabled(on(TSessionCommand::Drains));
    c.showDrains->setEnabled(on(TSessionCommand::Drains));
    c.download->setEnabled(on(TSessionCommand::DownloadData));
    c.downloadObject->setEnabled(on(TSessionCommand::DownloadObject));
    c.options->setEnabled(on(TSessionCommand::Settings));
    c.statOneObject->setEnabled(on(TSessionCommand::Reports));
    c.statGroups->setEnabled(on(TSessionCommand::Reports));
    c.objectData->setEnabled(on(TSessionCommand::ObjectData));
}

void TMainBinder::showGauges() {
    if (!m_arrows)
        return;
    const int number = m_session.selection().number;
    const TControllableObject *o =
        number > 0 && m_session.registry() ? m_session.registry()->FindObject(number) : nullptr;
    m_arrows->setObject(number, o ? o->Name : QString());
    const std::optional<TGaugeValues> g = m_session.live().gauges();
    if (!g) {
        m_arrows->setValues(NAN, NAN);
        return;
    }
    m_arrows->setVoltage(g->voltage);
    m_arrows->setFuel(g->fuel, g->scale, g->lowerMark, g->upperMark);
}

void TMainBinder::bindRegistry(TManager *m) {
    m_main.groupPanel()->setManager(m);
    m_main.stateGrid()->setManager(m);
    if (!m)
        return;
    connect(m, &TManager::gridRowsChanged, this, [this] {
        TSostGrid *grid = m_main.stateGrid();
        grid->gridModel()->reset();
        // A row is always selected when there is one: it drives the indicators.
        if (grid->gridModel()->rowCount() > 0)
            grid->setCurrentIndex(grid->gridModel()->index(0, 0));
    });
    // "Редактировать состав группы": the membership editor, modal inside the request.
    connect(m, &TManager::editGroupMembersRequested, &m_main,
            [this, m](TGroup *g) { TfmGroupStructure::Edit(*m, g, m_session.dialogs(), &m_main); });
    connect(m, &TManager::gridColumnsChanged, this,
            [this] { m_main.stateGrid()->gridModel()->reset(); });
    connect(m, &TManager::gridInvalidated, this, [this] {
        m_main.stateGrid()->gridModel()->refresh();
        showGauges();
    });
}

void TMainBinder::bindDatabase(TDatabasePart &d) {
    const TfmMain::Commands &c = m_main.commands();
    onTriggered(c.dbConnect, [&d] { d.connectDatabase(); });
    onTriggered(c.dbDisconnect, [&d] { d.disconnectDatabase(); });
    onTriggered(c.tbDatabase, [&d](bool down) { d.databaseButton(down); });
    onTriggered(c.updateDb, [this] { showUpdate(false); });
    connect(&d, &TDatabasePart::buttonDownChanged, this,
            [c](bool down) { setChecked(c.tbDatabase, down); });
    connect(&d, &TDatabasePart::updateRequested, this, [this] { showUpdate(true); });
    // The update switched the settings to the new database: saved, and the window shows them.
    connect(&d, &TDatabasePart::settingsSwitched, this, [this] {
        if (m_optionsForm) {
            m_optionsForm->SaveOptions();
            m_optionsForm->FillFromOptions();
        }
    });
    // The settings window edits the catalogue on the main connection while it is open.
    if (m_optionsForm && m_optionsForm->paramsPage)
        m_optionsForm->paramsPage->database = [&d]() -> db::TDatabase * {
            return d.connected() ? &d.database() : nullptr;
        };
}

void TMainBinder::bindServer() {
    const TfmMain::Commands &c = m_main.commands();
    TClientSession &s = m_session;
    onTriggered(c.serverConnect, [&s] { s.connectServer(); });
    onTriggered(c.serverDisconnect, [&s] { s.disconnectServer(); });
    onTriggered(c.tbServer, [&s](bool down) { s.serverButton(down); });
    connect(&s, &TClientSession::serverButtonDownChanged, this,
            [c](bool down) { setChecked(c.tbServer, down); });
    for (QAction *a : c.relayControl->actions()) {
        const int code = a->data().toInt();
        onTriggered(a, [&s, code] { s.sendObjectCommand(code); });
    }
    // "Настроить прибор": the device command, then the programming window for the row's
    // object (one window for the whole run, always on top).
    m_programmingForm = new TfmProgramming(s.programming(), 0, &m_main);
    onTriggered(c.setupDevice, [this, &s] {
        s.sendObjectCommand(10);
        if (s.selection().number > 0)
            m_programmingForm->showForObject(s.selection().number);
    });
}

void TMainBinder::bindLive(TLiveObjects &live) {
    TSostGrid *grid = m_main.stateGrid();
    connect(grid, &TSostGrid::currentObjectChanged, this, [this, &live](int number, int row) {
        m_session.guard().run([&] { live.selectObject(number, row); });
        m_main.groupPanel()->showObject(number);
    });
    connect(&live, &TLiveObjects::gaugesChanged, this, &TMainBinder::showGauges);
}

void TMainBinder::bindMap(TMapInteraction &map) {
    const TfmMain::Commands &c = m_main.commands();
    TMapPanelWidget *w = m_main.mapWidget();
    const auto guarded = [this](auto f) {
        return [this, f](auto &&...args) { m_session.guard().run([&] { f(args...); }); };
    };
    connect(w, &TMapPanelWidget::wheelTurned, this,
            guarded([&map](int steps) { map.zoom(steps); }));
    TClientSession &s = m_session;
    onTriggered(c.tbZoomIn, [&s] { s.zoom(1); });
    onTriggered(c.tbZoomOut, [&s] { s.zoom(-1); });
    onTriggered(c.tbShowAll, [&s](bool on) { s.showAll(on); });
    onTriggered(c.tbShowNumbers, [&map](bool on) { map.setShowNumbers(on); });
    onTriggered(c.tbTrackStyle, [&map](bool points) { map.setTrackPoints(points); });
    onTriggered(c.tbDeleteTracks, [&map] { map.deleteTracks(); });
    onTriggered(c.tbFollowMode, [&map](bool on) { map.setFollowMode(on); });
    map.setFollowMode(c.tbFollowMode->isChecked());
    connect(w, &TMapPanelWidget::clicked, this,
            guarded([&map](const QPoint &pos) { map.mapClicked(pos); }));
    connect(w, &TMapPanelWidget::mousePressed, this,
            guarded([&map](const QPoint &pos, Qt::MouseButton button) {
                map.mapPressed(pos, button == Qt::RightButton);
            }));
    connect(w, &TMapPanelWidget::mouseMoved, this,
            guarded([&map](const QPoint &pos, Qt::MouseButtons buttons) {
                map.mapDragged(pos, buttons & Qt::LeftButton);
            }));
    // A double click on an object of the grid shows it on the map.
    TSostGrid *grid = m_main.stateGrid();
    connect(grid, &QAbstractItemView::doubleClicked, this, [this, grid, &map] {
        bool ok = false;
        const int number = grid->currentObjectText().toInt(&ok);
        if (ok)
            m_session.guard().run([&] { map.showObjectOnMap(number); });
    });
    // "Выбор карты" of the tool bar: the raster maps of the settings.
    onTriggered(c.tbMapSelect, [this, &map] {
        const int i = TMapSelectForm::Select(map.mapNames(), map.currentMapIndex(), &m_main);
        map.selectMap(i);
    });
    // The map's context menu lists the same maps.
    connect(c.mapSelect, &QMenu::aboutToShow, this, &TMainBinder::fillMapSelectMenu);
}

void TMainBinder::bindWebMap(TWebMapPart &webMap) {
    const TfmMain::Commands &c = m_main.commands();
    // "Выбрать тип карты": the raster map or one of the web maps.
    connect(&webMap.bridge(), &TWebMapBridge::webMapMenuChanged, &m_main, &TfmMain::setWebMapMenu);
    connect(m_main.webMapMenu(), &QMenu::triggered, this, [this, &webMap](QAction *a) {
        const int tag = a->data().toInt();
        m_session.guard().run([&] {
            if (tag == 0) {
                webMap.selectStaticMap();
                return;
            }
            webMap.selectWebMap(tag);
            // Applied and saved as the settings window's "OK" does; the main window keeps its
            // layout.
            if (m_optionsForm) {
                m_optionsForm->FillFromOptions();
                m_optionsForm->Apply();
            }
        });
    });
    onTriggered(c.tbRefreshWebMap, [&webMap] { webMap.refreshWebMap(); });
    connect(&webMap, &TWebMapPart::webViewRequested, this, [this](bool web) {
        if (m_optionsForm)
            m_optionsForm->ui.useGoogleMap->setChecked(web); // its switch shows the view
        showWebView(web);
    });
    if (m_optionsForm) {
        connect(m_optionsForm, &TfmOptions::webMapViewSwitched, this, &TMainBinder::showWebView);
        connect(m_optionsForm, &TfmOptions::okPressed, this, [this, &webMap] {
            m_session.guard().run([&webMap] { webMap.settingsAccepted(); });
        });
    }
}

void TMainBinder::bindRegistryEdits(TRegistryEdits &edits) {
    // "База данных" -> "Объекты": the registry window, modal.
    onTriggered(m_main.commands().objects, [this, &edits] {
        TfmDateBase window(edits, m_session.guard(), &m_main);
        window.exec();
    });
}

void TMainBinder::bindMaintenance(TMaintenance &m) {
    const TfmMain::Commands &c = m_main.commands();
    onTriggered(c.clearCache, [&m] { m.clearCache(); });
    onTriggered(c.execScript, [&m] { m.execScript(); });
    onTriggered(c.clearStatistics, [this] { purge(); });
    onTriggered(c.exportSettings, [&m] { m.exportFieldSettings(); });
    onTriggered(c.importSettings, [&m] { m.importFieldSettings(); });
}

void TMainBinder::bindTracks(TTrackDisplay &tracks) {
    const TfmMain::Commands &c = m_main.commands();
    QTableView *table = m_main.trackPartTable();
    table->setModel(&tracks.trackParts());
    connect(table, &QAbstractItemView::clicked, this, [this, &tracks](const QModelIndex &i) {
        m_session.guard().run([&] { tracks.sgTrackClick(i.row()); });
    });
    connect(&tracks, &TTrackDisplay::trackTableShown, this,
            [this] { m_main.statisticsArea()->setCurrentWidget(m_main.trackPartTab()); });
    onTriggered(c.loadTrack, [this] { loadTrack(); });
    onTriggered(c.clearTrack, [&tracks] { tracks.miClearTrackClick(); });
    onTriggered(c.exportGpx, [&tracks] { tracks.exportTrackGpx(); });
    onTriggered(c.tbBrowseMode, [&tracks](bool archive) { tracks.tbBrowseModeClick(archive); });
    connect(&tracks, &TTrackDisplay::archiveViewChanged, this, [c](bool archive) {
        setChecked(c.tbBrowseMode, archive);
        c.tbBrowseMode->setToolTip(archive ? QStringLiteral("Просмотр архива")
                                           : QStringLiteral("On-line режим"));
    });
}

void TMainBinder::loadTrack() {
    const int number = m_session.selection().number;
    if (!m_session.registry() || number <= 0)
        return;
    if (const std::optional<TLoadTrackRequest> r = TfmLoadTrack::Ask(number, &m_main))
        m_session.tracks().miLoadTrackClick(*r);
}

void TMainBinder::bindRuns(TDataRuns &runs) {
    const TfmMain::Commands &c = m_main.commands();
    // The progress windows show the runs; the main window stays usable meanwhile.
    m_progressForm = new TfrmProgressInput(runs.importProgress(), &m_main);
    m_downloadForm = new TDownloadProgressForm(runs.downloadProgress(), &m_main);
    onTriggered(c.importFiles, [&runs] { runs.miImportFilesClick(); });
    onTriggered(c.importFolder, [&runs] { runs.miImportDirectoryClick(); });
    onTriggered(c.download, [this] { askDownload(0); });
    onTriggered(c.downloadObject, [this] {
        if (m_session.registry() && m_session.selection().number > 0)
            askDownload(m_session.selection().number);
    });
}

void TMainBinder::askDownload(int preset) {
    const TManager *m = m_session.registry();
    if (!m)
        return;
    std::vector<int> numbers;
    for (const TControllableObject *o : m->FObjects)
        numbers.push_back(o->Number);
    if (const auto choice = TDownloadDataForm::Ask(numbers, preset, m_session.dialogs(), &m_main))
        m_session.runs().downloadDays(choice->number, choice->from, choice->to);
}

void TMainBinder::bindDemo(TDemoObject &demo) {
    const TfmMain::Commands &c = m_main.commands();
    c.demoObject->setCheckable(true);
    connect(c.demoObject, &QAction::triggered, this, [this, &demo] {
        setChecked(m_main.commands().demoObject, demo.demoModeOn());
        m_session.guard().run([&demo] { demo.miDemoModeClick(); });
    });
    connect(&demo, &TDemoObject::demoModeChanged, this,
            [c](bool on) { setChecked(c.demoObject, on); });
    connect(&demo, &TDemoObject::gridRowSelectRequested, this, [this](int row) {
        TSostGrid *grid = m_main.stateGrid();
        grid->setCurrentIndex(grid->gridModel()->index(row - 1, 0));
    });
}

void TMainBinder::bindReports(TReportsPart &reports) {
    const TfmMain::Commands &c = m_main.commands();
    // One data window and one object-set window for the run, opened on demand.
    const auto dataWindow = [this, &reports](int object) {
        if (!m_dataForm)
            m_dataForm = new TfmData(reports, m_session.dialogs(), &m_main);
        m_dataForm->Open(object);
    };
    onTriggered(c.statOneObject, [this, dataWindow] { dataWindow(m_session.selection().number); });
    onTriggered(c.objectData, [this, dataWindow] {
        if (m_session.selection().number > 0)
            dataWindow(m_session.selection().number);
    });
    onTriggered(c.statGroups, [this, &reports] {
        if (!m_objectsSetForm)
            m_objectsSetForm = new TfmObjectsSetData(reports, m_session.dialogs(), &m_main);
        m_objectsSetForm->Open();
    });
    // The catalogue edited in the settings window: an open data window shows its new columns.
    if (m_optionsForm)
        connect(m_optionsForm, &TfmOptions::applied, this, [this] {
            if (m_dataForm && m_dataForm->isVisible())
                m_session.guard().run([this] { m_dataForm->rebuildColumns(); });
        });
}

void TMainBinder::showWebView(bool web) {
    // The browser is made when the web map is first shown: it is a heavy guest.
    if (web && !m_webView)
        m_webView = new TWebMapView(m_session.webMap().bridge());
    m_main.showWebMapView(web, m_webView);
}

void TMainBinder::fillMapSelectMenu() {
    QMenu *menu = m_main.commands().mapSelect;
    menu->clear();
    TMapInteraction &map = m_session.map();
    QStringList names;
    m_session.guard().run([&] { names = map.mapNames(); });
    const int current = map.currentMapIndex();
    for (int i = 0; i < names.size(); ++i) {
        QAction *a = menu->addAction(names[i]);
        a->setCheckable(true);
        a->setChecked(i == current);
        onTriggered(a, [&map, i] { map.selectMap(i); });
    }
}

void TMainBinder::showUpdate(bool atConnect) {
    if (!m_updateForm)
        m_updateForm = new TUpdateDBForm(m_session.database(), m_session.dialogs(), &m_main);
    if (atConnect)
        m_updateForm->PerformUpdate();
    else
        m_updateForm->execModal();
}

void TMainBinder::purge() {
    const TManager *m = m_session.registry();
    const int selected = m_session.selection().number;
    if (!m || !m->FindObject(selected))
        return;
    TfmClearStatistics dlg(&m_main);
    dlg.fill(*m, selected);
    if (dlg.exec() == QDialog::Accepted)
        m_session.maintenance().purgeStatistics(dlg.objectChoice(), dlg.upTo());
}
