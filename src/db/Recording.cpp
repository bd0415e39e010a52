// Moving an object's in-memory state into storage: its OBJECTS row, the INPUTSIGNALS time series
// and its day track file. The caller owns the transaction and commits; database errors are
// dropped here so that one bad statement does not cost the caller the rest of its work.

#include "db/GroupManager.h"

#include "app/SqlLiteral.h"
#include "tracks/FileManager.h"

namespace {
// The packet time as a timestamp literal; NULL without a valid one ("нет данных").
QString packTimeLiteral(const TControllableObject &o) {
    const std::optional<TDateTime> t = o.validPackTime();
    return t ? sql::timestamp(*t) : QStringLiteral("NULL");
}

QString tsLiteral(TDateTime ts) {
    return QLatin1Char('\'') + dt::formatDateTime(QStringLiteral("yyyy.mm.dd hh:nn:ss.zzz"), ts) +
           QLatin1Char('\'');
}

QString f2(long double v) {
    return sql::fixed(static_cast<double>(v));
}

QString n(int v) {
    return QString::number(v);
}
} // namespace

QString TManager::ObjSostToDBSql(const TControllableObject &o) {
    return QStringLiteral("UPDATE OBJECTS SET obj_PACKTIME = %1, obj_fuellevel = %2, "
                          "obj_boardvoltage = %3, obj_locomotivemove = %4, obj_warningmode = %5, "
                          "obj_erroravtoprotect = %6, obj_dieselwork = %7, "
                          "obj_abvoltagelessmin = %8, obj_ALERTBTN = %9, obj_VERSION = %10, "
                          "OBJ_USEENGINEFORPARK = %11, obj_lat = %12, obj_lng = %13, "
                          "obj_text_lat=%14, obj_text_lng=%15, obj_ts = %16, obj_fuellevell = %17, "
                          "OBJ_TEMPERATURE = %18 WHERE OBJ_NUMBER = %19")
        .arg(packTimeLiteral(o), n(o.FuelLevel), n(o.BoardVoltage), n(o.TankCoverSensor),
             n(o.KungTrailer), n(o.V24Gen), n(o.ExOut1), n(o.ExOut2), n(o.AlertBtn), n(o.Version),
             n(o.UseEngineForPark), f2(o.Lat), f2(o.Lng), f2(o.LastTextLat), f2(o.LastTextLng),
             tsLiteral(o.TS), f2(o.FuelLevelL), sql::fixed(o.Temperature), n(o.Number));
}

QString TManager::ObjSostToInputSignalSql(const TControllableObject &o) {
    return QStringLiteral("UPDATE OR INSERT INTO INPUTSIGNALS ( ins_number, ins_PCTIME, "
                          "ins_PACKTIME, ins_fuellevel, ins_boardvoltage, INS_TEMPERATURE, "
                          "ins_locomotivemove, ins_warningmode, ins_erroravtoprotect, "
                          "ins_dieselwork, ins_abvoltagelessmin, ins_ALERTBTN ) VALUES ( %1, "
                          "NULL, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11   ) MATCHING "
                          "(ins_number, ins_PACKTIME)")
        .arg(n(o.Number), packTimeLiteral(o), n(o.FuelLevel), n(o.BoardVoltage),
             sql::fixed(o.Temperature), n(o.TankCoverSensor), n(o.KungTrailer), n(o.V24Gen),
             n(o.ExOut1), n(o.ExOut2), n(o.AlertBtn));
}

void TManager::ObjSostToDB(int ObjNumber, db::TTransaction &TR) {
    const TControllableObject *o = FindObject(ObjNumber);
    if (!o)
        return;
    try {
        db::TQuery q(TR, ObjSostToDBSql(*o));
        q.execute();
    } catch (const std::exception &) {
        // Dropped: the transaction stays usable.
    }
}

void TManager::ObjSostToInputSignalTable(TControllableObject *obj, db::TTransaction &TR) {
    if (!obj)
        return;
    try {
        db::TQuery q(TR, ObjSostToInputSignalSql(*obj));
        q.execute();
    } catch (const std::exception &) {
    }
}

void TManager::ObjSostToInputSignalTable(int ObjNumber, db::TTransaction &TR) {
    ObjSostToInputSignalTable(FindObject(ObjNumber), TR);
}

void TManager::ObjCoordsToCoordsTable(const TControllableObject *obj, TTrackFile *curr_file) {
    if (!obj || !curr_file)
        return;
    // No reserve here: an exact one per packet would move the whole day's records every time.
    for (const TCoordStamp &c : obj->CCoords) {
        TCoordData d;
        d.lat = c.Coords.Latitude;
        d.lng = c.Coords.Longitude;
        d.ts = c.ts;
        d.g24 = obj->V24Gen;
        curr_file->coords.push_back(d);
    }
}

void TManager::ObjCoordsToCoordsTable(int ObjNumber, TTrackFile *curr_file) {
    ObjCoordsToCoordsTable(FindObject(ObjNumber), curr_file);
}

void RecalcParams(TControllableObject &o, db::TDatabase &database) {
    {
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr);
        q.setSql(QStringLiteral("select out_fuel_level from proc_getfuel(%1,%2)")
                     .arg(n(o.Number), n(o.FuelLevel)),
                 true);
        q.open();
        // No row, or NULL, reads as 0 litres.
        const long double litres =
            q.next() ? q.field(QStringLiteral("out_fuel_level")).asDouble() : 0;
        q.close();
        o.FuelLevelL = litres > o.TankVolume ? static_cast<long double>(o.TankVolume) : litres;
        tr.commit();
    }
    if (o.FuelLevelL > 1) {
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr);
        q.setSql(QStringLiteral("update objects set obj_fuellevell=%1 where obj_number=%2")
                     .arg(sql::fixed(static_cast<double>(o.FuelLevelL)), n(o.Number)),
                 true);
        q.execute();
        tr.commit();
    }
    if (o.Lat * o.Lng > 0) {
        // A packet without a valid time ("нет данных") is stored as NULL.
        const std::optional<TDateTime> packTime = o.validPackTime();
        const QString packSql = packTime ? sql::timestamp(*packTime) : QStringLiteral("NULL");
        const QString ts = QLatin1Char('\'') +
                           dt::formatDateTime(QStringLiteral("yyyy.mm.dd hh:nn:ss.zzz"), o.TS) +
                           QLatin1Char('\'');
        db::TTransaction tr(database, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr);
        q.setSql(QStringLiteral("update objects set obj_lat=%1, obj_lng=%2, obj_text_lat=%3,"
                                "obj_text_lng=%4,obj_ts=%5, obj_packtime=%6 where obj_number=%7")
                     .arg(sql::fixed(static_cast<double>(o.Lat)),
                          sql::fixed(static_cast<double>(o.Lng)),
                          sql::fixed(static_cast<double>(o.LastTextLat)),
                          sql::fixed(static_cast<double>(o.LastTextLng)), ts, packSql, n(o.Number)),
                 true);
        q.execute();
        tr.commit();
    }
}
