#include "ui/MainBinder.h"

#include "app/Options.h"
#include "db/DatabaseController.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
#include "maps/MapPanel.h"
#include "session/ClientSession.h"
#include "session/ServerMessages.h"
#include "tracks/TrackPartsModel.h"
#include "ui/ArrowIndicators.h"
#include "ui/AutoConnectForm.h"
#include "ui/ClearStatisticsForm.h"
#include "ui/DateBaseForm.h"
#include "ui/DownloadDataForm.h"
#include "ui/DownloadProgressForm.h"
#include "ui/GroupPanel.h"
#include "ui/GroupStructureForm.h"
#include "ui/LoadTrackForm.h"
#include "ui/MainWindow.h"
#include "ui/MapPanelWidget.h"
#include "ui/OptionsForm.h"
#include "ui/ParamCatalogueForms.h"
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
    bindCommands();
    bindMap();
    bindObjectRegistry();
    bindTracks();
    bindFuel();
    bindDownload();
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
    const TfmMain::Commands &c = m_main.commands();
    connect(&s, &TClientSession::databaseButtonDownChanged, this,
            [c](bool down) { setChecked(c.tbDatabase, down); });
    connect(&s, &TClientSession::serverButtonDownChanged, this,
            [c](bool down) { setChecked(c.tbServer, down); });
    connect(&s, &TClientSession::registryChanged, this, &TMainBinder::bindRegistry);
    connect(&s, &TClientSession::gaugesChanged, this, &TMainBinder::showGauges);
    connect(&s, &TClientSession::gridRefreshRequested, this,
            [this] { m_main.stateGrid()->gridModel()->refresh(); });
    connect(&s, &TClientSession::updateRequested, this, [this] { showUpdate(true); });
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
    c.download->setEnabled(on(TSessionCommand::DownloadData));
    c.downloadObject->setEnabled(on(TSessionCommand::DownloadObject));
}

