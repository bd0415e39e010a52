// The track display of the session: loading a track for a period, its division into parts and
// the parts table, drawing whole parts or the new points of a live track on the raster map
// and the web map, the row clicks, clearing, browse mode and the GPX export.

#include "session/TrackDisplay.h"

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/IniFile.h"
#include "app/Options.h"
#include "db/GroupManager.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/DataRuns.h"
#include "session/MapInteraction.h"
#include "session/OnlineProcessor.h"
#include "tracks/FileManager.h"
#include "tracks/TrackGpx.h"
#include "tracks/TrackPartsModel.h"
#include "webmap/WebMapBridge.h"
#include "webmap/WebMapScript.h"

namespace {

bool hasFix(const TCoordData &c) {
    return c.lat * c.lng != 0;
}

TGeoCoords degreesOf(const TCoordData &c) {
    return MinutesToDegrees(TGeoCoords{c.lat, c.lng});
}

QString timeText(TDateTime t) {
    return dt::formatDateTime(QStringLiteral("dd.mm.yy hh:nn:ss"), t);
}

TDataRecord recordOf(const TCoordData &c, bool gpsLost = false) {
    TDataRecord r;
    r.FTimeStamp = c.ts;
    r.FCoords = TGeoCoords{c.lat, c.lng};
    r.FGPSLost = gpsLost;
    return r;
}

// A gap of this many whole seconds before a point marks it as the end of a lost-signal stretch.
constexpr int64_t GpsLostSeconds = 21;

} // namespace

TTrackDisplay::TTrackDisplay(TOptions &options, TDialogs &dialogs, TFManager &fmngr,
                             TMapPanel &panel, TMapObjManager &items, TWebMapBridge &bridge,
                             TSelection &selection, TMapInteraction &map, TDataRuns &runs,
                             QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs), m_fmngr(fmngr), m_panel(panel),
      m_items(items), m_webMap(bridge), m_selection(selection), m_map(map), m_runs(runs),
      m_trackParts(new TTrackPartsModel(this)) {}

void TTrackDisplay::setRegistry(TManager *registry) {
    m_registry = registry;
}

void TTrackDisplay::resetShownTrack() {
    trlist.clear();
    m_trackObject = 0;
    m_trackRow = 0;
    m_trackParts->ResetTrackTable();
}

void TTrackDisplay::clearTrackScripts() {
    m_webMap.RunScript(webscript::clear_track());
    m_webMap.RunScript(webscript::clear_park());
    m_items.RemoveRestPlaces();
}

void TTrackDisplay::otherObjectChosen() {
    resetShownTrack();
    clearTrackScripts();
    tbBrowseModeClick(false);
}

void TTrackDisplay::onPacketsApplied(const std::vector<TAppliedPacket> &applied) {
    if (m_selection.archiveView)
        return;
    for (const TAppliedPacket &a : applied) {
        // A packet without positions has nothing new to draw.
        if (!a.updating || !a.object || a.object->Number != m_items.GetActiveObject())
            continue;
        m_webMap.CleanupCurrentTrack();
        if (a.trackFrom != 0)
            ShowTrack(a.object->Number, a.trackFrom, false, -1);
    }
}

void TTrackDisplay::tbBrowseModeClick(bool archive) {
    m_selection.archiveView = archive;
    emit archiveViewChanged(archive);
}

void TTrackDisplay::miLoadTrackClick(const TLoadTrackRequest &request) {
    if (!m_registry || !m_registry->FindObject(request.number))
        return;
    if (request.download && m_items.Item(request.number) && request.start <= request.end) {
        TLoadTrackRequest then = request;
        then.download = false;
        m_runs.DownloadObjectData(request.number, request.start, request.end,
                                  [this, then] { load(then); });
        return;
    }
    load(request);
}

void TTrackDisplay::load(const TLoadTrackRequest &request) {
    TControllableObject *o = m_registry ? m_registry->FindObject(request.number) : nullptr;
    if (!o)
        return;
    resetShownTrack();
    TManagedItem *item = m_items.Item(request.number);
    if (item) {
        if (!request.demo && request.end < request.start)
            return;
        tbBrowseModeClick(!request.toCurrent);
        emit busyChanged(true);
        struct TBusy {
            TTrackDisplay *s;
            ~TBusy() { emit s->busyChanged(false); }
        } busy{this};
        item->track()->Clear();
        o->track.coords.clear();
        clearTrackScripts();
        const QString folder = CoordCacheDir() + QString::number(request.number) + QLatin1Char('/');
        if (request.demo) {
            const QString name = folder + QStringLiteral("demo.dat");
            TTrackFile *f = m_fmngr.get(name);
            try {
                f->load();
                o->track.coords.insert(o->track.coords.end(), f->coords.begin(), f->coords.end());
            } catch (...) {
                m_fmngr.FreeFile(name, false);
                throw;
            }
            m_fmngr.FreeFile(name, false);
        } else {
            std::vector<TCoordData> c =
                LoadTrackPeriod(m_fmngr, folder, request.start, request.end);
            o->track.coords.insert(o->track.coords.end(), c.begin(), c.end());
        }
        SeparateTrack(request.number);
    }
    emit trackTableShown();
    if (!m_options.UseGoogleMap)
        m_panel.Repaint();
}

