#include "db/ObjectRegistry.h"

#include "app/Dialogs.h"
#include "app/FormatSettings.h"
#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/OptionsIO.h"
#include "app/SqlLiteral.h"
#include "db/Database.h"

#include <cmath>
#include <stdexcept>

namespace {

const QString kAddCaption = QStringLiteral("Добавление объекта");
const QString kEditCaption = QStringLiteral("Редактирование объекта");
const QString kSaveError = QStringLiteral("Во время сохранения данных произошла ошибка: \r\n");

// A form value that must be an integer; the message is the one a failed conversion gives.
int integerOf(const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error(
            QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    return v;
}

QString errorText(const std::exception &e) {
    if (const auto *d = dynamic_cast<const db::EDatabaseError *>(&e))
        return d->text();
    return QString::fromUtf8(e.what());
}

TObjectRecord recordOf(const db::TQuery &q) {
    TObjectRecord r;
    r.number = q.field(QStringLiteral("OBJ_NUMBER")).asInteger();
    r.name = q.field(QStringLiteral("OBJ_NAME")).asString();
    r.shortName = q.field(QStringLiteral("OBJ_SHORTNAME")).asString();
    r.desc = q.field(QStringLiteral("OBJ_DESC")).asString();
    r.tankVolume = q.field(QStringLiteral("OBJ_TANKVOLUME")).asDouble();
    r.fuelConsW = q.field(QStringLiteral("OBJ_FUELCONSW")).asDouble();
    r.fuelConsS = q.field(QStringLiteral("OBJ_FUELCONSS")).asDouble();
    r.timeZone = q.field(QStringLiteral("OBJ_TIMEZONE")).asInteger();
    r.useEngineForPark = q.field(QStringLiteral("OBJ_USEENGINEFORPARK")).asInteger();
    r.fuelDepType = q.field(QStringLiteral("OBJ_FUELDEPTYPE")).asInteger();
    r.fuelSensorDelta = q.field(QStringLiteral("OBJ_FUELSENSORDELTA")).asInteger();
    r.fuelUseTankSensor = q.field(QStringLiteral("OBJ_FUELUSETANKSENSOR")).asInteger();
    r.fuelUseEngine = q.field(QStringLiteral("OBJ_FUELUSEENGINE")).asInteger();
    return r;
}

const QString kListSql = QStringLiteral(
    "SELECT OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, OBJ_TANKVOLUME, OBJ_FUELCONSW, OBJ_FUELCONSS, "
    "OBJ_DESC, OBJ_USEENGINEFORPARK, OBJ_TIMEZONE, OBJ_FUELDEPTYPE, OBJ_FUELSENSORDELTA, "
    "OBJ_FUELUSETANKSENSOR, OBJ_FUELUSEENGINE FROM OBJECTS");

// The form's values in the registry's terms; the number was checked before.
TObjectRecord recordOf(const TObjectForm &f, int number) {
    TObjectRecord r;
    r.number = number;
    r.name = f.name;
    r.shortName = f.shortName;
    r.tankVolume = integerOf(f.tankVolume);
    r.fuelConsW = f.fuelConsW;
    r.fuelConsS = f.fuelConsS;
    r.timeZone = integerOf(f.timeZone);
    r.useEngineForPark = f.useEngineForPark ? 1 : 0;
    r.fuelDepType = f.fuelDepType;
    r.fuelSensorDelta = f.sensorDelta;
    r.fuelUseTankSensor = f.tankSensor ? 1 : 0;
    r.fuelUseEngine = f.engineSensor ? 1 : 0;
    if (f.drainLitres > 0)
        r.drains.litres = f.drainLitres;
    if (f.drainWindow > 0)
        r.drains.windowMinutes = f.drainWindow;
    if (f.drainMedian > 0)
        r.drains.median = f.drainMedian;
    return r;
}

const QString kDrainSection = QStringLiteral("Drains");

// The object's row of DRAIN_RULES, in the caller's transaction. Without a rule of its own the
// row goes; a database of an older structure has no such table, and nothing to remove.
void saveDrainRule(db::TQuery &q, int number, const TObjectDrainRule &rule) {
    if (rule.empty()) {
        try {
            q.setSql(QStringLiteral("delete from DRAIN_RULES where DR_OBJECT = :num"));
            q.setParam(QStringLiteral("num"), number);
            q.execute();
        } catch (const db::EDatabaseError &) {
        }
        return;
    }
    q.setSql(QStringLiteral("update or insert into DRAIN_RULES (DR_OBJECT, DR_LITRES, DR_WINDOW, "
                            "DR_MEDIAN) values (:num, :litres, :window, :median) "
                            "matching (DR_OBJECT)"));
    q.setParam(QStringLiteral("num"), number);
    q.setParam(QStringLiteral("litres"),
               rule.litres ? db::TParam(*rule.litres) : db::TParam::nullValue());
    q.setParam(QStringLiteral("window"),
               rule.windowMinutes ? db::TParam(*rule.windowMinutes) : db::TParam::nullValue());
    q.setParam(QStringLiteral("median"),
               rule.median ? db::TParam(*rule.median) : db::TParam::nullValue());
    q.execute();
}

TObjectDrainRule drainRuleOf(const db::TQuery &q) {
    TObjectDrainRule r;
    if (!q.field(QStringLiteral("DR_LITRES")).isNull())
        r.litres = q.field(QStringLiteral("DR_LITRES")).asDouble();
    if (!q.field(QStringLiteral("DR_WINDOW")).isNull())
        r.windowMinutes = q.field(QStringLiteral("DR_WINDOW")).asInteger();
    if (!q.field(QStringLiteral("DR_MEDIAN")).isNull())
        r.median = q.field(QStringLiteral("DR_MEDIAN")).asInteger();
    return r;
}

void insertGroupRow(db::TQuery &q, int number, const QString &groupId) {
    // An object may already stand in the chosen group through another row.
    q.setSql(QStringLiteral("UPDATE OR INSERT INTO OBJ_GRP ( OG_OBJID, OG_GRPID ) VALUES ( :obj, "
                            ":grp ) MATCHING ( OG_OBJID, OG_GRPID )"));
    q.setParam(QStringLiteral("obj"), number);
    q.setParam(QStringLiteral("grp"), groupId);
    q.execute();
}

// Two decimals, as every floating value the program stores.
double twoDecimals(double v) {
    return std::round(v * 100) / 100;
}

// The object form's columns of an add or an edit.
void bindRecord(db::TQuery &q, const TObjectRecord &r) {
    q.setParam(QStringLiteral("num"), r.number);
    q.setParam(QStringLiteral("name"), r.name);
    q.setParam(QStringLiteral("short"), r.shortName);
    q.setParam(QStringLiteral("tank"), static_cast<qint64>(r.tankVolume));
    q.setParam(QStringLiteral("consw"), static_cast<int>(r.fuelConsW));
    q.setParam(QStringLiteral("conss"), static_cast<int>(r.fuelConsS));
    q.setParam(QStringLiteral("tz"), r.timeZone);
    q.setParam(QStringLiteral("park"), r.useEngineForPark);
    q.setParam(QStringLiteral("dep"), r.fuelDepType);
    q.setParam(QStringLiteral("delta"), r.fuelSensorDelta);
    q.setParam(QStringLiteral("tanksensor"), r.fuelUseTankSensor);
    q.setParam(QStringLiteral("engine"), r.fuelUseEngine);
}

} // namespace

TObjectForm TObjectForm::fromRecord(const TObjectRecord &r, const QString &groupId) {
    TObjectForm f;
    f.number = QString::number(r.number);
    f.name = r.name;
    f.shortName = r.shortName;
    f.groupId = groupId;
    f.timeZone = QString::number(r.timeZone);
    f.useEngineForPark = r.useEngineForPark == 1;
    f.tankVolume = QString::number(static_cast<qint64>(std::floor(r.tankVolume)));
    f.fuelDepType = r.fuelDepType == 1 ? 1 : 0;
    f.fuelConsW = static_cast<int>(r.fuelConsW);
    f.fuelConsS = static_cast<int>(r.fuelConsS);
    f.tankSensor = r.fuelUseTankSensor == 1;
    f.engineSensor = r.fuelUseEngine == 1;
    f.sensorDelta = r.fuelSensorDelta;
    f.drainLitres = r.drains.litres ? int(std::lround(*r.drains.litres)) : 0;
    f.drainWindow = r.drains.windowMinutes.value_or(0);
    f.drainMedian = r.drains.median.value_or(0);
    return f;
}

std::map<int, TObjectDrainRule> LoadDrainRules(db::TDatabase &database) {
    std::map<int, TObjectDrainRule> rules;
    db::TTransaction tr(database, db::TTransactionKind::ReadCommitted);
    tr.start();
    try {
        db::TQuery q(tr, QStringLiteral("select DR_OBJECT, DR_LITRES, DR_WINDOW, DR_MEDIAN from "
                                        "DRAIN_RULES"));
        q.open();
        while (q.next())
            rules[q.field(QStringLiteral("DR_OBJECT")).asInteger()] = drainRuleOf(q);
        q.close();
    } catch (const db::EDatabaseError &) {
        // An older structure: every object takes the general default.
    }
    tr.commit();
    return rules;
}

TObjectRegistry::TObjectRegistry(db::TDatabase &database, TDialogs &dialogs)
    : m_db(database), m_dialogs(dialogs) {}

std::vector<TObjectRecord> TObjectRegistry::LoadList() {
    std::vector<TObjectRecord> rows;
    db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, kListSql + QStringLiteral(" ORDER BY OBJ_NUMBER"));
    q.open();
    while (q.next())
        rows.push_back(recordOf(q));
    q.close();
    tr.commit();
    const std::map<int, TObjectDrainRule> rules = LoadDrainRules(m_db);
    for (TObjectRecord &r : rows)
        if (const auto it = rules.find(r.number); it != rules.end())
            r.drains = it->second;
    return rows;
}