void TMainBinder::showGauges() {
    if (!m_arrows)
        return;
    const std::optional<TGaugeValues> g = m_session.gauges();
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

void TMainBinder::bindCommands() {
    const TfmMain::Commands &c = m_main.commands();
    TClientSession &s = m_session;

    onTriggered(c.dbConnect, [&s] { s.connectDatabase(); });
    onTriggered(c.dbDisconnect, [&s] { s.disconnectDatabase(); });
    onTriggered(c.tbDatabase, [&s](bool down) { s.databaseButton(down); });
    onTriggered(c.serverConnect, [&s] { s.connectServer(); });
    onTriggered(c.serverDisconnect, [&s] { s.disconnectServer(); });
    onTriggered(c.tbServer, [&s](bool down) { s.serverButton(down); });
    for (QAction *a : c.relayControl->actions()) {
        const int code = a->data().toInt();
        onTriggered(a, [&s, code] { s.sendObjectCommand(code); });
    }
    onTriggered(c.setupDevice, [&s] { s.sendObjectCommand(10); });
    onTriggered(c.clearCache, [&s] { s.clearCache(); });
    onTriggered(c.execScript, [&s] { s.execScript(); });
    onTriggered(c.updateDb, [this] { showUpdate(false); });
    onTriggered(c.clearStatistics, [this] { purge(); });
    onTriggered(c.tbFollowMode, [&s](bool on) { s.setFollowMode(on); });
    s.setFollowMode(c.tbFollowMode->isChecked());

    TSostGrid *grid = m_main.stateGrid();
    connect(grid, &TSostGrid::currentObjectChanged, this, [this](int number, int row) {
        m_session.guard().run([&] { m_session.selectObject(number, row); });
    });
    connect(grid, &QAbstractItemView::doubleClicked, this, [this, grid] {
        bool ok = false;
        const int number = grid->currentObjectText().toInt(&ok);
        if (ok)
            m_session.guard().run([&] { m_session.showObjectOnMap(number); });
    });
}

void TMainBinder::bindMap() {
    const TfmMain::Commands &c = m_main.commands();
    TClientSession &s = m_session;
    TMapPanelWidget *w = m_main.mapWidget();
    const auto guarded = [this](auto f) {
        return [this, f](auto &&...args) { m_session.guard().run([&] { f(args...); }); };
    };
    connect(w, &TMapPanelWidget::wheelTurned, this, guarded([&s](int steps) { s.zoom(steps); }));
    onTriggered(c.tbZoomIn, [&s] { s.zoom(1); });
    onTriggered(c.tbZoomOut, [&s] { s.zoom(-1); });
    onTriggered(c.tbShowAll, [&s](bool on) { s.setShowAllObjects(on); });
    onTriggered(c.tbShowNumbers, [&s](bool on) { s.setShowNumbers(on); });
    onTriggered(c.tbTrackStyle, [&s](bool points) { s.setTrackPoints(points); });
    onTriggered(c.tbDeleteTracks, [&s] { s.deleteTracks(); });
    connect(w, &TMapPanelWidget::clicked, this,
            guarded([&s](const QPoint &pos) { s.mapClicked(pos); }));
    connect(w, &TMapPanelWidget::mousePressed, this,
            guarded([&s](const QPoint &pos, Qt::MouseButton button) {
                s.mapPressed(pos, button == Qt::RightButton);
            }));
    connect(w, &TMapPanelWidget::mouseMoved, this,
            guarded([&s](const QPoint &pos, Qt::MouseButtons buttons) {
                s.mapDragged(pos, buttons & Qt::LeftButton);
            }));
    // "Выбор карты" of the tool bar: the raster maps of the settings.
    onTriggered(c.tbMapSelect, [this] {
        const int i =
            TMapSelectForm::Select(m_session.mapNames(), m_session.currentMapIndex(), &m_main);
        m_session.selectMap(i);
    });
    // The map's context menu lists the same maps.
    connect(c.mapSelect, &QMenu::aboutToShow, this, &TMainBinder::fillMapSelectMenu);

    // "Выбрать тип карты": the raster map or one of the web maps.
    connect(&s.webMap(), &TWebMapBridge::webMapMenuChanged, &m_main, &TfmMain::setWebMapMenu);
    connect(m_main.webMapMenu(), &QMenu::triggered, this, [this](QAction *a) {
        const int tag = a->data().toInt();
        m_session.guard().run([&] {
            if (tag == 0) {
                m_session.selectStaticMap();
                return;
            }
            m_session.selectWebMap(tag);
            // Applied and saved as the settings window's "OK" does.
            if (m_optionsForm) {
                m_optionsForm->OptionsToInterface();
                m_optionsForm->Apply();
            }
        });
    });
    onTriggered(c.tbRefreshWebMap, [&s] { s.refreshWebMap(); });
    connect(&s, &TClientSession::webViewRequested, this, [this](bool web) {
        if (m_optionsForm)
            m_optionsForm->ui.useGoogleMap->setChecked(web); // its switch shows the view
        showWebView(web);
    });
    if (m_optionsForm) {
        connect(m_optionsForm, &TfmOptions::webMapViewSwitched, this, &TMainBinder::showWebView);
        connect(m_optionsForm, &TfmOptions::okPressed, this,
                [this] { m_session.guard().run([this] { m_session.settingsAccepted(); }); });
    }
}

void TMainBinder::bindObjectRegistry() {
    const TfmMain::Commands &c = m_main.commands();
    TClientSession &s = m_session;
    // "База данных" -> "Объекты": the registry window, modal.
    onTriggered(c.objects, [this] {
        TfmDateBase window(m_session, &m_main);
        window.exec();
    });
    onTriggered(c.exportSettings, [&s] { s.exportFieldSettings(); });
    onTriggered(c.importSettings, [&s] { s.importFieldSettings(); });
    // The settings window edits the catalogue on the main connection while it is open.
    if (m_optionsForm && m_optionsForm->paramsPage)
        m_optionsForm->paramsPage->database = [&s]() -> db::TDatabase * {
            return s.databaseConnected() ? &s.database().Database() : nullptr;
        };
}

void TMainBinder::bindTracks() {
    const TfmMain::Commands &c = m_main.commands();
    TClientSession &s = m_session;
    QTableView *table = m_main.trackPartTable();
    table->setModel(&s.trackParts());
    connect(table, &QAbstractItemView::clicked, this, [this](const QModelIndex &i) {
        m_session.guard().run([&] { m_session.sgTrackClick(i.row()); });
    });
    connect(&s, &TClientSession::trackTableShown, this,
            [this] { m_main.statisticsArea()->setCurrentWidget(m_main.trackPartTab()); });
    onTriggered(c.loadTrack, [this] { loadTrack(); });
    onTriggered(c.clearTrack, [&s] { s.miClearTrackClick(); });
    onTriggered(c.exportGpx, [&s] { s.exportTrackGpx(); });
    onTriggered(c.tbBrowseMode, [&s](bool archive) { s.tbBrowseModeClick(archive); });
    connect(&s, &TClientSession::archiveViewChanged, this, [c](bool archive) {
        setChecked(c.tbBrowseMode, archive);
        c.tbBrowseMode->setToolTip(archive ? QStringLiteral("Просмотр архива")
                                           : QStringLiteral("On-line режим"));
    });

    // Imports: the progress window shows the run; the window's events go on meanwhile.
    m_progressForm = new TfrmProgressInput(s.importProgress(), &m_main);
    s.processEvents = [] { QCoreApplication::processEvents(); };
    onTriggered(c.importFiles, [&s] { s.miImportFilesClick(); });
    onTriggered(c.importFolder, [&s] { s.miImportDirectoryClick(); });
    connect(&s, &TClientSession::closeRequested, &m_main, &QWidget::close, Qt::QueuedConnection);

    // The demonstration object.
    c.demoObject->setCheckable(true);
    connect(c.demoObject, &QAction::triggered, this, [this] {
        setChecked(m_main.commands().demoObject, m_session.demoModeOn());
        m_session.guard().run([this] { m_session.miDemoModeClick(); });
    });
    connect(&s, &TClientSession::demoModeChanged, this,
            [c](bool on) { setChecked(c.demoObject, on); });
    connect(&s, &TClientSession::gridRowSelectRequested, this, [this](int row) {
        TSostGrid *grid = m_main.stateGrid();
        grid->setCurrentIndex(grid->gridModel()->index(row - 1, 0));
    });
}

void TMainBinder::loadTrack() {
    const int number = m_session.selectedObject();
    if (!m_session.registry() || number <= 0)
        return;
    if (const std::optional<TLoadTrackRequest> r = TfmLoadTrack::Ask(number, &m_main))
        m_session.miLoadTrackClick(*r);
}

void TMainBinder::bindDownload() {
    const TfmMain::Commands &c = m_main.commands();
    // The progress window shows the run; the window's events go on meanwhile (processEvents).
    m_downloadForm = new TDownloadProgressForm(m_session.downloadProgress(), &m_main);
    onTriggered(c.download, [this] { askDownload(0); });
    onTriggered(c.downloadObject, [this] {
        if (m_session.registry() && m_session.selectedObject() > 0)
            askDownload(m_session.selectedObject());
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
        m_session.downloadDays(choice->number, choice->from, choice->to);
}

void TMainBinder::showWebView(bool web) {
    // The browser is made when the web map is first shown: it is a heavy guest.
    if (web && !m_webView)
        m_webView = new TWebMapView(m_session.webMap());
    m_main.showWebMapView(web, m_webView);
}

void TMainBinder::fillMapSelectMenu() {
    QMenu *menu = m_main.commands().mapSelect;
    menu->clear();
    QStringList names;
    m_session.guard().run([&] { names = m_session.mapNames(); });
    const int current = m_session.currentMapIndex();
    for (int i = 0; i < names.size(); ++i) {
        QAction *a = menu->addAction(names[i]);
        a->setCheckable(true);
        a->setChecked(i == current);
        onTriggered(a, [this, i] { m_session.selectMap(i); });
    }
}

void TMainBinder::showUpdate(bool atConnect) {
    if (!m_updateForm) {
        m_updateForm = new TUpdateDBForm(m_session.options(), m_session.dialogs(),
                                         m_session.database().Database(), &m_main);
        db::TDatabaseUpdater &u = m_updateForm->updater();
        u.saveSettings = [this] {
            if (m_optionsForm) {
                m_optionsForm->SaveOptions();
                m_optionsForm->OptionsToInterface();
            }
        };
        u.disconnectMain = [this] { m_session.disconnectForUpdate(); };
        connect(&u, &db::TDatabaseUpdater::runningChanged, &m_session,
                &TClientSession::setUpdateRunning);
    }
    if (atConnect)
        m_updateForm->PerformUpdate();
    else
        m_updateForm->execModal();
}

void TMainBinder::purge() {
    const TManager *m = m_session.registry();
    if (!m || !m->FindObject(m_session.selectedObject()))
        return;
    TfmClearStatistics dlg(&m_main);
    dlg.fill(*m, m_session.selectedObject());
    if (dlg.exec() == QDialog::Accepted)
        m_session.purgeStatistics(dlg.objectChoice(), dlg.upTo());
}
