#pragma once

// The demonstration object: a recorded device data file replayed as if object 1000 were on
// line, one record every two seconds, through the same steps as on-line data.

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "session/SessionTypes.h"

struct TOptions;
class QFile;
class TDialogs;
class TFManager;
class TLiveObjects;
class TManager;
class TMapInteraction;
class TMapObjManager;
class TMapPanel;
class TTrackDisplay;
class TWebMapPart;
namespace db {
class TDatabase;
}

class TDemoObject : public QObject {
    Q_OBJECT
public:
    static constexpr int DemoNumber = 1000;

    TDemoObject(TOptions &options, TDialogs &dialogs, db::TDatabase &database, TFManager &fmngr,
                TMapPanel &panel, TMapObjManager &items, TWebMapPart &webMap, TTrackDisplay &tracks,
                TMapInteraction &map, TLiveObjects &live, const TSelection &selection,
                QObject *parent = nullptr);
    ~TDemoObject() override;

    void setRegistry(TManager *registry) { m_registry = registry; }

    // "Включить демо-объект": on, or off again.
    void miDemoModeClick();
    bool demoModeOn() const { return m_demoOn; }
    // Off (the connection it writes through is closing).
    void stop();
    QTimer tmrDemoMode;
    void tmrDemoModeTimer();
    // Where the demonstration data is read from: the data folder's, else the program folder's.
    static QString demoDataFile();

    // What the server said of object 1000's connection: given back when the replay stops.
    void onConnectionNews(int number, TConnectionNews news);

signals:
    void demoModeChanged(bool on);
    void statusText(TStatusField field, const QString &text);
    void objectsChanged();
    void gridRefreshRequested();
    void gaugesChanged();
    // The object grid should select this row (the demonstration object was added).
    void gridRowSelectRequested(int row);

private:
    void start();

    TOptions &m_options;
    TDialogs &m_dialogs;
    db::TDatabase &m_db;
    TFManager &m_fmngr;
    TMapPanel &m_panel;
    TMapObjManager &m_items;
    TWebMapPart &m_webMap;
    TTrackDisplay &m_tracks;
    TMapInteraction &m_map;
    TLiveObjects &m_live;
    const TSelection &m_selection;
    TManager *m_registry = nullptr;
    std::unique_ptr<QFile> DemoModeFile;
    bool m_demoOn = false;
    bool m_serverSaysConnected = false; // the last news of object 1000 from the server
};
