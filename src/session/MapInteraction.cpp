#include "session/MapInteraction.h"

#include "app/DateUtils.h"
#include "app/FormatSettings.h"
#include "app/Options.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/SessionTypes.h"
#include "tracks/CoordsUtils.h"

#include <QGuiApplication>
#include <QPalette>

#include <cstdlib>

TMapInteraction::TMapInteraction(TOptions &options, TMapPanel &panel, TMapObjManager &items,
                                 TSelection &selection, QObject *parent)
    : QObject(parent), m_options(options), m_panel(panel), m_items(items), m_selection(selection) {
    connect(&m_panel, &TMapPanel::OnStartOpenMap, this, [this] { emit currentMapText(QString()); });
    connect(&m_panel, &TMapPanel::OnEndOpenMap, this, [this] {
        emit currentMapText(QStringLiteral("Текущая карта: ") +
                            m_panel.GetCurrentMapDescription().Name);
    });
}

void TMapInteraction::openMaps() {
    m_panel.LoadMapFiles(m_options.Maps);
    m_options.FisMapListChanged = false;
    if (!m_options.Maps.isEmpty())
        m_panel.OpenMap(m_options.DefaultMap);
}

void TMapInteraction::zoom(int steps) {
    for (int i = 0; i < std::abs(steps); ++i)
        steps > 0 ? m_panel.ZoomIn() : m_panel.ZoomOut();
    followActive(false);
    m_panel.Repaint();
}

void TMapInteraction::setShowAllObjects(bool on) {
    m_items.SetVisualState(TMapObjManager::ActiveTrack |
                           (on ? TMapObjManager::AllMarkers : TMapObjManager::ActiveMarker));
    m_panel.Repaint();
}

void TMapInteraction::setShowNumbers(bool on) {
    const int v = m_items.visualState();
    m_items.SetVisualState(on ? (v | TMapObjManager::AllLabels)
                              : (v & ~(TMapObjManager::AllLabels | TMapObjManager::ActiveLabel)));
    m_panel.Repaint();
}

void TMapInteraction::setTrackPoints(bool points) {
    m_items.SetTrackType(points ? TMapObjManager::PointTrack : 0);
    m_panel.Repaint();
}

void TMapInteraction::deleteTracks() {
    m_items.ClearTracks();
    m_panel.Repaint();
}

void TMapInteraction::setFollowMode(bool on) {
    m_selection.follow = on;
    if (on) {
        followActive(true);
        m_panel.Repaint();
    }
}

void TMapInteraction::followActive(bool selectBest) {
    TManagedItem *item = m_items.Item(m_items.GetActiveObject());
    if (!item || !m_selection.follow)
        return;
    const TGeoCoords pos = item->current().FCoords;
    if (pos.Latitude == 0 && pos.Longitude == 0)
        return;
    if (selectBest && (!m_panel.isCoordsInCurrentMap(pos) || m_options.SelectBestMap) &&
        m_options.AutoMapChange)
        m_panel.SelectBestFitMap(pos, true);
    if (m_panel.isCoordsInCurrentMap(pos))
        m_panel.MoveCamera(pos);
}

void TMapInteraction::mapPressed(const QPoint &pos, bool rightButton) {
    m_lastMapPos = pos;
    if (rightButton && m_panel.isMapReady())
        m_pickedPosition = m_panel.ScreenToGeo(pos.x(), pos.y());
}

void TMapInteraction::mapDragged(const QPoint &pos, bool leftButton) {
    if (!leftButton)
        return;
    // Dragging moves the camera the other way.
    m_panel.MoveCamera(m_lastMapPos.x() - pos.x(), m_lastMapPos.y() - pos.y());
    m_lastMapPos = pos;
    m_panel.Repaint();
}

