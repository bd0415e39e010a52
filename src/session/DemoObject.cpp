// The demonstration object: a recorded device data file replayed as if object 1000 were on
// line, one record every two seconds, through the same steps as on-line data.

#include "session/ClientSession.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "db/Database.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/TrackImport.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "tracks/DeviceData.h"
#include "webmap/WebMapBridge.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int DemoNumber = 1000;
const QString kDemoName = QStringLiteral("демо-объект");
} // namespace

QString TClientSession::demoDataFile() {
    const QString own = DataDir() + QStringLiteral("1000/demo.dat");
    // A fresh installation has only the file shipped in the program folder.
    const QString shipped = AppDir() + QStringLiteral("data/1000/demo.dat");
    return QFileInfo::exists(own) || !QFileInfo::exists(shipped) ? own : shipped;
}

void TClientSession::miDemoModeClick() {
    if (m_demoOn)
        stopDemo();
    else
        startDemo();
}

void TClientSession::startDemo() {
    try {
        if (!m_registry || !databaseConnected())
            return;
        DemoModeFile = std::make_unique<QFile>(demoDataFile());
        if (!DemoModeFile->open(QIODevice::ReadOnly) || !DemoModeFile->seek(0))
            throw std::runtime_error(DemoModeFile->errorString().toStdString());

        TControllableObject *o = m_registry->FindObject(DemoNumber);
        if (!o) {
            o = m_registry->AddObject(DemoNumber, kDemoName, 0, 0, 0, nullptr,
                                      QStringLiteral("демо"));
            o->TankVolume = 100;
        }
        TDataRecord fresh;
        fresh.Status = 1; // the "1, 0, 0, 0" state of a newly placed object
        if (TManagedItem *item = m_mapObjs->AddObject(DemoNumber, fresh)) {
            item->track()->Clear();
            item->FArchive = true;
            item->marker()->FColor = m_mapObjs->FDefaultArchiveMarkerColor;
            item->description().Name = kDemoName;
        }
        o->track.coords.clear();

        try {
            db::TTransaction tr(m_db->Database(), db::TTransactionKind::Write);
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
            TTrackImport(*m_registry, *m_fmngr, db::TConnectionSettings::fromOptions(m_options),
                         CoordCacheDir(), *m_importProgress)
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
                selectObject(DemoNumber, row);
                emit gridRowSelectRequested(row);
                break;
            }
        }
        tmrDemoMode.start();
        m_demoOn = true;
        emit demoModeChanged(true);
        emit statusText(TStatusField::Objects, m_registry->AllObjConnectObjRatio());
        emit gridRefreshRequested();
    } catch (const std::exception &e) {
        DemoModeFile.reset();
        m_dialogs.message(QString::fromUtf8(e.what()),
                          QStringLiteral("Ошибка запуска демо-режима!"), TMsgIcon::Error);
    }
}

void TClientSession::stopDemo() {
    tmrDemoMode.stop();
    const bool wasOn = m_demoOn;
    m_demoOn = false;
    if (TControllableObject *o = m_registry ? m_registry->FindObject(DemoNumber) : nullptr)
        o->Connected = false;
    DemoModeFile.reset();
    if (wasOn)
        emit demoModeChanged(false);
    if (m_registry)
        emit statusText(TStatusField::Objects, m_registry->AllObjConnectObjRatio());
    emit gridRefreshRequested();
    m_panel->Repaint();
}

void TClientSession::tmrDemoModeTimer() {
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
                stopDemo();
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
            db::TTransaction tr(m_db->Database(), db::TTransactionKind::Write);
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
        RecalcParams(*o, m_db->Database());

        TManagedItem *item = m_mapObjs->Item(DemoNumber);
        if (!m_archiveView && m_mapObjs->GetActiveObject() == DemoNumber) {
            try {
                o->track.add(TCoordData{o->Lat, o->Lng, o->TS, o->V24Gen});
                ShowTrack(DemoNumber, o->TS, true, -1);
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
        m_webMap->MarkerAt(TWebMapMarker{o->Lat, o->Lng, DemoNumber, o->ShortName, o->TS});
        if (!m_archiveView)
            followActive(false);
        m_panel->Repaint();
        emit statusText(TStatusField::LinkEvent,
                        QStringLiteral("Данные с объекта № 1000 (демонстрация)"));
        emit statusText(TStatusField::Objects, m_registry->AllObjConnectObjRatio());
    } catch (const std::exception &e) {
        emit statusText(TStatusField::LinkEvent,
                        QStringLiteral("Ошибка (demo): ") + QString::fromUtf8(e.what()));
    }
    emit gridRefreshRequested();
    emit gaugesChanged();
    if (m_demoOn)
        tmrDemoMode.start();
}
