#include "session/DrainsPart.h"

#include <QColor>

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/FormatSettings.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "db/ObjectRegistry.h"
#include "maps/MapObjManager.h"
#include "online/ControllableObject.h"
#include "session/OnlineProcessor.h"
#include "session/SessionTypes.h"
#include "session/WebMapPart.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace {

const QString kSender = QStringLiteral("DRAINS");

QString litresText(double litres) {
    return TFormatSettings::current().formatFloat(litres, 1) + QStringLiteral(" л");
}

} // namespace

// ---- the events panel

TDrainAlertsModel::TDrainAlertsModel(QObject *parent) : QAbstractTableModel(parent) {}

void TDrainAlertsModel::setRows(const std::vector<TStoredDrain> &rows, const TManager *registry) {
    beginResetModel();
    m_rows = rows;
    // The newest first.
    std::stable_sort(
        m_rows.begin(), m_rows.end(),
        [](const TStoredDrain &a, const TStoredDrain &b) { return a.begin > b.begin; });
    m_names.clear();
    if (registry)
        for (const TControllableObject *o : registry->FObjects)
            m_names[o->Number] = o->GetLabel();
    endResetModel();
}

const TStoredDrain *TDrainAlertsModel::alertAt(int row) const {
    return row >= 0 && row < int(m_rows.size()) ? &m_rows[size_t(row)] : nullptr;
}

int TDrainAlertsModel::rowOf(int id) const {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id)
            return int(i);
    return -1;
}

QString TDrainAlertsModel::cellText(int row, int column) const {
    const TStoredDrain *a = alertAt(row);
    if (!a)
        return {};
    switch (column) {
    case colTime:
        return dt::dateTimeToStr(a->begin) + QStringLiteral(" – ") +
               (a->end ? dt::timeToStr(*a->end) : QStringLiteral("идёт"));
    case colObject: {
        const auto it = m_names.find(a->object);
        const QString name = it == m_names.end() ? QString() : it->second;
        return name.isEmpty() || name == QString::number(a->object)
                   ? QString::number(a->object)
                   : QString::number(a->object) + QLatin1Char(' ') + name;
    }
    case colLitres:
        return TFormatSettings::current().formatFloat(a->litres(), 1);
    case colPlace:
        return DrainPlaceText(a->lat, a->lng);
    case colConfirm:
        return a->confirmed() ? QStringLiteral("Подтвердил ") + a->confirmedBy +
                                    QStringLiteral(", ") + dt::dateTimeToStr(*a->confirmedAt)
                              : confirmText();
    }
    return {};
}

int TDrainAlertsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TDrainAlertsModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TDrainAlertsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return cellText(index.row(), index.column());
    // An alert nobody has confirmed stands out.
    if (role == Qt::BackgroundRole)
        if (const TStoredDrain *a = alertAt(index.row()); a && !a->confirmed())
            return QColor(255, 222, 173);
    if (role == Qt::UserRole) // the alert's identity, for the confirm button
        if (const TStoredDrain *a = alertAt(index.row()))
            return a->id;
    return {};
}

QVariant TDrainAlertsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case colTime:
        return QStringLiteral("Время");
    case colObject:
        return QStringLiteral("Объект");
    case colLitres:
        return QStringLiteral("Слито, л");
    case colPlace:
        return QStringLiteral("Место");
    case colConfirm:
        return QString();
    }
    return {};
}

// ---- the part

TDrainsPart::TDrainsPart(TOptions &options, TDialogs &dialogs, db::TDatabase &database,
                         TFManager &fmngr, TMapObjManager &items, TWebMapPart &webMap,
                         const TSelection &selection, QObject *parent)
    : QObject(parent), clock([] { return dt::now(); }), m_options(options), m_dialogs(dialogs),
      m_db(database), m_fmngr(fmngr), m_items(items), m_webMap(webMap), m_selection(selection) {
    tmrDrainPoll.setInterval(PollInterval);
    tmrFlash.setInterval(FlashInterval);
}

TDrainsPart::~TDrainsPart() = default;