QString TMapInteraction::pickedPointText(int number, const TPositionSnapshot &pos) const {
    // The speed at the picked point: from the track point before it, when it is plausible.
    QString speed = QStringLiteral("---");
    if (const TManagedItem *item = m_items.Item(number)) {
        const TTrack *tr = item->track();
        for (int k = 1; k < tr->Count(); ++k) {
            if (tr->Point(k).DateTime != pos.TimeStamp)
                continue;
            const TTrackPoint &a = tr->Point(k - 1), &b = tr->Point(k);
            const long double seconds = (b.DateTime - a.DateTime) * 86400.0L;
            if (seconds > 0) {
                const long double kmh = GeoDistance(a.GeoCoords, b.GeoCoords) * 3.6L / seconds;
                if (kmh < m_options.MaxSpeed)
                    speed = TFormatSettings::current().formatFloat(double(kmh), 2) +
                            QStringLiteral(" км/ч");
            }
            break;
        }
    }
    return QStringLiteral("Номер объекта: %1\r\nДата: %2\r\nВремя: %3\r\nШирота: %4\r\nДолгота: "
                          "%5\r\nСкорость: %6")
        .arg(QString::number(number), dt::dateToStr(pos.TimeStamp), dt::timeToStr(pos.TimeStamp),
             FormatDMS(pos.Coords.Latitude), FormatDMS(pos.Coords.Longitude), speed);
}

QString TMapInteraction::pickedPointLabel() const {
    return m_infoLabel ? m_infoLabel->FText : QString();
}

void TMapInteraction::removePickedLabel() {
    if (m_infoLabel) {
        m_panel.RemoveObject(m_infoLabel);
        m_infoLabel = nullptr;
    }
}

void TMapInteraction::mapClicked(const QPoint &at) {
    int number = -1;
    TPositionSnapshot pos;
    const bool hit =
        m_panel.isMapReady() &&
        m_items.GetObjInCoords(m_panel.ScreenToMap(at), number, pos,
                               TMapObjManager::AllMarkers | TMapObjManager::ActiveMarker |
                                   TMapObjManager::AllTracks | TMapObjManager::ActiveTrack |
                                   TMapObjManager::ActiveLabel | TMapObjManager::AllLabels);
    if (!hit) {
        removePickedLabel();
        m_panel.Repaint();
        return;
    }
    if (!m_infoLabel) {
        m_infoLabel = m_panel.CreateObject<TMapLabel>();
        m_infoLabel->FSize = 10;
        m_infoLabel->FColor = QGuiApplication::palette().color(QPalette::ToolTipText);
        m_infoLabel->FBackColor = QGuiApplication::palette().color(QPalette::ToolTipBase);
    }
    m_infoLabel->FText = pickedPointText(number, pos);
    m_infoLabel->SetPosition(pos);
    m_infoLabel->FisVisible = true;
    m_panel.Repaint();
}

QStringList TMapInteraction::mapNames() {
    if (m_options.FisMapListChanged) {
        m_panel.LoadMapFiles(m_options.Maps);
        m_options.FisMapListChanged = false;
    }
    QStringList names;
    m_panel.GetMapsList(names);
    return names;
}

int TMapInteraction::currentMapIndex() const {
    return m_panel.currentMapIndex();
}

void TMapInteraction::selectMap(int index) {
    if (index < 0 || index == m_panel.currentMapIndex())
        return;
    const TManagedItem *item = m_items.Item(m_items.GetActiveObject());
    const TGeoCoords pos = item ? item->current().FCoords : TGeoCoords{};
    // The chosen map opens centred on the followed object when it lies on it.
    if (m_selection.follow && item && (pos.Latitude != 0 || pos.Longitude != 0))
        m_panel.OpenMap(index, pos);
    else
        m_panel.OpenMap(index);
    m_panel.Repaint();
}

void TMapInteraction::showObjectOnMap(int number) {
    const TManagedItem *item = m_items.Item(number);
    if (!item)
        return;
    const TGeoCoords pos = item->current().FCoords;
    if (pos.Latitude == 0 && pos.Longitude == 0)
        return;
    if (!m_panel.isCoordsInCurrentMap(pos))
        m_panel.SelectBestFitMap(pos, true);
    if (m_panel.isCoordsInCurrentMap(pos))
        m_panel.MoveCamera(pos);
    m_panel.Repaint();
}
