#include "reports/Calibration.h"

#include "app/Dialogs.h"
#include "db/Database.h"
#include "reports/ProcedureCall.h"
#include "reports/ReportTexts.h"

using db::EDatabaseError;
using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

TCalibrationTable::TCalibrationTable(db::TDatabase &database, TDialogs &dialogs)
    : m_db(database), m_dialogs(dialogs) {}

TCalibrationTable::~TCalibrationTable() {
    if (m_tr)
        m_tr->forceRollback();
}

QString TCalibrationTable::caption() const {
    return m_object > 0 ? QStringLiteral("Таблица тарировки для объекта № %1").arg(m_object)
                        : QStringLiteral("Таблица тарировки");
}

void TCalibrationTable::ensureTransaction() {
    if (!m_tr)
        m_tr = std::make_unique<TTransaction>(m_db, TTransactionKind::Editing);
    if (!m_tr->isActive())
        m_tr->start();
}

void TCalibrationTable::Close() {
    if (m_tr && m_tr->isActive())
        m_tr->commit();
    m_tr.reset();
}

void TCalibrationTable::setCurrentRow(int row) {
    m_current = row >= 0 && row < int(m_points.size()) ? row : -1;
}

void TCalibrationTable::updateTable() {
    Close();
    m_points.clear();
    m_current = -1;
    ensureTransaction();
    readPoints();
    setCurrentRow(0);
}

void TCalibrationTable::readPoints() {
    m_points.clear();
    TQuery q(*m_tr,
             QStringLiteral("select * from FUEL_POINTS where ID = :obj order by SENSOR_VAL"));
    q.setParam(QStringLiteral("obj"), m_object);
    q.open();
    while (q.next())
        m_points.push_back({q.field(QStringLiteral("SENSOR_VAL")).asInteger(),
                            q.field(QStringLiteral("FUEL_VAL")).asDouble(),
                            q.field(QStringLiteral("FIXED")).asInteger()});
    q.close();
}

void TCalibrationTable::selectPoint(int sensor, double fuel) {
    for (int i = 0; i < int(m_points.size()); ++i)
        if (m_points[i].sensor == sensor && m_points[i].fuel == fuel)
            m_current = i;
}

void TCalibrationTable::AddPoint(const TPointDialog &dialog) {
    edit(TEdit::Add, dialog);
}

void TCalibrationTable::EditPoint(const TPointDialog &dialog) {
    if (m_current < 0)
        return;
    edit(TEdit::Edit, dialog);
}

void TCalibrationTable::edit(TEdit kind, const TPointDialog &dialog) {
    const bool add = kind == TEdit::Add;
    const TCalibrationPoint old = add ? TCalibrationPoint{} : m_points[m_current];
    QString sensorText = add ? QStringLiteral("0") : QString::number(old.sensor);
    QString volumeText = add ? QStringLiteral("0") : FloatToText(old.fuel);
    const QString caption = add ? QStringLiteral("Добавление точки калибровки")
                                : QStringLiteral("Редактирование точки калибровки");
    int sensor = 0;
    double volume = 0;
    for (;;) {
        if (!dialog(caption, sensorText, volumeText))
            return;
        bool ok = false;
        sensor = sensorText.trimmed().toInt(&ok);
        if (ok && TextToFloat(volumeText, volume))
            break;
        // A field that does not read: the dialog again with what was typed.
    }
    ensureTransaction();
    try {
        TQuery q(*m_tr);
        if (add) {
            q.setSql(QStringLiteral("insert into FUEL_POINTS (FIXED, FUEL_VAL, ID, SENSOR_VAL) "
                                    "values (1, :FUEL_VAL, :ID, :SENSOR_VAL)"));
            q.setParam(QStringLiteral("ID"), m_object);
        } else {
            q.setSql(QStringLiteral("update FUEL_POINTS set SENSOR_VAL = :SENSOR_VAL, "
                                    "FUEL_VAL = :FUEL_VAL where ID = :OLD_ID and "
                                    "SENSOR_VAL = :OLD_SENSOR_VAL and FUEL_VAL = :OLD_FUEL_VAL"));
            q.setParam(QStringLiteral("OLD_ID"), m_object);
            q.setParam(QStringLiteral("OLD_SENSOR_VAL"), old.sensor);
            q.setParam(QStringLiteral("OLD_FUEL_VAL"), old.fuel);
        }
        q.setParam(QStringLiteral("SENSOR_VAL"), sensor);
        q.setParam(QStringLiteral("FUEL_VAL"), volume);
        q.execute();
        m_tr->commitRetaining();
    } catch (const EDatabaseError &e) {
        m_tr->rollbackRetaining();
        m_dialogs.message((add ? QStringLiteral("Ошибка добавления:")
                               : QStringLiteral("Ошибка редактирования:")) +
                              QStringLiteral("\r\n") + e.text(),
                          add ? QStringLiteral("Добавление точки тарировки")
                              : QStringLiteral("Редактирование точки тарировки"),
                          TMsgIcon::Information);
        return;
    }
    // The table as it now stands, the changed point current.
    readPoints();
    m_current = -1;
    selectPoint(sensor, volume);
}

