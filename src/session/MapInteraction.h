#pragma once

// The session's map interaction: the raster maps of the settings, zoom, the visibility
// switches, the mouse on the map (a press, a drag that moves the camera, a click that shows the
// picked point's information), the map list and the camera that follows the active object.

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include "app/GeoTypes.h"

struct TOptions;
struct TSelection;
struct TPositionSnapshot;
class TMapLabel;
class TMapObjManager;
class TMapPanel;

class TMapInteraction : public QObject {
    Q_OBJECT
public:
    TMapInteraction(TOptions &options, TMapPanel &panel, TMapObjManager &items,
                    TSelection &selection, QObject *parent = nullptr);

    TMapPanel &panel() { return m_panel; }
    TMapObjManager &items() { return m_items; }

    // The settings' maps, the default one opened.
    void openMaps();
    void zoom(int steps);
    void setShowAllObjects(bool on);
    void setShowNumbers(bool on);
    void setTrackPoints(bool points);
    void deleteTracks();
    void setFollowMode(bool on);

    // Mouse on the map: a press remembers the spot (the right button, which opens the map's
    // context menu, also the position under it), a drag with the left button moves the camera,
    // a click shows or removes the picked point's information.
    void mapPressed(const QPoint &pos, bool rightButton = false);
    TGeoCoords pickedPosition() const { return m_pickedPosition; }
    void mapDragged(const QPoint &pos, bool leftButton);
    void mapClicked(const QPoint &pos);
    // The label's text for an object's position.
    QString pickedPointText(int number, const TPositionSnapshot &pos) const;
    QString pickedPointLabel() const;
    // The picked point's label leaves the map (its items are about to be replaced).
    void removePickedLabel();

    // The map list, reloaded from the settings when they changed; then the chosen one opened
    // and centred on the followed object.
    QStringList mapNames();
    int currentMapIndex() const;
    void selectMap(int index);
    // A double click on an object of the grid: the best map when its position is off the open
    // one, and the camera there.
    void showObjectOnMap(int number);
    // The camera on the active object while the map follows it; selectBest: the best map for
    // its position first, as the settings say.
    void followActive(bool selectBest);

signals:
    // "Текущая карта: ..." (empty while a map opens).
    void currentMapText(const QString &text);

private:
    TOptions &m_options;
    TMapPanel &m_panel;
    TMapObjManager &m_items;
    TSelection &m_selection;
    TMapLabel *m_infoLabel = nullptr; // the picked point's information, owned by the panel
    QPoint m_lastMapPos;
    TGeoCoords m_pickedPosition;
};