std::optional<TObjectRecord> TObjectRegistry::Find(int number) {
    db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, kListSql + QStringLiteral(" WHERE OBJ_NUMBER = :n"));
    q.setParam(QStringLiteral("n"), number);
    q.open();
    std::optional<TObjectRecord> r;
    if (q.next())
        r = recordOf(q);
    q.close();
    tr.commit();
    if (r) {
        const std::map<int, TObjectDrainRule> rules = LoadDrainRules(m_db);
        if (const auto it = rules.find(number); it != rules.end())
            r->drains = it->second;
    }
    return r;
}

TRegistryEdit TObjectRegistry::Add(const TObjectForm &form) {
    TRegistryEdit out;
    bool ok = false;
    const int number = form.number.trimmed().toInt(&ok);
    if (!ok) {
        m_dialogs.message(QStringLiteral("В поле \"номер объекта\" не числовое значение"),
                          options::ApplicationTitle(), TMsgIcon::Warning);
        out.result = TRegistrySave::BadNumber;
        return out;
    }
    db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
    try {
        const TObjectRecord r = recordOf(form, number);
        tr.start();
        db::TQuery q(tr);
        q.setSql(QStringLiteral(
            "INSERT INTO OBJECTS ( OBJ_NUMBER,OBJ_NAME,OBJ_SHORTNAME, OBJ_TANKVOLUME, "
            "OBJ_FUELCONSW, OBJ_FUELCONSS, OBJ_TIMEZONE, OBJ_USEENGINEFORPARK, "
            "OBJ_FUELDEPTYPE, OBJ_FUELSENSORDELTA, OBJ_FUELUSETANKSENSOR, OBJ_FUELUSEENGINE  "
            ")VALUES ( :num, :name, :short, :tank, :consw, :conss, :tz, :park, :dep, :delta, "
            ":tanksensor, :engine )"));
        bindRecord(q, r);
        q.execute();
        if (!form.groupId.isEmpty())
            insertGroupRow(q, number, form.groupId);
        saveDrainRule(q, number, r.drains);
        tr.commit();
        out.record = r;
        out.result = TRegistrySave::Saved;
    } catch (const std::exception &e) {
        tr.forceRollback();
        const QString text = errorText(e);
        m_dialogs.message(
            text.contains(QLatin1String("violation of PRIMARY"))
                ? QStringLiteral("Объект с номером '%1' уже существует в базе данных").arg(number)
                : kSaveError + text,
            kAddCaption, TMsgIcon::Error);
        out.result = TRegistrySave::Failed;
    }
    return out;
}

