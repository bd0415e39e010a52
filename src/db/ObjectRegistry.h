#pragma once

// The object registry's edits, free of widgets: the registry list, adding, editing and deleting
// a registered object, and the object-settings file (".oni") with the object's fuel calibration
// table. Every change goes to the main connection here; the caller then mirrors it into the
// objects in memory, the map items and the web map. Questions and messages go through TDialogs.

#include <QString>

#include <map>
#include <optional>
#include <vector>

class TDialogs;

namespace db {
class TDatabase;
}

// An object's own fuel-drain rule (DRAIN_RULES); a value it lacks is the settings' general
// default.
struct TObjectDrainRule {
    std::optional<double> litres;
    std::optional<int> windowMinutes;
    std::optional<int> median;
    bool empty() const { return !litres && !windowMinutes && !median; }
    bool operator==(const TObjectDrainRule &) const = default;
};

// The registry columns of one OBJECTS row, with the object's drain rule.
struct TObjectRecord {
    int number = 0;
    QString name;
    QString shortName;
    QString desc;
    double tankVolume = 0;
    double fuelConsW = 0; // winter norm, l/100 km
    double fuelConsS = 0; // summer norm, l/100 km
    int timeZone = 0;
    int useEngineForPark = 0;
    int fuelDepType = 0; // 0 inverse, 1 direct
    int fuelSensorDelta = 100;
    int fuelUseTankSensor = 0;
    int fuelUseEngine = 1;
    TObjectDrainRule drains;
};

// The object form's values as the user left them; the texts are parsed when saving.
struct TObjectForm {
    QString number;
    QString name;
    QString shortName;
    QString groupId; // GRP_ID of the chosen group, empty for "нет группы"
    QString timeZone = QStringLiteral("0");
    bool useEngineForPark = false;
    QString tankVolume = QStringLiteral("0");
    int fuelDepType = 0; // "Обратная" 0, "Прямая" 1
    int fuelConsW = 0;   // 0..1000
    int fuelConsS = 0;   // 0..1000
    bool tankSensor = false;
    bool engineSensor = true;
    int sensorDelta = 100; // 0..5000
    // The drain rule: litres, minutes, readings of the median; 0 takes the general default.
    int drainLitres = 0;
    int drainWindow = 0;
    int drainMedian = 0;

    // The form of a registered object, its group chosen.
    static TObjectForm fromRecord(const TObjectRecord &r, const QString &groupId);
};

enum class TRegistrySave {
    Saved,
    BadNumber, // the number is not an integer: the number field takes the focus
    Cancelled, // the time-zone question was cancelled
    Failed,    // the database refused; the message was shown and the form stays open
};

// What a save did, for mirroring it.
struct TRegistryEdit {
    TRegistrySave result = TRegistrySave::Failed;
    TObjectRecord record;
    bool groupChanged = false;
    bool deleteHistory = false; // the time zone changed: the stored time series must go
    bool reimport = false;      // ... and be imported again from the track files
};

// One point of a fuel calibration table.
struct TCalibrationPoint {
    int sensor = 0;
    double fuel = 0;
    int fixed = 1;
};

class TIniFile;

// Every object's drain rule by number (objects without one are left out). A database of an
// older structure, without the table, has none.
std::map<int, TObjectDrainRule> LoadDrainRules(db::TDatabase &database);

// What an ".oni" file holds. Keys it lacks keep the given defaults; the calibration points are
// read up to the file's "Count", but never more than the section has keys.
struct TOniContents {
    TObjectRecord record; // number: the file's object number, -1 without one
    std::vector<TCalibrationPoint> points;
    int declaredCount = 0;
};
int OniObjectNumber(const TIniFile &ini);
TOniContents ReadOni(const TIniFile &ini, const TObjectRecord &defaults);

class TObjectRegistry {
public:
    TObjectRegistry(db::TDatabase &database, TDialogs &dialogs);

    // The registry list in number order.
    std::vector<TObjectRecord> LoadList();
    std::optional<TObjectRecord> Find(int number);

    TRegistryEdit Add(const TObjectForm &form);
    // storedTimeZone: the time zone the form was opened with; oldGroupId: the object's group
    // when the form was opened (empty for none). Only a changed group choice touches OBJ_GRP,
    // and then only this object's row of the old group.
    TRegistryEdit Edit(const TObjectForm &form, int storedTimeZone, const QString &oldGroupId);
    // Asks "Вы уверены ..." and deletes the registry row and its memberships on Yes. The
    // object's time series and track files stay. False when the user said No.
    bool Delete(int number);
    // Deletes the object's stored time series; a failure is shown. False on failure.
    bool DeleteHistory(int number);

    // Writes the object's settings and its calibration table into an ".oni" file; other
    // sections and keys of an existing file stay.
    void Export(const TObjectRecord &record, const QString &fileName);
    // Reads an ".oni" file into the registry (asking before it replaces a registered object).
    // The record written, or nothing when the import stopped.
    std::optional<TObjectRecord> Import(const QString &fileName);
    // "Импорт данных объекта №N завершен".
    void ReportImported(int number);

    std::vector<TCalibrationPoint> LoadCalibration(int number);

private:
    db::TDatabase &m_db;
    TDialogs &m_dialogs;
};

// Decimal fractions as the object-settings file holds them: written with the platform's decimal
// separator, read with either "," or ".". A text that is no number gives def.
QString OniFloatText(double value);
double OniFloatValue(const QString &text, double def);
