#pragma once

// The session's part in fuel drains. Live: every packet applied to a registered object feeds
// the object's drain detector; at the packet that completes a drain's threshold an alert is
// raised - stored in the database, a row of the events panel, the object's marker flashing on
// the raster and the web map until an operator confirms it, the settings' sound, a line of
// the operations log - and the row grows while the drain goes on and shows its end. The table
// is polled, so that what another workstation raised or confirmed shows here too, and a
// reconnection or a restart finds the alerts again. History: "Определить сливы" runs the same
// rule over a period's stored readings, and the period's drains are listed for the drains
// window and its export.

#include <QAbstractTableModel>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "reports/Drains.h"
#include "reports/DrainsStore.h"

struct TOptions;
struct TAppliedPacket;
struct TSelection;
class TDialogs;
class TFManager;
class TManager;
class TMapObjManager;
class TWebMapPart;
namespace db {
class TDatabase;
}

// The events panel: the live alerts, the newest first.
class TDrainAlertsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colTime, colObject, colLitres, colPlace, colConfirm, ColumnCount };
    // What the confirm column holds for an alert nobody confirmed yet.
    static QString confirmText() { return QStringLiteral("Подтвердить"); }

    explicit TDrainAlertsModel(QObject *parent = nullptr);

    void setRows(const std::vector<TStoredDrain> &rows, const TManager *registry);
    const TStoredDrain *alertAt(int row) const;
    int rowOf(int id) const;
    QString cellText(int row, int column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<TStoredDrain> m_rows;
    std::map<int, QString> m_names; // object number -> its label
};

class TDrainsPart : public QObject {
    Q_OBJECT
public:
    static constexpr int PollInterval = 5000; // ms: what other workstations raised or confirmed
    static constexpr int FlashInterval = 500; // ms: half a flash of an alarmed marker
    static constexpr double ShownDays = 1;    // confirmed alerts stay in the panel this long

    TDrainsPart(TOptions &options, TDialogs &dialogs, db::TDatabase &database, TFManager &fmngr,
                TMapObjManager &items, TWebMapPart &webMap, const TSelection &selection,
                QObject *parent = nullptr);
    ~TDrainsPart() override;

    QTimer tmrDrainPoll;
    QTimer tmrFlash;
    // The local time (tests set it).
    std::function<TDateTime()> clock;

    // A new registry (or none): new detectors with the objects' rules and calibration steps,
    // the stored alerts, the polling.
    void setRegistry(TManager *registry);
    TManager *registry() const { return m_registry; }
    void onPacketsApplied(const std::vector<TAppliedPacket> &applied);
    // An object's own rule changed (the registry edits): its detector starts again with it.
    void objectChanged(int number);
    // The settings' general rule may have changed: the detectors whose rule it changed start
    // again.
    void settingsApplied();
    // The object's rule as it applies now.
    TDrainRule ruleOf(int number) const;
    TDrainRule generalRule() const;

    // ---- the events panel
    TDrainAlertsModel &alerts() { return m_model; }
    const std::vector<TStoredDrain> &alertRows() const { return m_alerts; }
    // "Подтвердить": who confirmed (the server login, or the system's user name) and when. False
    // when the alert is unknown or was confirmed already (by another workstation, say).
    bool confirm(int alertId);
    // The objects whose markers flash.
    QSet<int> flashing() const;
    void tmrDrainPollTimer();
    void tmrFlashTimer();

    // ---- the drains window
    // The object the window opens with: the grid's selected one, else 0 (all).
    int drainsObject() const;
    TDrainsTable &period() { return m_period; }
    // "Показать сливы": the stored drains that begin in the period (object 0: every object).
    void showPeriod(int object, TDateTime from, TDateTime to);
    // "Определить сливы": the rule over the period's stored readings of the object (0: every
    // registered object), the new drains stored; then "Показать сливы". How many were added.
    int detectPeriod(int object, TDateTime from, TDateTime to);

signals:
    // A new alert (raised here or seen from another workstation): the panel may draw attention.
    void alertRaised(int id);
    void alertsChanged();
    void soundRequested(const QString &file);
    void repaintMap();

private:
    struct TWatch {
        TDrainDetector detector;
        TDrainRule rule;
        int alertId = 0; // the open alert the detector follows
    };
    TWatch &watchOf(int number);
    void restartWatch(int number);
    void onEvent(int number, const TDrainEvent &e, const TControllableObject &o);
    void reload(bool announce);
    void merge(const std::vector<TStoredDrain> &stored, bool announce);
    TStoredDrain *findAlert(int id);
    void announce(const TStoredDrain &alert);
    void refreshFlashing();
    void publish();
    QString objectText(int number) const;
    QString operatorName() const;

    TOptions &m_options;
    TDialogs &m_dialogs;
    db::TDatabase &m_db;
    TFManager &m_fmngr;
    TMapObjManager &m_items;
    TWebMapPart &m_webMap;
    const TSelection &m_selection;
    TManager *m_registry = nullptr;
    std::map<int, std::unique_ptr<TWatch>> m_watches;
    std::map<int, TObjectDrainRule> m_rules;
    std::map<int, double> m_steps; // object -> litres of one sensor unit
    std::vector<TStoredDrain> m_alerts;
    QSet<int> m_flashing;
    bool m_lit = true;
    bool m_storeBroken = false; // a database of an older structure: nothing is stored
    int m_lastLocalId = 0;      // alerts the table could not take count down from -1
    TDrainAlertsModel m_model;
    TDrainsTable m_period;
};