TRegistryEdit TObjectRegistry::Edit(const TObjectForm &form, int storedTimeZone,
                                    const QString &oldGroupId) {
    TRegistryEdit out;
    bool ok = false;
    const int number = form.number.trimmed().toInt(&ok);
    if (!ok) {
        m_dialogs.message(QStringLiteral("В поле \"номер объекта\" не числовое значение"),
                          options::ApplicationTitle(), TMsgIcon::Warning);
        out.result = TRegistrySave::BadNumber;
        return out;
    }
    // A time zone that is no number counts as 0 here; the save below then reports it.
    const int newZone = form.timeZone.trimmed().toInt();
    if (newZone != storedTimeZone) {
        const TMsgButton a = m_dialogs.question(
            QStringLiteral("Изменено поле \"Часовой пояс\". Данные по объекту будут удалены. "
                           "Выполнить повторный импорт данных?"),
            options::ApplicationTitle(), TMsgIcon::Question, mbYes | mbNo | mbCancel, mbYes);
        if (a != mbYes && a != mbNo) {
            out.result = TRegistrySave::Cancelled;
            return out;
        }
        out.deleteHistory = true;
        out.reimport = a == mbYes;
    }
    out.groupChanged = form.groupId != oldGroupId;

    db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
    try {
        const TObjectRecord r = recordOf(form, number);
        tr.start();
        db::TQuery q(tr);
        q.setSql(QStringLiteral(
            "update OBJECTS set OBJ_NAME = :name, OBJ_SHORTNAME = :short, OBJ_TANKVOLUME  = :tank, "
            "OBJ_FUELCONSW = :consw, OBJ_FUELCONSS = :conss, OBJ_TIMEZONE = :tz, "
            "OBJ_USEENGINEFORPARK = :park, OBJ_FUELDEPTYPE = :dep, OBJ_FUELSENSORDELTA = :delta, "
            "OBJ_FUELUSETANKSENSOR = :tanksensor, OBJ_FUELUSEENGINE = :engine where OBJ_NUMBER = "
            ":num"));
        bindRecord(q, r);
        q.execute();
        if (out.groupChanged) {
            if (!oldGroupId.isEmpty()) {
                q.setSql(QStringLiteral(
                    "delete from OBJ_GRP where OG_OBJID = :obj and OG_GRPID = :grp"));
                q.setParam(QStringLiteral("obj"), number);
                q.setParam(QStringLiteral("grp"), oldGroupId);
                q.execute();
            }
            if (!form.groupId.isEmpty())
                insertGroupRow(q, number, form.groupId);
        }
        saveDrainRule(q, number, r.drains);
        tr.commit();
        out.record = r;
        out.result = TRegistrySave::Saved;
    } catch (const std::exception &e) {
        tr.forceRollback();
        m_dialogs.message(kSaveError + errorText(e), kEditCaption, TMsgIcon::Error);
        out = TRegistryEdit{};
        out.result = TRegistrySave::Failed;
    }
    return out;
}

