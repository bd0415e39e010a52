#include "ui/MainLinks.h"

#include "app/Folders.h"
#include "app/Logging.h"
#include "db/Database.h"
#include "db/DatabaseController.h"
#include "db/DatabaseUpdate.h"
#include "db/ScriptExecution.h"
#include "link/ClientSock.h"
#include "maps/MapObjects.h"
#include "online/GroupManager.h"
#include "online/MapObjManager.h"
#include "online/OnlineData.h"
#include "online/ServerMessages.h"
#include "online/StatisticsPurge.h"
#include "tracks/CacheCleaner.h"
#include "tracks/FileManager.h"
#include "ui/ArrowIndicators.h"
#include "ui/AutoConnectForm.h"
#include "ui/ClearStatisticsForm.h"
#include "ui/GroupPanel.h"
#include "ui/MainWindow.h"
#include "ui/MapPanelWidget.h"
#include "ui/OptionsForm.h"
#include "ui/StateGrid.h"
#include "ui/UpdateDBForm.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>

TMainLinks::TMainLinks(TfmMain &main, TOptions &options, TDialogs &dialogs,
                       TfmArrowIndicators *arrows, TfmOptions *optionsForm)
    : m_main(main), m_options(options), m_dialogs(dialogs), m_arrows(arrows),
      m_optionsForm(optionsForm) {
    m_db = std::make_unique<db::TDatabaseController>(options, dialogs);
    m_server = std::make_unique<TServerController>(options, dialogs);
    m_fmngr = std::make_unique<TFManager>();
    m_processor = std::make_unique<TOnlineProcessor>(*m_fmngr, m_db->Database(), CoordCacheDir());
    m_server->setProcessor(m_processor.get());
    // The link thread lives from here to the end of the run; only its socket comes and goes.
    m_client = std::make_unique<TClientThread>([this] { m_server->ClientDataIn(); },
                                               [this] { m_server->ClientStateChanged(); });
    m_server->setClient(m_client.get());
    m_autoConnectForm = new TfmAutoConnectToServer(m_server->autoConnect(), &main);

    wireStatus();
    wireCommands();
    wireMap();

    TMainController &c = main.controller();
    c.isDatabaseConnected = [this] { return m_db->FLastDbConnectionSost == 1; };
    c.connectDatabase = [this] {
        m_db->miConnectToDBClick();
        return m_db->FLastDbConnectionSost == 1;
    };
    c.connectServer = [this] { m_server->miConnectToServerClick(); };
    c.disconnectServer = [this] { m_server->DisconnectFromServer(); };
    c.saveGridColumnWidths = [this] {
        if (m_manager)
            m_manager->SaveSostGridColWidth();
    };
    c.stopLinkThread = [this] {
        // No state callback may run into a window that is closing.
        m_client->Terminate();
    };
    c.disconnectDatabase = [this] { m_db->miDisconnectFromDBClick(); };
    if (m_optionsForm) {
        m_optionsForm->beforeApplyConnected = [this] {
            if (m_manager)
                m_manager->SaveSostGridColWidth();
        };
        m_optionsForm->afterApplyConnected = [this] {
            if (!m_manager)
                return;
            m_manager->RestructSostGridFields();
            m_main.stateGrid()->gridModel()->reset();
        };
    }
}

TMainLinks::~TMainLinks() {
    m_client.reset(); // joins the worker before anything it calls back into goes
    m_mapObjs.reset();
    delete m_autoConnectForm;
    delete m_updateForm;
    destroyManager();
}