void TTrackDisplay::SeparateTrack(int ObjNum) {
    TControllableObject *o = m_registry ? m_registry->FindObject(ObjNum) : nullptr;
    if (!o || o->track.coords.empty())
        return;
    TTrackAnalysis analysis(o->track.coords, TTrackSettings::fromOptions(m_options));
    trlist = analysis.divide(o->Version > 0 && o->UseEngineForPark == 1);
    m_trackObject = ObjNum;
    m_trackParts->fill(analysis, trlist);
    drawAllParts(ObjNum);
}

void TTrackDisplay::drawAllParts(int ObjNum) {
    clearTrackScripts();
    m_webMap.RunScript(webscript::begin_track());
    for (int i = 0; i < int(trlist.size()); ++i)
        ViewTrack(ObjNum, i);
    m_webMap.RunScript(webscript::end_track());
}

// One point of a movement: the archive step, the speed band, the raster track and, for the
// grid's object on the web map, the point with its time and speed.
void TTrackDisplay::feedPoint(TManagedItem *item, int ObjNum, const TCoordData &pred,
                              const TCoordData &p, bool append) {
    if (item && item->FArchive) {
        item->SetCurrent(recordOf(p));
        item->FArchive = false;
    }
    const long double speed = CoordSpeed(pred, p);
    if (!(m_options.MinSpeed < speed && speed < m_options.MaxSpeed))
        return;
    if (item)
        item->SetCurrent(recordOf(p, WholeSecondsBetween(p.ts, pred.ts) >= GpsLostSeconds));
    if (ObjNum == m_selection.number && m_options.UseGoogleMap) {
        const TGeoCoords d = degreesOf(p);
        const QString number = QString::number(ObjNum);
        const QString speedText = webscript::speedText(double(speed));
        m_webMap.RunScript(append
                               ? webscript::append_track_ex(double(d.Latitude), double(d.Longitude),
                                                            number, timeText(p.ts), speedText)
                               : webscript::put_point_ex(double(d.Latitude), double(d.Longitude),
                                                         number, timeText(p.ts), speedText));
    }
}

void TTrackDisplay::ViewTrack(int ObjNum, int part) {
    TControllableObject *o = m_registry ? m_registry->FindObject(ObjNum) : nullptr;
    if (!o || part < 0 || part >= int(trlist.size()))
        return;
    const std::vector<TCoordData> &c = o->track.coords;
    const TTrackPart &p = trlist[size_t(part)];
    const int last = std::min(p.eind, int(c.size()) - 1);
    TManagedItem *item = m_items.Item(ObjNum);
    if (p.moving) {
        for (int j = std::max(p.bind, 0); j <= last; ++j) {
            const TCoordData &pt = c[size_t(j)];
            if (!hasFix(pt))
                continue;
            if (j == p.bind || !hasFix(c[size_t(j - 1)])) {
                if (item && item->FArchive) {
                    item->SetCurrent(recordOf(pt));
                    item->FArchive = false;
                }
                continue;
            }
            feedPoint(item, ObjNum, c[size_t(j - 1)], pt, false);
        }
        return;
    }
    for (int j = std::max(p.bind, 0); j <= last; ++j) {
        const TCoordData &pt = c[size_t(j)];
        if (!hasFix(pt))
            continue;
        m_items.AddRestPlace(TGeoCoords{pt.lat, pt.lng});
        const TGeoCoords d = degreesOf(pt);
        const QString bindTime =
            p.bind < int(c.size()) ? timeText(c[size_t(p.bind)].ts) : QString();
        m_webMap.RunScript(webscript::add_park(
            double(d.Latitude), double(d.Longitude),
            QStringLiteral("Объект: %1<br>Начало: %2<br>Окончание: %3<br>Длительность: %4<br>")
                .arg(QString::number(ObjNum), bindTime, timeText(c[size_t(last)].ts),
                     SecondsTo_hhh_mm_ss(PartSeconds(c, p)))));
        m_webMap.RunScript(webscript::put_point(double(d.Latitude), double(d.Longitude)));
        break;
    }
}