bool TObjectRegistry::Delete(int number) {
    if (m_dialogs.question(QStringLiteral("Вы уверены что хотите удалить объект №%1 ?").arg(number),
                           QStringLiteral("Удаление объекта"), TMsgIcon::Question, mbYes | mbNo,
                           mbNo) != mbYes)
        return false;
    // Memberships first, each step committed on its own.
    for (const QString &sql : {QStringLiteral("DELETE FROM OBJ_GRP WHERE OG_OBJID = %1"),
                               QStringLiteral("DELETE FROM OBJECTS WHERE OBJ_NUMBER = %1")}) {
        db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
        tr.start();
        db::TQuery q(tr, sql.arg(number));
        q.execute();
        tr.commit();
    }
    // The object's own drain rule goes with it; its drains stay, as its history does.
    db::TTransaction tr(m_db, db::TTransactionKind::WriteFlag);
    tr.start();
    db::TQuery q(tr);
    saveDrainRule(q, number, {});
    tr.commit();
    return true;
}

bool TObjectRegistry::DeleteHistory(int number) {
    try {
        db::TTransaction tr(m_db, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr,
                     QStringLiteral("delete from INPUTSIGNALS where INS_NUMBER = %1").arg(number));
        q.execute();
        tr.commit();
        return true;
    } catch (const std::exception &e) {
        m_dialogs.message(QStringLiteral("Во время удаления данных произошла ошибка: \r\n") +
                              errorText(e),
                          kEditCaption, TMsgIcon::Error);
        return false;
    }
}