TDrainRule TDrainsPart::generalRule() const {
    return {double(m_options.DrainLitres), double(m_options.DrainWindow), m_options.DrainMedian};
}

TDrainRule TDrainsPart::ruleOf(int number) const {
    const auto it = m_rules.find(number);
    return it == m_rules.end() ? generalRule() : EffectiveRule(it->second, generalRule());
}

void TDrainsPart::setRegistry(TManager *registry) {
    m_registry = registry;
    m_watches.clear();
    m_rules.clear();
    m_steps.clear();
    m_storeBroken = false;
    for (int n : std::as_const(m_flashing))
        m_webMap.setAlarm(n, false);
    m_flashing.clear();
    m_alerts.clear();
    if (!registry) {
        tmrDrainPoll.stop();
        tmrFlash.stop();
        publish();
        return;
    }
    m_rules = LoadDrainRules(m_db);
    {
        db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, QStringLiteral("select count(*) from RDB$RELATIONS where "
                                        "RDB$RELATION_NAME = 'DRAIN_ALERTS'"));
        q.open();
        // A database of an older structure keeps no drains: the alerts live in memory only.
        m_storeBroken = !(q.next() && q.field(0).asInteger() > 0);
        q.close();
        tr.commit();
    }
    // Every object's calibration table in one reading: the litres of one sensor unit.
    {
        std::map<int, std::vector<TCalibrationPoint>> tables;
        db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, QStringLiteral("select ID, SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS "
                                        "order by ID, SENSOR_VAL"));
        q.open();
        while (q.next())
            tables[q.field(0).asInteger()].push_back(
                {q.field(1).asInteger(), q.field(2).asDouble(), q.field(3).asInteger()});
        q.close();
        tr.commit();
        for (const auto &[number, points] : tables)
            m_steps[number] = CalibrationStep(points);
    }
    reload(false);
    tmrDrainPoll.start();
}

TDrainsPart::TWatch &TDrainsPart::watchOf(int number) {
    std::unique_ptr<TWatch> &w = m_watches[number];
    if (!w) {
        const TDrainRule rule = ruleOf(number);
        const auto step = m_steps.find(number);
        w = std::make_unique<TWatch>(
            TWatch{TDrainDetector(rule, step == m_steps.end() ? 0 : step->second), rule, 0});
    }
    return *w;
}

void TDrainsPart::restartWatch(int number) {
    m_watches.erase(number);
}

void TDrainsPart::objectChanged(int number) {
    if (!m_registry)
        return;
    const std::map<int, TObjectDrainRule> rules = LoadDrainRules(m_db);
    const auto it = rules.find(number);
    if (it == rules.end())
        m_rules.erase(number);
    else
        m_rules[number] = it->second;
    const auto w = m_watches.find(number);
    if (w != m_watches.end() && !(w->second->rule == ruleOf(number)))
        restartWatch(number);
}

void TDrainsPart::settingsApplied() {
    std::vector<int> changed;
    for (const auto &[number, w] : m_watches)
        if (!(w->rule == ruleOf(number)))
            changed.push_back(number);
    for (int n : changed)
        restartWatch(n);
}

void TDrainsPart::onPacketsApplied(const std::vector<TAppliedPacket> &applied) {
    if (!m_registry)
        return;
    for (const TAppliedPacket &p : applied) {
        // An older packet tells the detector nothing new: its readings go by time.
        if (!p.object || !p.updating)
            continue;
        const TControllableObject &o = *p.object;
        TWatch &w = watchOf(o.Number);
        if (const std::optional<TDrainEvent> e = w.detector.feed(LiveReading(o)))
            onEvent(o.Number, *e, o);
    }
}

TStoredDrain *TDrainsPart::findAlert(int id) {
    for (TStoredDrain &a : m_alerts)
        if (a.id == id)
            return &a;
    return nullptr;
}