void TCalibrationTable::DeletePoint() {
    if (m_current < 0)
        return;
    if (m_dialogs.question(QStringLiteral("Удалить значение из таблицы тарировки?"),
                           QStringLiteral("Удаление значения из таблицы тарировки"),
                           TMsgIcon::Question, mbYes | mbNo, mbNo) != mbYes)
        return;
    const TCalibrationPoint old = m_points[m_current];
    ensureTransaction();
    try {
        TQuery q(*m_tr,
                 QStringLiteral("delete from FUEL_POINTS where ID = :OLD_ID and "
                                "SENSOR_VAL = :OLD_SENSOR_VAL and FUEL_VAL = :OLD_FUEL_VAL"));
        q.setParam(QStringLiteral("OLD_ID"), m_object);
        q.setParam(QStringLiteral("OLD_SENSOR_VAL"), old.sensor);
        q.setParam(QStringLiteral("OLD_FUEL_VAL"), old.fuel);
        q.execute();
        m_tr->commitRetaining();
    } catch (...) {
        m_tr->rollbackRetaining();
        throw;
    }
    m_points.erase(m_points.begin() + m_current);
    setCurrentRow(std::min(m_current, int(m_points.size()) - 1));
}

void TCalibrationTable::Normalize() {
    ensureTransaction();
    TQuery q(*m_tr, QStringLiteral("select * from PROC_TARREORG(:obj)"));
    q.setParam(QStringLiteral("obj"), m_object);
    RunForEffect(q);
    m_tr->commitRetaining();
    updateTable();
}

void RecalcCalibration(db::TTransaction &transaction, int object) {
    for (const char *procedure : {"PROC_TARCALC", "PROC_TARREORG"}) {
        TQuery q(transaction, QStringLiteral("select * from ") + QString::fromLatin1(procedure) +
                                  QStringLiteral(" (:obj)"));
        q.setParam(QStringLiteral("obj"), object);
        RunForEffect(q);
    }
}

// ---- the point dialog

TCalibrationPointQueries::TCalibrationPointQueries(db::TDatabase &database, TDialogs &dialogs)
    : m_db(database), m_dialogs(dialogs) {}

template <class F> bool TCalibrationPointQueries::run(const QString &caption, F &&f) {
    TTransaction tr(m_db, TTransactionKind::Write);
    try {
        tr.start();
        f(tr);
        tr.commit();
        return true;
    } catch (const std::exception &e) {
        tr.forceRollback();
        const auto *dbe = dynamic_cast<const EDatabaseError *>(&e);
        m_dialogs.message(QStringLiteral("Ошибка: ") +
                              (dbe ? dbe->text() : QString::fromUtf8(e.what())),
                          caption, TMsgIcon::Error);
        return false;
    }
}