// ---- the object-settings file

QString OniFloatText(double value) {
    QString s = QString::number(value, 'g', 15);
    const QChar sep = TFormatSettings::current().decimalSeparator;
    if (sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

double OniFloatValue(const QString &text, double def) {
    // Files travel between machines whose separators differ.
    QString s = text.trimmed();
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = s.toDouble(&ok);
    return ok && std::isfinite(v) ? v : def;
}

std::vector<TCalibrationPoint> TObjectRegistry::LoadCalibration(int number) {
    std::vector<TCalibrationPoint> points;
    db::TTransaction tr(m_db, db::TTransactionKind::ReadCommitted);
    tr.start();
    db::TQuery q(tr, QStringLiteral("select SENSOR_VAL, FUEL_VAL, FIXED from FUEL_POINTS  where "
                                    "ID=%1 order by SENSOR_VAL")
                         .arg(number));
    q.open();
    while (q.next())
        points.push_back({q.field(0).asInteger(), q.field(1).asDouble(), q.field(2).asInteger()});
    q.close();
    tr.commit();
    return points;
}

void TObjectRegistry::Export(const TObjectRecord &r, const QString &fileName) {
    const std::vector<TCalibrationPoint> points = LoadCalibration(r.number);
    TIniFile ini(fileName);
    ini.load(); // what else the file holds stays in it
    const QString o = QStringLiteral("Object"), f = QStringLiteral("Fuel"),
                  c = QStringLiteral("Calibration");
    ini.writeInteger(o, QStringLiteral("ID"), r.number);
    ini.writeString(o, QStringLiteral("Name"), r.name);
    ini.writeString(o, QStringLiteral("Desc"), r.desc);
    ini.writeString(o, QStringLiteral("Shortname"), r.shortName);
    ini.writeInteger(o, QStringLiteral("Timezone"), r.timeZone);
    ini.writeInteger(o, QStringLiteral("EnginePark"), r.useEngineForPark);
    ini.writeInteger(f, QStringLiteral("DepType"), r.fuelDepType);
    ini.writeString(f, QStringLiteral("TankV"), OniFloatText(r.tankVolume));
    ini.writeString(f, QStringLiteral("FuelW"), OniFloatText(r.fuelConsW));
    ini.writeString(f, QStringLiteral("FuelS"), OniFloatText(r.fuelConsS));
    ini.writeInteger(f, QStringLiteral("ChargeDelta"), r.fuelSensorDelta);
    ini.writeInteger(f, QStringLiteral("TankCharge"), r.fuelUseTankSensor);
    ini.writeInteger(f, QStringLiteral("EngineCharge"), r.fuelUseEngine);
    ini.eraseSection(c);
    for (size_t i = 0; i < points.size(); ++i) {
        const QString n = QString::number(i);
        ini.writeInteger(c, QStringLiteral("Sensor_ADC_") + n, points[i].sensor);
        ini.writeString(c, QStringLiteral("Value_") + n, OniFloatText(points[i].fuel));
        ini.writeInteger(c, QStringLiteral("Fixed_") + n, points[i].fixed);
    }
    ini.writeInteger(c, QStringLiteral("Count"), static_cast<int>(points.size()));
    // The object's own drain rule; a program that does not know the section passes it over.
    ini.eraseSection(kDrainSection);
    if (r.drains.litres)
        ini.writeString(kDrainSection, QStringLiteral("Litres"), OniFloatText(*r.drains.litres));
    if (r.drains.windowMinutes)
        ini.writeInteger(kDrainSection, QStringLiteral("Window"), *r.drains.windowMinutes);
    if (r.drains.median)
        ini.writeInteger(kDrainSection, QStringLiteral("Median"), *r.drains.median);
    ini.save();
}

int OniObjectNumber(const TIniFile &ini) {
    return ini.readInteger(QStringLiteral("Object"), QStringLiteral("ID"), -1);
}

TOniContents ReadOni(const TIniFile &ini, const TObjectRecord &d) {
    const QString o = QStringLiteral("Object"), f = QStringLiteral("Fuel"),
                  c = QStringLiteral("Calibration");
    const auto fraction = [&ini](const QString &section, const QString &key, double def) {
        return OniFloatValue(ini.readString(section, key, QString()), def);
    };
    TOniContents out;
    TObjectRecord &r = out.record;
    r.number = OniObjectNumber(ini);
    r.name = ini.readString(o, QStringLiteral("Name"), d.name);
    r.desc = ini.readString(o, QStringLiteral("Desc"), d.desc);
    r.shortName = ini.readString(o, QStringLiteral("Shortname"), d.shortName);
    r.timeZone = ini.readInteger(o, QStringLiteral("Timezone"), d.timeZone);
    r.useEngineForPark = ini.readInteger(o, QStringLiteral("EnginePark"), d.useEngineForPark);
    if (ini.valueExists(f, QStringLiteral("DepType")) ||
        ini.valueExists(f, QStringLiteral("TankV"))) {
        r.fuelDepType = ini.readInteger(f, QStringLiteral("DepType"), d.fuelDepType);
        r.tankVolume = fraction(f, QStringLiteral("TankV"), d.tankVolume);
    } else {
        // The older form: the table's two ends tell the direction and the volume.
        const double vmax = fraction(c, QStringLiteral("Value_max"), 0);
        const double vmin = fraction(c, QStringLiteral("Value_min"), 0);
        r.fuelDepType = vmax > vmin ? 1 : 0;
        r.tankVolume = std::max(vmax, vmin);
    }
    r.fuelConsW = fraction(f, QStringLiteral("FuelW"), d.fuelConsW);
    r.fuelConsS = fraction(f, QStringLiteral("FuelS"), d.fuelConsS);
    r.fuelSensorDelta = ini.readInteger(f, QStringLiteral("ChargeDelta"), d.fuelSensorDelta);
    r.fuelUseTankSensor = ini.readInteger(f, QStringLiteral("TankCharge"), d.fuelUseTankSensor);
    r.fuelUseEngine = ini.readInteger(f, QStringLiteral("EngineCharge"), d.fuelUseEngine);
    // Files of older programs have no drain section: the defaults stay. A value that is no
    // positive number is no rule of the object's own.
    r.drains = d.drains;
    if (ini.valueExists(kDrainSection, QStringLiteral("Litres"))) {
        const double v = fraction(kDrainSection, QStringLiteral("Litres"), 0);
        r.drains.litres = v > 0 ? std::optional<double>(v) : std::nullopt;
    }
    const auto positive = [&ini](const QString &key, std::optional<int> &value) {
        if (ini.valueExists(kDrainSection, key)) {
            const int v = ini.readInteger(kDrainSection, key, 0);
            value = v > 0 ? std::optional<int>(v) : std::nullopt;
        }
    };
    positive(QStringLiteral("Window"), r.drains.windowMinutes);
    positive(QStringLiteral("Median"), r.drains.median);

    // Every point takes at least one key of the section: a count beyond them is not believed.
    const qsizetype keys = ini.keys(c).size();
    out.declaredCount = ini.readInteger(c, QStringLiteral("Count"), 0);
    const int count = int(std::min<qsizetype>(out.declaredCount, keys));
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        out.points.push_back({ini.readInteger(c, QStringLiteral("Sensor_ADC_") + n, 0),
                              fraction(c, QStringLiteral("Value_") + n, 0),
                              ini.readInteger(c, QStringLiteral("Fixed_") + n, 1)});
    }
    return out;
}

std::optional<TObjectRecord> TObjectRegistry::Import(const QString &fileName) {
    TIniFile ini(fileName);
    if (!ini.load())
        throw std::runtime_error(QStringLiteral("Файл %1 не найден").arg(fileName).toStdString());
    const int id = OniObjectNumber(ini);
    if (id < 1) {
        m_dialogs.message(QStringLiteral("Неверный номер объекта (%1)!").arg(id),
                          QStringLiteral("Ошибка импорта данных"), TMsgIcon::Warning);
        return std::nullopt;
    }

    TObjectRecord d; // the defaults for missing keys
    if (const std::optional<TObjectRecord> stored = Find(id)) {
        if (m_dialogs.question(QStringLiteral("Объект №%1 уже существует в БД. Заменить настройки "
                                              "существующего объекта?")
                                   .arg(id),
                               QStringLiteral("Импорт объекта"), TMsgIcon::Question, mbYes | mbNo,
                               mbNo) != mbYes)
            return std::nullopt;
        d = *stored;
    } else {
        d.number = id;
        d.name = QStringLiteral("Объект №%1").arg(id);
        d.fuelDepType = 0;
        d.fuelSensorDelta = 100;
        d.fuelUseTankSensor = 1;
        d.fuelUseEngine = 0;
    }
    const TOniContents oni = ReadOni(ini, d);
    const TObjectRecord &r = oni.record;
    if (oni.declaredCount > int(oni.points.size()))
        LogOperations(QStringLiteral("[Calibration] Count=%1 больше числа записей в файле %2; "
                                     "прочитано: %3")
                          .arg(QString::number(oni.declaredCount), fileName,
                               QString::number(oni.points.size())),
                      QStringLiteral("ImportObject"), 0);

    db::TTransaction tr(m_db, db::TTransactionKind::Write);
    tr.start();
    db::TQuery q(tr);
    q.setSql(QStringLiteral("update or insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_DESC, "
                            "OBJ_SHORTNAME, OBJ_TIMEZONE, OBJ_USEENGINEFORPARK, OBJ_FUELDEPTYPE, "
                            "OBJ_TANKVOLUME, OBJ_FUELCONSW, OBJ_FUELCONSS,OBJ_FUELSENSORDELTA, "
                            "OBJ_FUELUSETANKSENSOR, OBJ_FUELUSEENGINE) values (:num, :name, :desc, "
                            ":short, :tz, :park, :dep, :tank, :consw, :conss, :delta, :tanksensor, "
                            ":engine) matching(OBJ_NUMBER)"));
    q.setParam(QStringLiteral("num"), id);
    q.setParam(QStringLiteral("name"), r.name);
    q.setParam(QStringLiteral("desc"), r.desc);
    q.setParam(QStringLiteral("short"), r.shortName);
    q.setParam(QStringLiteral("tz"), r.timeZone);
    q.setParam(QStringLiteral("park"), r.useEngineForPark);
    q.setParam(QStringLiteral("dep"), r.fuelDepType);
    q.setParam(QStringLiteral("tank"), twoDecimals(r.tankVolume));
    q.setParam(QStringLiteral("consw"), twoDecimals(r.fuelConsW));
    q.setParam(QStringLiteral("conss"), twoDecimals(r.fuelConsS));
    q.setParam(QStringLiteral("delta"), r.fuelSensorDelta);
    q.setParam(QStringLiteral("tanksensor"), r.fuelUseTankSensor);
    q.setParam(QStringLiteral("engine"), r.fuelUseEngine);
    q.execute();
    if (oni.declaredCount > 0) {
        q.setSql(QStringLiteral("delete from FUEL_POINTS where ID=:id"));
        q.setParam(QStringLiteral("id"), id);
        q.execute();
        for (const TCalibrationPoint &p : oni.points) {
            try {
                q.setSql(QStringLiteral("update or insert into FUEL_POINTS (ID, SENSOR_VAL, "
                                        "FUEL_VAL, FIXED) values (:id, :sensor, :fuel, :fixed) "
                                        "matching (ID, SENSOR_VAL)"));
                q.setParam(QStringLiteral("id"), id);
                q.setParam(QStringLiteral("sensor"), p.sensor);
                q.setParam(QStringLiteral("fuel"), twoDecimals(p.fuel));
                q.setParam(QStringLiteral("fixed"), p.fixed);
                q.execute();
            } catch (const db::EDatabaseError &) {
                // A point the table refuses is left out; the others still count.
            }
        }
    }
    saveDrainRule(q, id, r.drains);
    tr.commit();
    return r;
}

void TObjectRegistry::ReportImported(int number) {
    m_dialogs.message(QStringLiteral("Импорт данных объекта №%1 завершен").arg(number),
                      QStringLiteral("Импорт данных"), TMsgIcon::Information);
}
