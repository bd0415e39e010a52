#pragma once

// The session's live objects: what the server says about the registry's objects reaches their
// map items, markers and colours, the web-map markers and the followed view; the grid's chosen
// object becomes the active one; the indicators show its gauges.

#include <QObject>

#include <optional>
#include <vector>

#include "session/SessionTypes.h"

struct TOptions;
struct TAppliedPacket;
struct TFileImportResult;
struct TGaugeValues;
class TControllableObject;
class TManager;
class TMapInteraction;
class TMapObjManager;
class TMapPanel;
class TServerController;
class TWebMapPart;

class TLiveObjects : public QObject {
    Q_OBJECT
public:
    TLiveObjects(TOptions &options, TMapPanel &panel, TMapObjManager &items, TWebMapPart &webMap,
                 TServerController &server, TMapInteraction &map, TSelection &selection,
                 QObject *parent = nullptr);

    // A new registry: its objects become map items with stored data's look.
    void setRegistry(TManager *registry);

    // The grid's current row changed (number 0 or less: none).
    void selectObject(int number, int row);
    // The same object again (a page became ready, the demonstration object arrived).
    void reselect();
    std::optional<TGaugeValues> gauges() const;
    // The relay and device commands act on the selected row's object: they are open while the
    // server reports that object on line, whatever object its latest news named.
    bool selectedOnLine() const;

    void onPacketsApplied(const std::vector<TAppliedPacket> &applied);
    void onConnectionNews(int number, TConnectionNews news);
    void onAllObjectsDisconnected();
    // An imported file moved a registered object.
    void onFileImported(const TFileImportResult &r);

    // A registered object appeared or changed: its map item follows (with stored data's look
    // when it is new); removed: its item goes.
    void registerObject(const TControllableObject &o);
    void removeObject(int number);
    // The settings' colours for markers and tracks.
    void applyColours();

signals:
    // Another object becomes the active one: the shown track belongs to the one before.
    void activeObjectChanging(int number);
    void gaugesChanged();

private:
    TOptions &m_options;
    TMapPanel &m_panel;
    TMapObjManager &m_items;
    TWebMapPart &m_webMap;
    TServerController &m_server;
    TMapInteraction &m_map;
    TSelection &m_selection;
    TManager *m_registry = nullptr;
};
