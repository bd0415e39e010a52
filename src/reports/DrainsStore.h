#pragma once

// The stored fuel drains (DRAIN_ALERTS): the alerts raised on line, which grow while the drain
// goes on, get their end and are confirmed by an operator, and the drains found afterwards in
// the stored readings of a period ("Определить сливы"). The table is shared by every
// workstation of the database: an alert another one raised for the same drain is taken, not
// stored twice. Also the period's list as the table the drains window, the batch front end and
// the export show.

#include <QAbstractTableModel>
#include <QString>

#include <optional>
#include <vector>

#include "app/DateUtils.h"
#include "reports/Drains.h"
#include "tracks/CoordsUtils.h"

class TDialogs;
class TFManager;
namespace db {
class TDatabase;
}

struct TStoredDrain {
    enum Kind { Live = 0, Found = 1 };

    int id = 0;
    int object = 0;
    int kind = Live;
    TDateTime begin = 0;
    std::optional<TDateTime> end; // none while the drain goes on
    double levelBefore = 0;
    double levelAfter = 0;
    std::optional<TDateTime> raised; // the packet time the alert was raised at
    double lat = 0;                  // minutes of arc; 0/0 when not known
    double lng = 0;
    QString confirmedBy;
    std::optional<TDateTime> confirmedAt;

    double litres() const { return levelBefore - levelAfter; }
    bool confirmed() const { return confirmedAt.has_value(); }
};

// "55°45'7\"40 37°35'1\"2": the position of a drain, empty when it is not known.
QString DrainPlaceText(double lat, double lng);

class TDrainStore {
public:
    explicit TDrainStore(db::TDatabase &database);

    // Stores a new alert, or takes the stored alert of the object over the same span (another
    // workstation raised it first). The row as stored, with its identity.
    TStoredDrain raise(const TStoredDrain &alert);
    // The alert's end (so far) and levels.
    void update(const TStoredDrain &alert);
    // Marks the drain confirmed by whom and when unless it was already; the row as stored
    // afterwards (nothing when it is gone). done tells whether this call confirmed it.
    std::optional<TStoredDrain> confirm(int id, const QString &by, TDateTime at,
                                        bool *done = nullptr);
    // The live alerts worth showing: every one not yet confirmed, and those begun since since.
    std::vector<TStoredDrain> alerts(TDateTime since);
    // The drains (of both kinds) that begin in [from, to], of one object or of all (0), in
    // time order.
    std::vector<TStoredDrain> period(int object, TDateTime from, TDateTime to);
    // The drains found in the stored readings: one the table holds over the same span is kept
    // (an alert still open takes the found end and levels); the others are stored as found.
    // How many were added.
    int storeFound(int object, const std::vector<TStoredDrain> &found);

private:
    db::TDatabase &m_db;
};

// What the drain rule needs of an object to read its history.
struct TDrainSubject {
    int number = 0;
    double tankVolume = 0;
    bool useEngine = false;
    TDrainRule rule;
};
TDrainSubject SubjectOf(const TObjectRecord &record, const TDrainRule &general);

// The drains of a period found by the same rule over the stored readings (INPUTSIGNALS) and
// the track files, as the live client would have found them.
class TDrainHistory {
public:
    TDrainHistory(db::TDatabase &database, TFManager &fmngr, const QString &coordCacheDir);

    // The readings of [from, to] with the rule's window before from, so that a drain that
    // begins at from is seen whole.
    std::vector<TFuelReading> readings(const TDrainSubject &s, TDateTime from, TDateTime to);
    // The drains that begin in [from, to], with the position of their begin.
    std::vector<TStoredDrain> find(const TDrainSubject &s, TDateTime from, TDateTime to);
    // find, and store the new ones; how many were added.
    int detect(const TDrainSubject &s, TDateTime from, TDateTime to);

private:
    struct TLoaded {
        std::vector<TFuelReading> readings;
        std::vector<TCoordData> track;
        std::vector<TCalibrationPoint> points;
    };
    TLoaded load(const TDrainSubject &s, TDateTime from, TDateTime to);

    db::TDatabase &m_db;
    TFManager &m_fmngr;
    QString m_coordCacheDir;
};

// "Определить сливы" over [from, to] for one registered object or for every one (0), each
// with its own rule or the general one; how many drains were added.
int DetectPeriodDrains(db::TDatabase &database, TDialogs &dialogs, TFManager &fmngr,
                       const QString &coordCacheDir, const TDrainRule &general, int object,
                       TDateTime from, TDateTime to);

// A period's drains as a table ("Сливы за период").
class TDrainsTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        colObject,
        colBegin,
        colEnd,
        colBefore,
        colAfter,
        colLitres,
        colPlace,
        colKind,
        colConfirmedBy,
        colConfirmedAt,
        ColumnCount
    };
    explicit TDrainsTable(QObject *parent = nullptr);

    void setRows(std::vector<TStoredDrain> rows);
    const std::vector<TStoredDrain> &rows() const { return m_rows; }
    static QString columnCaption(int column);
    QString cellText(int row, int column) const;
    // Object, begin, end, litres and place, tab-separated after a header (the batch front end).
    QString toTabSeparated() const;
    // Every column, ";"-separated in Windows-1251 with CR LF, for a spreadsheet.
    QByteArray toCsv() const;
    // Writes toCsv through a temporary file; std::runtime_error with the reason on failure.
    void exportTo(const QString &fileName) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<TStoredDrain> m_rows;
};
