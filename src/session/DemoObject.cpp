#include "session/DemoObject.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/LiveObjects.h"
#include "session/MapInteraction.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/DeviceData.h"
#include "webmap/WebMapBridge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString kDemoName = QStringLiteral("демо-объект");
} // namespace

TDemoObject::TDemoObject(TOptions &options, TDialogs &dialogs, db::TDatabase &database,
                         TFManager &fmngr, TMapPanel &panel, TMapObjManager &items,
                         TWebMapPart &webMap, TTrackDisplay &tracks, TMapInteraction &map,
                         TLiveObjects &live, const TSelection &selection, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_db(database), m_fmngr(fmngr),
      m_panel(panel), m_items(items), m_webMap(webMap), m_tracks(tracks), m_map(map), m_live(live),
      m_selection(selection) {
    tmrDemoMode.setInterval(2000);
}

TDemoObject::~TDemoObject() {
    tmrDemoMode.stop();
}

void TDemoObject::onConnectionNews(int number, TConnectionNews news) {
    if (number == DemoNumber)
        m_serverSaysConnected = news != TConnectionNews::Disconnected;
}

QString TDemoObject::demoDataFile() {
    const QString own = DataDir() + QStringLiteral("1000/demo.dat");
    // A fresh installation has only the file shipped in the program folder.
    const QString shipped = AppDir() + QStringLiteral("data/1000/demo.dat");
    return QFileInfo::exists(own) || !QFileInfo::exists(shipped) ? own : shipped;
}

void TDemoObject::miDemoModeClick() {
    if (m_demoOn)
        stop();
    else
        start();
}

void TDemoObject::start() {
    try {
        if (!m_registry || !m_db.isOpen())
            return;
        DemoModeFile = std::make_unique<QFile>(demoDataFile());
        if (!DemoModeFile->open(QIODevice::ReadOnly) || !DemoModeFile->seek(0))
            throw std::runtime_error(DemoModeFile->errorString().toStdString());

        TControllableObject *o = m_registry->FindObject(DemoNumber);
        m_serverSaysConnected = o && o->Connected;
        if (!o) {
            o = m_registry->AddObject(DemoNumber, kDemoName, 0, 0, 0, nullptr,
                                      QStringLiteral("демо"));
            o->TankVolume = 100;
        }
        TDataRecord fresh;
        fresh.Status = 1; // the "1, 0, 0, 0" state of a newly placed object
        if (TManagedItem *item = m_items.AddObject(DemoNumber, fresh)) {
            item->track()->Clear();
            item->FArchive = true;
            item->marker()->FColor = m_items.FDefaultArchiveMarkerColor;
            item->description().Name = kDemoName;
        }
        o->track.coords.clear();

        try {
            db::TTransaction tr(m_db, db::TTransactionKind::Write);
            tr.start();
            db::TQuery q(
                tr, QStringLiteral("insert into OBJECTS ( OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME, "
                                   "OBJ_FUELCONSW, OBJ_FUELCONSS, OBJ_TIMEZONE, "
                                   "OBJ_USEENGINEFORPARK ) values (1000, :name, 100, 0, 0, 0, 0)"));
            q.setParam(QStringLiteral("name"), kDemoName);
            q.execute();
            tr.commit();
        } catch (const std::exception &) {
            // Registered before: the row is there.
        }
        m_registry->RefreshGroups();
        m_registry->selectView(m_registry->viewIndex() < 0 ? 0 : m_registry->viewIndex());

        try {
            QDir().mkpath(CoordCacheDir() + QStringLiteral("1000"));
            TImportProgress progress;
            TTrackImport(*m_registry, m_fmngr, db::TConnectionSettings::fromOptions(m_options),
                         CoordCacheDir(), progress)
                .FileToTrack(DemoModeFile->fileName(), DemoNumber);
        } catch (const std::exception &e) {
            throw std::runtime_error(
                (QStringLiteral("Не удалось загрузить демонстрационный трек: \r\n") +
                 QString::fromUtf8(e.what()))
                    .toStdString());
        }

        const auto &shown = m_registry->FDispObjects;
        for (size_t i = 0; i < shown.size(); ++i) {
            if (shown[i]->Number == DemoNumber) {
                const int row = int(i) + 1;
                m_live.selectObject(DemoNumber, row);
                emit gridRowSelectRequested(row);
                break;
            }
        }
        tmrDemoMode.start();
        m_demoOn = true;
        emit demoModeChanged(true);
        emit objectsChanged();
        emit gridRefreshRequested();
    } catch (const std::exception &e) {
        DemoModeFile.reset();
        m_dialogs.message(QString::fromUtf8(e.what()),
                          QStringLiteral("Ошибка запуска демо-режима!"), TMsgIcon::Error);
    }
}

void TDemoObject::stop() {
    tmrDemoMode.stop();
    const bool wasOn = m_demoOn;
    m_demoOn = false;
    DemoModeFile.reset();
    if (!wasOn)
        return;
    // Object 1000 takes back the connection state the server last reported for it.
    if (TControllableObject *o = m_registry ? m_registry->FindObject(DemoNumber) : nullptr)
        o->Connected = m_serverSaysConnected;
    m_live.onConnectionNews(DemoNumber, m_serverSaysConnected ? TConnectionNews::Connected
                                                              : TConnectionNews::Disconnected);
    emit demoModeChanged(false);
    emit objectsChanged();
    emit gridRefreshRequested();
    m_panel.Repaint();
}

void TDemoObject::tmrDemoModeTimer() {
    if (!m_demoOn || !DemoModeFile)
        return;
    TDeviceRecord rec;
    TDeviceDataReader reader(*DemoModeFile);
    // At the end of the file nothing is read and the position stays 0/0.
    if (reader.next(rec) != TDeviceRead::Complete) {
        rec.position = TGeoCoords{};
        rec.state.clear();
        if (DemoModeFile->error() != QFileDevice::NoError) {
            DemoModeFile->unsetError();
            if (DemoModeFile->seek(0)) {
                emit statusText(TStatusField::LinkEvent, QStringLiteral("Переход в начало файла"));
            } else {
                const QString reason = DemoModeFile->errorString();
                stop();
                m_dialogs.message(
                    QStringLiteral("Демонстрационный режим будет отключен!\r\n") + reason,
                    QStringLiteral("Ошибка демонстрационного режима"), TMsgIcon::Warning);
            }
            return;
        }
    }
    if (rec.position.Latitude == 0 || rec.position.Longitude == 0)
        return;

    tmrDemoMode.stop();
    try {
        TControllableObject *o = m_registry ? m_registry->FindObject(DemoNumber) : nullptr;
        if (!o)
            throw std::runtime_error("демо-объект не зарегистрирован");
        o->HadOnlineData = true;
        o->Connected = true;
        // The replay keeps the file's own time: no time-zone shift.
        o->TS = rec.time;
        o->PackTime = rec.time;
        o->PCTime.clear();
        o->Lat = rec.position.Latitude;
        o->Lng = rec.position.Longitude;
        o->DecodeSostString(rec.state);
        {
            db::TTransaction tr(m_db, db::TTransactionKind::Write);
            try {
                tr.start();
                m_registry->ObjSostToInputSignalTable(o, tr);
                m_registry->ObjSostToDB(DemoNumber, tr);
                tr.commit();
            } catch (const std::exception &) {
                tr.forceRollback();
            }
        }
        // Only the last record: the list would otherwise grow for as long as the replay runs.
        o->CCoords.assign(1, TCoordStamp{rec.position, rec.time});
        RecalcParams(*o, m_db);

        TManagedItem *item = m_items.Item(DemoNumber);
        if (!m_selection.archiveView && m_items.GetActiveObject() == DemoNumber) {
            try {
                o->track.add(TCoordData{o->Lat, o->Lng, o->TS, o->V24Gen});
                m_tracks.ShowTrack(DemoNumber, o->TS, true, -1);
                if (item) {
                    int &flags = item->current().Status;
                    if (o->TankCoverSensor == 0)
                        flags |= 4;
                    if (o->KungTrailer == 0)
                        flags |= 2;
                    if (o->AlertBtn == 1)
                        flags |= 1;
                }
            } catch (const std::exception &) {
            }
        }
        if (item)
            item->MoveCurrent(rec.position, o->TS);
        m_webMap.markerAt(*o);
        if (!m_selection.archiveView)
            m_map.followActive(false);
        m_panel.Repaint();
        emit statusText(TStatusField::LinkEvent,
                        QStringLiteral("Данные с объекта № 1000 (демонстрация)"));
        emit objectsChanged();
    } catch (const std::exception &e) {
        emit statusText(TStatusField::LinkEvent,
                        QStringLiteral("Ошибка (demo): ") + QString::fromUtf8(e.what()));
    }
    emit gridRefreshRequested();
    emit gaugesChanged();
    if (m_demoOn)
        tmrDemoMode.start();
}