void TDrainsPart::onEvent(int number, const TDrainEvent &e, const TControllableObject &o) {
    TWatch &w = watchOf(number);
    TDrainStore store(m_db);
    const TDrain &d = e.drain;
    if (e.kind == TDrainEventKind::Raised) {
        TStoredDrain a;
        a.object = number;
        a.kind = TStoredDrain::Live;
        a.begin = d.begin;
        a.levelBefore = d.levelBefore;
        a.levelAfter = d.levelAfter;
        a.raised = o.TS;
        a.lat = double(o.Lat);
        a.lng = double(o.Lng);
        if (!m_storeBroken) {
            try {
                a = store.raise(a);
            } catch (const db::EDatabaseError &err) {
                // The alert still shows; the database keeps nothing of it.
                LogOperations(QStringLiteral("Не удалось сохранить слив топлива: ") + err.text(),
                              kSender, 0);
            }
        }
        if (a.id == 0)
            a.id = --m_lastLocalId;
        w.alertId = a.id;
        // An alert the table already held (this detector started again after a reconnection,
        // or another workstation raised it) is not news.
        if (TStoredDrain *stored = findAlert(a.id)) {
            *stored = a;
            publish();
            return;
        }
        m_alerts.push_back(a);
        LogOperations(QStringLiteral("Слив топлива на объекте ") + objectText(number) +
                          QStringLiteral(": ") + litresText(a.litres()) + QStringLiteral(" с ") +
                          dt::dateTimeToStr(a.begin) +
                          (a.lat * a.lng != 0 ? QStringLiteral(", ") + DrainPlaceText(a.lat, a.lng)
                                              : QString()),
                      kSender, 10);
        announce(a);
        publish();
        return;
    }
    TStoredDrain *a = findAlert(w.alertId);
    if (!a)
        return;
    // An alert taken over from the table (raised before a reconnection, or by another
    // workstation) may have begun higher than this detector has seen.
    a->levelBefore = std::max(a->levelBefore, d.levelBefore);
    a->levelAfter = d.levelAfter;
    if (e.kind == TDrainEventKind::Ended) {
        a->end = d.end;
        w.alertId = 0;
        LogOperations(QStringLiteral("Слив топлива на объекте ") + objectText(number) +
                          QStringLiteral(" окончен: ") + litresText(a->litres()) +
                          QStringLiteral(" с ") + dt::dateTimeToStr(a->begin) +
                          QStringLiteral(" по ") + dt::dateTimeToStr(d.end),
                      kSender, 20);
    }
    if (a->id > 0 && !m_storeBroken) {
        try {
            store.update(*a);
        } catch (const db::EDatabaseError &err) {
            LogOperations(QStringLiteral("Не удалось сохранить слив топлива: ") + err.text(),
                          kSender, 0);
        }
    }
    publish();
}

void TDrainsPart::announce(const TStoredDrain &a) {
    if (a.confirmed())
        return;
    refreshFlashing();
    if (m_options.DrainPlaySound) {
        const QString file =
            m_options.DrainSoundFile.isEmpty() ? m_options.TOSoundFile : m_options.DrainSoundFile;
        if (!file.isEmpty())
            emit soundRequested(file);
    }
    emit alertRaised(a.id);
}

bool TDrainsPart::confirm(int alertId) {
    TStoredDrain *a = findAlert(alertId);
    if (!a || a->confirmed())
        return false;
    const QString by = operatorName();
    const TDateTime at = clock();
    if (a->id > 0) {
        bool mine = false;
        const std::optional<TStoredDrain> stored = TDrainStore(m_db).confirm(a->id, by, at, &mine);
        if (!stored)
            return false;
        a->confirmedBy = stored->confirmedBy;
        a->confirmedAt = stored->confirmedAt;
        if (!mine) {
            refreshFlashing();
            publish();
            return false;
        }
    } else {
        a->confirmedBy = by;
        a->confirmedAt = at;
    }
    LogOperations(QStringLiteral("Слив топлива на объекте ") + objectText(a->object) +
                      QStringLiteral(" с ") + dt::dateTimeToStr(a->begin) +
                      QStringLiteral(" подтвержден: ") + by,
                  kSender, 20);
    refreshFlashing();
    publish();
    return true;
}

QSet<int> TDrainsPart::flashing() const {
    return m_flashing;
}