void TMainLinks::createManager() {
    destroyManager();
    m_manager = std::make_unique<TManager>(db::TConnectionSettings::fromOptions(m_options),
                                           m_dialogs, CoordCacheDir());
    TManager *m = m_manager.get();
    m->clearMapObjects = [this] { m_mapObjs->Clear(); };
    registerMapObjects();
    m_server->setManager(m);
    m_main.groupPanel()->setManager(m);
    m_main.stateGrid()->setManager(m);
    connect(m, &TManager::gridRowsChanged, this, [this] {
        TSostGrid *grid = m_main.stateGrid();
        grid->gridModel()->reset();
        // A row is always selected when there is one: it drives the indicators.
        if (grid->gridModel()->rowCount() > 0)
            grid->setCurrentIndex(grid->gridModel()->index(0, 0));
    });
    connect(m, &TManager::gridColumnsChanged, this,
            [this] { m_main.stateGrid()->gridModel()->reset(); });
    connect(m, &TManager::gridInvalidated, this, &TMainLinks::refreshGrid);
}

void TMainLinks::destroyManager() {
    if (!m_manager)
        return;
    m_server->setManager(nullptr);
    m_main.groupPanel()->setManager(nullptr);
    m_main.stateGrid()->setManager(nullptr);
    m_manager.reset();
}

void TMainLinks::refreshGrid() {
    m_main.stateGrid()->gridModel()->refresh();
    updateGauges(m_manager ? m_manager->selectedRow() : -1);
}

void TMainLinks::updateGauges(int row) {
    if (!m_arrows)
        return;
    if (!m_manager || row < 1) {
        m_arrows->setValues(NAN, NAN);
        return;
    }
    const TGaugeValues g = m_manager->gaugesFor(row);
    m_arrows->setVoltage(g.voltage);
    m_arrows->setFuel(g.fuel, g.scale, g.lowerMark, g.upperMark);
}