void TTrackDisplay::ShowTrack(int ObjNum, TDateTime strt, bool move_marker, int track_ind) {
    TControllableObject *o = m_registry ? m_registry->FindObject(ObjNum) : nullptr;
    if (!o)
        return;
    const std::vector<TCoordData> &c = o->track.coords;
    const int n = int(c.size());
    int first = 0, last = n - 1;
    if (track_ind != -1) {
        if (track_ind < 0 || track_ind >= int(trlist.size()))
            return;
        first = trlist[size_t(track_ind)].bind;
        last = std::min(trlist[size_t(track_ind)].eind, n - 1);
    } else if (strt != 0) {
        first = 0;
        for (int k = n - 1; k >= 1; --k) {
            if (c[size_t(k)].ts <= strt) {
                first = k;
                break;
            }
        }
    }
    if (first < 0 || first >= n)
        return;
    TManagedItem *item = m_items.Item(ObjNum);
    bool haveConverted = false;
    TGeoCoords converted;
    for (int j = first; j <= last; ++j) {
        const TCoordData &p = c[size_t(j)];
        const bool predFix = j > 0 && hasFix(c[size_t(j - 1)]);
        if (predFix) {
            if (hasFix(p))
                feedPoint(item, ObjNum, c[size_t(j - 1)], p, true);
            continue;
        }
        // After a point without a fix the line starts again at this point.
        if (hasFix(p)) {
            converted = degreesOf(p);
            haveConverted = true;
        }
        if (haveConverted)
            m_webMap.RunScript(
                webscript::append_track(double(converted.Latitude), double(converted.Longitude)));
    }
    m_map.followActive(false);
    m_panel.Repaint();
    if (move_marker && n > 0 && hasFix(c.back())) {
        const TGeoCoords d = degreesOf(c.back());
        m_webMap.RunScript(webscript::marker_at(double(d.Latitude), double(d.Longitude), ObjNum,
                                                o->ShortName,
                                                webscript::markerCaption(c.back().ts)));
        if (ObjNum == m_selection.number && m_selection.follow)
            m_webMap.RunScript(webscript::go_to(double(d.Latitude), double(d.Longitude)));
    }
}

void TTrackDisplay::sgTrackClick(int row) {
    if (row < 0 || row >= m_trackParts->rowCount() || m_selection.number <= 0 || trlist.empty())
        return;
    TControllableObject *o = m_registry ? m_registry->FindObject(m_selection.number) : nullptr;
    if (!o)
        return;
    m_trackRow = row;
    TManagedItem *item = m_items.Item(m_selection.number);
    if (item)
        item->track()->Clear();
    emit busyChanged(true);
    int focus = 0;
    if (row == TTrackPartsModel::TotalsRow) {
        drawAllParts(m_selection.number);
    } else {
        const int part = row - 1;
        if (part >= int(trlist.size())) {
            emit busyChanged(false);
            return;
        }
        // One part is a look at the past: live points must not extend it.
        tbBrowseModeClick(true);
        clearTrackScripts();
        m_webMap.RunScript(webscript::begin_track());
        ViewTrack(m_selection.number, part);
        m_webMap.RunScript(webscript::end_track());
        focus = trlist[size_t(part)].bind;
    }
    emit busyChanged(false);
    if (m_options.UseGoogleMap) {
        const std::vector<TCoordData> &c = o->track.coords;
        if (focus >= 0 && focus < int(c.size()) && hasFix(c[size_t(focus)])) {
            const TGeoCoords d = degreesOf(c[size_t(focus)]);
            m_webMap.RunScript(webscript::go_to(double(d.Latitude), double(d.Longitude)));
        } else {
            emit statusText(QStringLiteral("Отсутствуют координаты по объекту № ") +
                            QString::number(m_selection.number));
        }
    } else {
        m_panel.Repaint();
    }
}

void TTrackDisplay::miClearTrackClick() {
    tbBrowseModeClick(false);
    if (m_selection.number > 0) {
        if (TManagedItem *item = m_items.Item(m_selection.number))
            item->track()->Clear();
        if (TControllableObject *o =
                m_registry ? m_registry->FindObject(m_selection.number) : nullptr)
            o->track.coords.clear();
    }
    m_items.RemoveRestPlaces();
    m_panel.Repaint();
    m_webMap.RunScript(webscript::clear_track());
    m_webMap.RunScript(webscript::clear_park());
    m_trackParts->clearAll();
    trlist.clear();
    m_trackObject = 0;
}

void TTrackDisplay::exportTrackGpx() {
    const TControllableObject *o =
        m_registry && m_trackObject > 0 ? m_registry->FindObject(m_trackObject) : nullptr;
    if (!o || trlist.empty()) {
        m_dialogs.message(QStringLiteral("Трек не загружен."), QStringLiteral("Экспорт трека"),
                          TMsgIcon::Warning);
        return;
    }
    const QString file = m_dialogs.saveFile(
        QStringLiteral("Экспорт трека в GPX"), QString(), QStringLiteral("Файлы GPX (*.gpx)|*.gpx"),
        QStringLiteral("track-") + QString::number(m_trackObject) + QStringLiteral(".gpx"));
    if (file.isEmpty())
        return;
    writeFileAtomically(file, TrackToGpx(o->track.coords, trlist, m_trackObject));
}