void TDrainsPart::refreshFlashing() {
    QSet<int> now;
    for (const TStoredDrain &a : m_alerts)
        if (!a.confirmed())
            now.insert(a.object);
    for (int n : std::as_const(m_flashing))
        if (!now.contains(n)) {
            m_items.SetAlarm(n, false);
            m_webMap.setAlarm(n, false);
        }
    for (int n : std::as_const(now))
        if (!m_flashing.contains(n)) {
            m_items.SetAlarm(n, true);
            m_webMap.setAlarm(n, true);
        }
    m_flashing = now;
    if (m_flashing.isEmpty()) {
        tmrFlash.stop();
    } else if (!tmrFlash.isActive()) {
        m_lit = true;
        m_items.SetAlarmLit(true);
        tmrFlash.start();
    }
    emit repaintMap();
}

void TDrainsPart::tmrFlashTimer() {
    m_lit = !m_lit;
    m_items.SetAlarmLit(m_lit);
    emit repaintMap();
}

void TDrainsPart::tmrDrainPollTimer() {
    if (!m_registry || m_storeBroken || !m_db.isOpen())
        return;
    reload(true);
}

void TDrainsPart::reload(bool announceNew) {
    if (m_storeBroken) {
        publish();
        return;
    }
    merge(TDrainStore(m_db).alerts(clock() - ShownDays), announceNew);
}

void TDrainsPart::merge(const std::vector<TStoredDrain> &stored, bool announceNew) {
    // The drains this workstation follows keep their own levels and end (the fresher ones);
    // what the table says of the others, and of every confirmation, is taken.
    std::set<int> open;
    for (const auto &[number, w] : m_watches)
        if (w->alertId != 0)
            open.insert(w->alertId);
    std::vector<TStoredDrain> next;
    std::vector<TStoredDrain> fresh;
    for (const TStoredDrain &s : stored) {
        TStoredDrain row = s;
        if (const TStoredDrain *mine = findAlert(s.id)) {
            if (open.count(s.id)) {
                row = *mine;
                row.confirmedBy = s.confirmedBy;
                row.confirmedAt = s.confirmedAt;
            }
        } else {
            fresh.push_back(s);
        }
        next.push_back(row);
    }
    // Alerts the table cannot hold (no identity of its own), and those this workstation still
    // follows, stay.
    for (const TStoredDrain &a : m_alerts)
        if (a.id < 0 || (open.count(a.id) &&
                         std::none_of(stored.begin(), stored.end(),
                                      [&a](const TStoredDrain &s) { return s.id == a.id; })))
            next.push_back(a);
    m_alerts = std::move(next);
    refreshFlashing();
    if (announceNew)
        for (const TStoredDrain &s : fresh)
            announce(s);
    publish();
}

void TDrainsPart::publish() {
    m_model.setRows(m_alerts, m_registry);
    emit alertsChanged();
}

QString TDrainsPart::objectText(int number) const {
    const TControllableObject *o = m_registry ? m_registry->FindObject(number) : nullptr;
    const QString label = o ? o->GetLabel() : QString();
    return QStringLiteral("№") + QString::number(number) +
           (label.isEmpty() || label == QString::number(number) ? QString()
                                                                : QStringLiteral(" ") + label);
}

QString TDrainsPart::operatorName() const {
    if (!m_options.AppLogin.isEmpty())
        return m_options.AppLogin;
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("оператор") : user;
}

// ---- the drains window

int TDrainsPart::drainsObject() const {
    return m_registry && m_selection.number > 0 && m_registry->FindObject(m_selection.number)
               ? m_selection.number
               : 0;
}

void TDrainsPart::showPeriod(int object, TDateTime from, TDateTime to) {
    m_period.setRows(TDrainStore(m_db).period(object, from, to));
}

int TDrainsPart::detectPeriod(int object, TDateTime from, TDateTime to) {
    const int added = m_registry ? DetectPeriodDrains(m_db, m_dialogs, m_fmngr, CoordCacheDir(),
                                                      generalRule(), object, from, to)
                                 : 0;
    showPeriod(object, from, to);
    return added;
}