int TCalibrationPointQueries::GetPointCount(int ID, int Sensor) {
    int count = -1;
    run(QStringLiteral("Поиск точки тарировки"), [&](TTransaction &tr) {
        TQuery q(tr, QStringLiteral("select count(*) from fuel_points where ID = :id and "
                                    "sensor_val = :sensor"));
        q.setParam(QStringLiteral("id"), ID);
        q.setParam(QStringLiteral("sensor"), Sensor);
        q.open();
        count = q.next() ? q.field(0).asInteger() : 0;
        q.close();
    });
    return count;
}

double TCalibrationPointQueries::GetPointValue(int ID, int Sensor) {
    double value = -1;
    run(QStringLiteral("Получение значения точки тарировки"), [&](TTransaction &tr) {
        TQuery q(tr, QStringLiteral("select fuel_val from fuel_points where ID = :id and "
                                    "sensor_val = :sensor"));
        q.setParam(QStringLiteral("id"), ID);
        q.setParam(QStringLiteral("sensor"), Sensor);
        q.open();
        if (q.next())
            value = q.field(0).asDouble();
        q.close();
    });
    return value;
}

bool TCalibrationPointQueries::InsertPoint(int ID, int Sensor, int Fixed, int Volume) {
    return run(QStringLiteral("Создание точки тарировки"), [&](TTransaction &tr) {
        TQuery q(tr, QStringLiteral("insert into fuel_points (ID, sensor_val, fuel_val, fixed) "
                                    "values (:id, :sensor, :volume, :fixed)"));
        q.setParam(QStringLiteral("id"), ID);
        q.setParam(QStringLiteral("sensor"), Sensor);
        q.setParam(QStringLiteral("volume"), Volume);
        q.setParam(QStringLiteral("fixed"), Fixed);
        q.execute();
    });
}

bool TCalibrationPointQueries::UpdatePoint(int ID, int Sensor, int Fixed, int Volume) {
    return run(QStringLiteral("Изменение точки тарировки"), [&](TTransaction &tr) {
        TQuery q(tr, QStringLiteral("update fuel_points set fuel_val = :volume, fixed = :fixed "
                                    "where ID = :id and sensor_val = :sensor"));
        q.setParam(QStringLiteral("volume"), Volume);
        q.setParam(QStringLiteral("fixed"), Fixed);
        q.setParam(QStringLiteral("id"), ID);
        q.setParam(QStringLiteral("sensor"), Sensor);
        q.execute();
    });
}

bool TCalibrationPointQueries::Create(int object, int tankVolume, const QString &sensorText,
                                      const QString &volumeText) {
    const QString caption = QStringLiteral("Создание точки тарировки");
    bool volumeOk = false;
    const int volume = volumeText.trimmed().toInt(&volumeOk);
    if (!volumeOk || volume < 0 || volume > tankVolume) {
        m_dialogs.message(QStringLiteral("Неверное значение объема топлива!"), caption,
                          TMsgIcon::Error);
        return false;
    }
    bool sensorOk = false;
    const int sensor = sensorText.trimmed().toInt(&sensorOk);
    if (!sensorOk)
        throw std::runtime_error(
            (QStringLiteral("'") + sensorText + QStringLiteral("' не является целым числом"))
                .toStdString());
    const int count = GetPointCount(object, sensor);
    if (count > 0) {
        if (m_dialogs.question(
                QStringLiteral("Точка тарировки с таким значением датчика уже существует, "
                               "заменить?"),
                caption, TMsgIcon::Question, mbYes | mbNo, mbNo) == mbYes)
            UpdatePoint(object, sensor, 1, volume);
    } else if (count == 0) {
        InsertPoint(object, sensor, 1, volume);
    }
    return true;
}
