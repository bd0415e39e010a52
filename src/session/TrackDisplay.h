#pragma once

// The session's track display: a track of any period loaded from the day files, its division
// into movement and stop parts with the parts table, drawing whole parts or the new points of a
// live track on the raster map and the web map, the row clicks, clearing, the browse mode
// ("Режим") and the GPX export.

#include <QObject>

#include "app/DateUtils.h"
#include "session/SessionTypes.h"
#include "tracks/TrackAnalysis.h"

struct TOptions;
struct TAppliedPacket;
struct TCoordData;
class TDialogs;
class TDataRuns;
class TFManager;
class TManagedItem;
class TManager;
class TMapInteraction;
class TMapObjManager;
class TMapPanel;
class TTrackPartsModel;
class TWebMapBridge;

class TTrackDisplay : public QObject {
    Q_OBJECT
public:
    // The object whose loaded track is shown and divided into parts (0: none).
    int trackObject() const { return m_trackObject; }
    TTrackDisplay(TOptions &options, TDialogs &dialogs, TFManager &fmngr, TMapPanel &panel,
                  TMapObjManager &items, TWebMapBridge &bridge, TSelection &selection,
                  TMapInteraction &map, TDataRuns &runs, QObject *parent = nullptr);

    void setRegistry(TManager *registry);

    TTrackPartsModel &trackParts() { return *m_trackParts; }
    const ArrayTracks &trackList() const { return trlist; }
    bool isArchiveView() const { return m_selection.archiveView; }

    // "Загрузить трек...": the dialog's answer (with "Скачать данные с сервера перед загрузкой
    // трека" the download runs first and the track loads at its end).
    void miLoadTrackClick(const TLoadTrackRequest &request);
    // Divides the object's in-memory track, fills the table and draws every part.
    void SeparateTrack(int ObjNum);
    // Draws one part on both maps.
    void ViewTrack(int ObjNum, int part);
    // Draws a range of the track incrementally: the part track_ind, else from the last point
    // at or before strt (0: the whole track) to the end.
    void ShowTrack(int ObjNum, TDateTime strt, bool move_marker, int track_ind);
    // A click on a row of the parts table: 0 the whole track ("Весь"), i > 0 part i - 1.
    void sgTrackClick(int row);
    // The row last chosen again (the web page became ready).
    void redrawChosen() { sgTrackClick(m_trackRow); }
    // "Очистить трек".
    void miClearTrackClick();
    // "Режим": archive view (true) or on-line mode.
    void tbBrowseModeClick(bool archive);
    // "Экспорт трека в GPX...": the shown track and its parts as a GPX file.
    void exportTrackGpx();

    // The live track of the active object grows by each packet's positions in on-line mode.
    void onPacketsApplied(const std::vector<TAppliedPacket> &applied);
    // Another object became the active one: its predecessor's track and table go, the program
    // returns to on-line mode.
    void otherObjectChosen();
    // The parts list and table are emptied (the page's track was cleared, a new registry).
    void resetShownTrack();

signals:
    void archiveViewChanged(bool archive);
    // The parts table should come to the front.
    void trackTableShown();
    void busyChanged(bool busy);
    void statusText(const QString &text);

private:
    void load(const TLoadTrackRequest &request);
    void clearTrackScripts();
    void feedPoint(TManagedItem *item, int ObjNum, const TCoordData &pred, const TCoordData &p,
                   bool append);
    void drawAllParts(int ObjNum);

    TOptions &m_options;
    TDialogs &m_dialogs;
    TFManager &m_fmngr;
    TMapPanel &m_panel;
    TMapObjManager &m_items;
    TWebMapBridge &m_webMap;
    TSelection &m_selection;
    TMapInteraction &m_map;
    TDataRuns &m_runs;
    TManager *m_registry = nullptr;
    ArrayTracks trlist;    // the parts of the shown track
    int m_trackObject = 0; // whose in-memory track trlist divides
    int m_trackRow = 0;    // the parts table's row last shown
    TTrackPartsModel *m_trackParts = nullptr;
};