void TMainLinks::wireStatus() {
    connect(m_db.get(), &db::TDatabaseController::statusPanel2Changed, &m_main,
            [this](const QColor &c) {
                m_main.setStatusLamp(2, c.red() | c.green() << 8 | c.blue() << 16);
            });
    connect(m_server.get(), &TServerController::statusLamp, &m_main, &TfmMain::setStatusLamp);
    connect(m_server.get(), &TServerController::statusText, &m_main, &TfmMain::setStatusText);
    connect(m_server.get(), &TServerController::redrawGrid, this, &TMainLinks::refreshGrid);
    connect(m_db.get(), &db::TDatabaseController::busyChanged, this, [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

void TMainLinks::wireCommands() {
    const TfmMain::Commands &c = m_main.commands();

    // Database.
    connect(c.dbConnect, &QAction::triggered, m_db.get(),
            &db::TDatabaseController::miConnectToDBClick);
    connect(c.dbDisconnect, &QAction::triggered, m_db.get(),
            &db::TDatabaseController::miDisconnectFromDBClick);
    connect(c.tbDatabase, &QAction::triggered, this, [this](bool down) {
        if (down)
            m_db->miConnectToDBClick();
        else
            m_db->miDisconnectFromDBClick();
    });
    connect(m_db.get(), &db::TDatabaseController::connectButtonDownChanged, this, [c](bool down) {
        const QSignalBlocker b(c.tbDatabase);
        c.tbDatabase->setChecked(down);
    });
    connect(m_db.get(), &db::TDatabaseController::databaseCommandsChanged, this,
            [this, c](bool on) {
                // Commands of the parts present in this build; the others stay off.
                c.dbConnect->setEnabled(!on);
                c.dbDisconnect->setEnabled(on);
                c.execScript->setEnabled(!on);
                c.serverConnect->setEnabled(on && m_server->FCurrentConnectState != 1);
                c.tbServer->setEnabled(on);
                c.clearStatistics->setEnabled(on);
                if (!on)
                    c.serverDisconnect->setEnabled(false);
            });
    m_db->afterConnect = [this] { createManager(); };
    m_db->afterConnected = [this] {
        if (!m_manager)
            return;
        m_manager->ResetHadOnlineDataState();
        m_manager->RestructSostGridFields();
        m_manager->selectView(m_manager->viewIndex() < 0 ? 0 : m_manager->viewIndex());
        m_main.setStatusText(0, m_manager->AllObjConnectObjRatio());
    };
    m_db->closeServerLink = [this] {
        if (m_client->getState() != 0)
            m_server->DisconnectFromServer();
    };
    m_db->destroyManager = [this] { destroyManager(); };

    // Server.
    connect(c.serverConnect, &QAction::triggered, m_server.get(),
            &TServerController::miConnectToServerClick);
    connect(c.serverDisconnect, &QAction::triggered, m_server.get(),
            &TServerController::DisconnectFromServer);
    connect(c.tbServer, &QAction::triggered, m_server.get(), &TServerController::tbServerClick);
    connect(m_server.get(), &TServerController::serverButtonDownChanged, this, [c](bool down) {
        const QSignalBlocker b(c.tbServer);
        c.tbServer->setChecked(down);
    });
    connect(m_server.get(), &TServerController::connectCommandsChanged, this,
            [this, c](bool connectOn, bool disconnectOn) {
                c.serverConnect->setEnabled(connectOn && m_db->FLastDbConnectionSost == 1);
                c.serverDisconnect->setEnabled(disconnectOn);
            });
    connect(m_server.get(), &TServerController::controlOutsEnabledChanged, this, [c](bool on) {
        c.relayControl->setEnabled(on);
        c.setupDevice->setEnabled(on);
    });
    m_server->databaseConnected = [this] { return m_db->FLastDbConnectionSost == 1; };
    m_server->connectDatabase = [this] { m_db->miConnectToDBClick(); };

    // Relay commands and "Настроить прибор" for the object of the grid's current row.
    for (QAction *a : c.relayControl->actions())
        connect(a, &QAction::triggered, this, [this, a] {
            m_server->SendObjectCommand(m_main.stateGrid()->currentObjectText(), a->data().toInt());
        });
    connect(c.setupDevice, &QAction::triggered, this,
            [this] { m_server->SendObjectCommand(m_main.stateGrid()->currentObjectText(), 10); });
    connect(m_main.stateGrid(), &TSostGrid::currentObjectChanged, this,
            [this](int number, int row) {
                m_server->EnDisControlOuts(number);
                updateGauges(row);
            });

    connect(c.clearCache, &QAction::triggered, this, [this] { ClearCache(m_fmngr.get()); });

    // Maintenance.
    connect(c.execScript, &QAction::triggered, this, [this] {
        guarded([this] { db::TScriptExecution(m_options, m_dialogs).miExecScriptClick(); });
    });
    connect(c.updateDb, &QAction::triggered, this,
            [this] { guarded([this] { updateForm().execModal(); }); });
    m_db->PerformUpdate = [this] { updateForm().PerformUpdate(); };
    connect(c.clearStatistics, &QAction::triggered, this, [this] { guarded([this] { purge(); }); });
}

namespace {
QColor fromBgr(int c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
} // namespace

void TMainLinks::registerMapObjects() {
    m_mapObjs->Clear();
    if (!m_manager)
        return;
    for (TControllableObject *o : m_manager->FObjects) {
        // Loaded from the registry: stored data until the server says otherwise.
        TDataRecord r;
        r.FTimeStamp = o->TS;
        r.FCoords = TGeoCoords{o->Lat, o->Lng};
        r.Status = 1;
        if (TManagedItem *item = m_mapObjs->AddObject(o->Number, r)) {
            item->FArchive = true;
            item->marker()->FColor = m_mapObjs->FDefaultArchiveMarkerColor;
            item->description().Name = o->Name;
        }
    }
    m_main.mapWidget()->panel().Repaint();
}

void TMainLinks::followActive(bool selectBest) {
    TMapPanel &panel = m_main.mapWidget()->panel();
    TManagedItem *item = m_mapObjs->Item(m_mapObjs->GetActiveObject());
    if (!item || !m_main.followMode())
        return;
    const TGeoCoords pos = item->current().FCoords;
    if (pos.Latitude == 0 && pos.Longitude == 0)
        return;
    if (selectBest && (!panel.isCoordsInCurrentMap(pos) || m_options.SelectBestMap) &&
        m_options.AutoMapChange)
        panel.SelectBestFitMap(pos, true);
    if (panel.isCoordsInCurrentMap(pos))
        panel.MoveCamera(pos);
}

void TMainLinks::showPickedInfo() {
    TMapPanel &panel = m_main.mapWidget()->panel();
    int number = -1;
    TPositionSnapshot pos;
    const bool hit = panel.isMapReady() &&
                     m_mapObjs->GetObjInCoords(panel.ScreenToMap(m_lastMapPos), number, pos, 819);
    if (!hit) {
        if (m_infoLabel) {
            panel.RemoveObject(m_infoLabel);
            m_infoLabel = nullptr;
        }
        panel.Repaint();
        return;
    }
    // The speed at the picked point: from the track point before it, when it is plausible.
    QString speed = QStringLiteral("---");
    if (const TManagedItem *item = m_mapObjs->Item(number)) {
        const TTrack *tr = item->track();
        for (int k = 1; k < tr->Count(); ++k) {
            if (tr->Point(k).DateTime != pos.TimeStamp)
                continue;
            const TTrackPoint &a = tr->Point(k - 1), &b = tr->Point(k);
            const long double seconds = (b.DateTime - a.DateTime) * 86400.0L;
            if (seconds > 0) {
                const long double kmh = GeoDistance(a.GeoCoords, b.GeoCoords) * 3.6L / seconds;
                if (kmh < m_options.MaxSpeed)
                    speed = QString::asprintf("%.2f", double(kmh)).replace('.', ',') +
                            QStringLiteral(" км/ч");
            }
            break;
        }
    }
    if (!m_infoLabel) {
        m_infoLabel = panel.CreateObject<TMapLabel>();
        m_infoLabel->FSize = 10;
        m_infoLabel->FColor = QGuiApplication::palette().color(QPalette::ToolTipText);
        m_infoLabel->FBackColor = QGuiApplication::palette().color(QPalette::ToolTipBase);
    }
    m_infoLabel->FText =
        QStringLiteral("Номер объекта: %1\r\nДата: %2\r\nВремя: %3\r\nШирота: %4\r\nДолгота: "
                       "%5\r\nСкорость: %6")
            .arg(number)
            .arg(dt::dateToStr(pos.TimeStamp), dt::timeToStr(pos.TimeStamp),
                 FormatDMS(pos.Coords.Latitude), FormatDMS(pos.Coords.Longitude), speed);
    m_infoLabel->SetPosition(pos);
    m_infoLabel->FisVisible = true;
    panel.Repaint();
}

void TMainLinks::wireMap() {
    TMapPanelWidget *w = m_main.mapWidget();
    TMapPanel &panel = w->panel();
    m_mapObjs = std::make_unique<TMapObjManager>(&panel);
    m_mapObjs->FDefaultMarkerColor = fromBgr(m_options.MarkerColor);
    m_mapObjs->FDefaultTrackColor = fromBgr(m_options.TrackColor);
    m_mapObjs->FDefaultLostTrackColor = fromBgr(m_options.LostTrackColor);
    m_mapObjs->FDefaultActiveMarkerColor = fromBgr(m_options.ActiveMarkerColor);
    m_mapObjs->FDefaultArchiveMarkerColor = fromBgr(m_options.ArchiveMarkerColor);
    m_mapObjs->SetVisualState(288);

    // On-line packets move the items; the active one is followed.
    m_processor->activeObject = [this] { return m_mapObjs->GetActiveObject(); };
    m_processor->isArchiveView = [this] { return m_main.controller().isArchiveView; };
    m_processor->updatingPacket = [this](TControllableObject &o) {
        TDataRecord r;
        r.FTimeStamp = o.TS;
        r.FCoords = TGeoCoords{o.Lat, o.Lng};
        m_mapObjs->AddObject(o.Number, r);
        if (!m_main.controller().isArchiveView && o.Number == m_mapObjs->GetActiveObject())
            followActive(false);
    };
    m_processor->repaintMap = [&panel] { panel.Repaint(); };
    // The server's connection news colour the markers.
    m_server->activeObject = [this] { return m_mapObjs->GetActiveObject(); };
    m_server->mapObjectConnected = [this](int n) {
        const TManagedItem *i = m_mapObjs->Item(n);
        return i && i->connected();
    };
    m_server->setMapObjectConnected = [this](int n, bool on) {
        if (TManagedItem *i = m_mapObjs->Item(n))
            i->SetConnected(on);
    };
    m_server->setMapObjectArchive = [this](int n, bool on) {
        if (TManagedItem *i = m_mapObjs->Item(n))
            i->FArchive = on;
    };
    m_server->setMarkerColour = [this](int n, int bgr) {
        if (TManagedItem *i = m_mapObjs->Item(n))
            i->marker()->FColor = fromBgr(bgr);
    };
    m_server->setAllMapObjectsDisconnected = [this] { m_mapObjs->DisconnectAll(); };
    connect(m_server.get(), &TServerController::repaintMap, &panel, [&panel] { panel.Repaint(); });
    connect(m_main.stateGrid(), &TSostGrid::currentObjectChanged, this, [this, &panel](int number) {
        if (!m_manager)
            return;
        m_mapObjs->SetVisualState(m_mapObjs->visualState() & ~TMapObjManager::ActiveLabel);
        if (number != m_mapObjs->GetActiveObject())
            if (TManagedItem *i = m_mapObjs->Item(number))
                i->track()->Clear();
        m_mapObjs->SetActiveObject(number);
        followActive(true);
        panel.Repaint();
    });

    panel.FShowPointerToNotVisObj = m_options.ShowPointerToNotVisObj;
    m_main.controller().openMaps = [this, &panel] {
        panel.LoadMapFiles(m_options.Maps);
        if (!m_options.Maps.isEmpty())
            panel.OpenMap(m_options.DefaultMap);
    };
    if (m_optionsForm)
        m_optionsForm->setShowPointerToNotVisObj = [&panel](bool on) {
            panel.FShowPointerToNotVisObj = on;
            panel.Repaint();
        };
    auto zoom = [this, &panel](int steps) {
        for (int i = 0; i < qAbs(steps); ++i)
            steps > 0 ? panel.ZoomIn() : panel.ZoomOut();
        followActive(false);
        panel.Repaint();
    };
    connect(w, &TMapPanelWidget::wheelTurned, this, zoom);
    const TfmMain::Commands &cm = m_main.commands();
    connect(cm.tbZoomIn, &QAction::triggered, this, [zoom] { zoom(1); });
    connect(cm.tbZoomOut, &QAction::triggered, this, [zoom] { zoom(-1); });
    connect(cm.tbShowAll, &QAction::toggled, this, [this, &panel](bool on) {
        m_mapObjs->SetVisualState(on ? 288 : 272);
        panel.Repaint();
    });
    connect(cm.tbShowNumbers, &QAction::toggled, this, [this, &panel](bool on) {
        const int v = m_mapObjs->visualState();
        m_mapObjs->SetVisualState(
            on ? (v | TMapObjManager::AllLabels)
               : (v & ~(TMapObjManager::AllLabels | TMapObjManager::ActiveLabel)));
        panel.Repaint();
    });
    connect(cm.tbTrackStyle, &QAction::toggled, this, [this, &panel](bool points) {
        m_mapObjs->SetTrackType(points ? 0x10000000 : 0);
        panel.Repaint();
    });
    connect(cm.tbDeleteTracks, &QAction::triggered, this, [this, &panel] {
        m_mapObjs->ClearTracks();
        panel.Repaint();
    });
    connect(w, &TMapPanelWidget::clicked, this, [this](const QPoint &) { showPickedInfo(); });
    connect(w, &TMapPanelWidget::mousePressed, this,
            [this](const QPoint &pos, Qt::MouseButton) { m_lastMapPos = pos; });
    connect(w, &TMapPanelWidget::mouseMoved, this,
            [this, &panel](const QPoint &pos, Qt::MouseButtons buttons) {
                if (!(buttons & Qt::LeftButton))
                    return;
                // Dragging moves the camera the other way.
                panel.MoveCamera(m_lastMapPos.x() - pos.x(), m_lastMapPos.y() - pos.y());
                m_lastMapPos = pos;
                panel.Repaint();
            });
    connect(&panel, &TMapPanel::OnEndOpenMap, this, [this, &panel] {
        m_main.setStatusText(5, QStringLiteral("Текущая карта: ") +
                                    panel.GetCurrentMapDescription().Name);
    });
    connect(&panel, &TMapPanel::OnStartOpenMap, this,
            [this] { m_main.setStatusText(5, QString()); });
    // "Выбор карты": the raster maps of the settings.
    const TfmMain::Commands &c = m_main.commands();
    connect(c.tbMapSelect, &QAction::triggered, this, [this, &panel] {
        if (m_options.FisMapListChanged) {
            panel.LoadMapFiles(m_options.Maps);
            m_options.FisMapListChanged = false;
        }
        QStringList names;
        panel.GetMapsList(names);
        const int i = TMapSelectForm::Select(names, panel.currentMapIndex(), &m_main);
        if (i >= 0 && i != panel.currentMapIndex()) {
            panel.OpenMap(i);
            panel.Repaint();
        }
    });
}

void TMainLinks::guarded(const std::function<void()> &command) {
    // The application's general error message: the error's own text.
    try {
        command();
    } catch (const db::EDatabaseError &e) {
        m_dialogs.message(e.text(), QApplication::applicationDisplayName(), TMsgIcon::Error);
    } catch (const std::exception &e) {
        m_dialogs.message(QString::fromStdString(e.what()), QApplication::applicationDisplayName(),
                          TMsgIcon::Error);
    }
}

TUpdateDBForm &TMainLinks::updateForm() {
    if (!m_updateForm) {
        m_updateForm = new TUpdateDBForm(m_options, m_dialogs, m_db->Database(), &m_main);
        m_updateForm->saveSettings = [this] {
            if (m_optionsForm) {
                m_optionsForm->SaveOptions();
                m_optionsForm->OptionsToInterface();
            }
        };
        m_updateForm->disconnectMain = [this] { m_db->disconnectForUpdate(); };
        connect(&m_updateForm->updater(), &db::TDatabaseUpdater::runningChanged, this,
                [this](bool running) {
                    m_db->setUpdateRunning(running);
                    // While the copy runs nothing may reconnect or replace the database.
                    const TfmMain::Commands &c = m_main.commands();
                    for (QAction *a : {c.dbConnect, c.dbDisconnect, c.tbDatabase, c.clearCache,
                                       c.updateDb, c.execScript})
                        a->setEnabled(!running && (a != c.dbDisconnect || m_db->commandsEnabled()));
                });
    }
    return *m_updateForm;
}

void TMainLinks::purge() {
    if (!m_manager)
        return;
    const QString text = m_main.stateGrid()->currentObjectText();
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || !m_manager->FindObject(number))
        return;
    TfmClearStatistics dlg(&m_main);
    dlg.fill(*m_manager, number);
    if (dlg.exec() != QDialog::Accepted)
        return;
    PurgeStatistics(m_db->Database(), dlg.objectChoice(), dlg.upTo());
    m_dialogs.message(QStringLiteral("Очистка статистики завершена!"),
                      QStringLiteral("Удаление архивных данных"), TMsgIcon::Information);
}
