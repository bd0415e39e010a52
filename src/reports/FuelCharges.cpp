#include "reports/FuelCharges.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/Dialogs.h"
#include "app/ErrorGuard.h"
#include "app/OptionsIO.h"
#include "db/Database.h"
#include "reports/Calibration.h"
#include "reports/ProcedureCall.h"
#include "reports/ReportTexts.h"

using db::EDatabaseError;
using db::TParam;
using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

namespace {

// Stored times carry milliseconds at most; a double may be a hair off.
bool sameMoment(TDateTime a, TDateTime b) {
    return std::fabs(a - b) * dt::MsPerDay < 0.5;
}

const QString kDeleteCaption = QStringLiteral("Удаление информации о заправках");

} // namespace

TFuelCharges::TFuelCharges(db::TDatabase &database, TDialogs &dialogs, QObject *parent)
    : QAbstractTableModel(parent), m_db(database), m_dialogs(dialogs) {}

TFuelCharges::~TFuelCharges() {
    if (m_tr)
        m_tr->forceRollback();
}

bool TFuelCharges::transactionActive() const {
    return m_tr && m_tr->isActive();
}

void TFuelCharges::ensureTransaction() {
    if (!m_tr)
        m_tr = std::make_unique<TTransaction>(m_db, TTransactionKind::Editing);
    if (!m_tr->isActive())
        m_tr->start();
}

void TFuelCharges::setCurrentRow(int row) {
    const int r = row >= 0 && row < int(m_rows.size()) ? row : -1;
    if (r == m_current)
        return;
    m_current = r;
    emit currentRowChanged(r);
}

const TFuelChargeRow *TFuelCharges::current() const {
    return m_current >= 0 ? &m_rows[m_current] : nullptr;
}

void TFuelCharges::setRows(std::vector<TFuelChargeRow> rows, bool open) {
    beginResetModel();
    m_rows = std::move(rows);
    m_open = open;
    m_current = -1;
    endResetModel();
    setCurrentRow(0);
    if (m_rows.empty())
        emit currentRowChanged(-1);
}

void TFuelCharges::runQuery() {
    TQuery q(*m_tr,
             QStringLiteral(
                 "select ID, OPEN_TANK_TS_PACKET, OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, "
                 "CLOSE_TANK_SENSOR, CHARGED_VOLUME, (select OUT_FUEL_LEVEL from PROC_GETFUEL(ID, "
                 "CLOSE_TANK_SENSOR))- (select OUT_FUEL_LEVEL from PROC_GETFUEL(ID, "
                 "OPEN_TANK_SENSOR)) AS CALC_VOLUME from FUEL_CHARGE where (ID=:OBJECT_ID ) and "
                 "(OPEN_TANK_TS_PACKET between :OPEN_START_TS and :OPEN_END_TS) order by "
                 "OPEN_TANK_TS_PACKET"));
    q.setParam(QStringLiteral("OBJECT_ID"), m_period.object);
    q.setParam(QStringLiteral("OPEN_START_TS"), TParam::timestamp(m_period.start));
    q.setParam(QStringLiteral("OPEN_END_TS"), TParam::timestamp(m_period.end));
    q.open();
    std::vector<TFuelChargeRow> rows;
    while (q.next()) {
        TFuelChargeRow r;
        r.id = q.field(QStringLiteral("ID")).asInteger();
        r.openTs = q.field(QStringLiteral("OPEN_TANK_TS_PACKET")).asDateTime();
        r.openSensor = q.field(QStringLiteral("OPEN_TANK_SENSOR")).asInteger();
        if (const db::TValue &v = q.field(QStringLiteral("CLOSE_TANK_TS_PACKET")); !v.isNull())
            r.closeTs = v.asDateTime();
        if (const db::TValue &v = q.field(QStringLiteral("CLOSE_TANK_SENSOR")); !v.isNull())
            r.closeSensor = v.asInteger();
        if (const db::TValue &v = q.field(QStringLiteral("CHARGED_VOLUME")); !v.isNull())
            r.chargedVolume = v.asDouble();
        if (const db::TValue &v = q.field(QStringLiteral("CALC_VOLUME")); !v.isNull())
            r.calcVolume = v.asDouble();
        rows.push_back(r);
    }
    q.close();
    setRows(std::move(rows), true);
}

void TFuelCharges::ShowCharges() {
    ensureTransaction();
    runQuery();
}

int TFuelCharges::DetectCharges(int threshold) {
    ensureTransaction();
    TQuery q(*m_tr,
             QStringLiteral("SELECT OUT_COUNT FROM PROC_CHARGEFILL2(:obj, :s, :e, :threshold)"));
    q.setParam(QStringLiteral("obj"), m_period.object);
    q.setParam(QStringLiteral("s"), db::TParam::timestamp(m_period.start));
    q.setParam(QStringLiteral("e"), db::TParam::timestamp(m_period.end));
    q.setParam(QStringLiteral("threshold"), threshold);
    // The procedure runs as the row is fetched; its count is what the window reports.
    q.open();
    const int found = q.next() && !q.field(0).isNull() ? q.field(0).asInteger() : 0;
    q.close();
    ShowCharges();
    return found;
}

void TFuelCharges::RecalcCalibration() {
    ensureTransaction();
    ::RecalcCalibration(*m_tr, m_period.object);
    ShowCharges();
}

void TFuelCharges::deleteRowFromDatabase(const TFuelChargeRow &row) {
    TQuery q(*m_tr, QStringLiteral("delete from FUEL_CHARGE where ID = :OLD_ID and "
                                   "OPEN_TANK_SENSOR = :OLD_OPEN_TANK_SENSOR and "
                                   "OPEN_TANK_TS_PACKET = :OLD_OPEN_TANK_TS_PACKET"));
    q.setParam(QStringLiteral("OLD_ID"), row.id);
    q.setParam(QStringLiteral("OLD_OPEN_TANK_SENSOR"), row.openSensor);
    q.setParam(QStringLiteral("OLD_OPEN_TANK_TS_PACKET"), TParam::timestamp(row.openTs));
    q.execute();
}

void TFuelCharges::DeleteCharges() {
    if (!transactionActive())
        return;
    if (m_dialogs.question(QStringLiteral("Удалить информацию о заправках?"), kDeleteCaption,
                           TMsgIcon::Question, mbYes | mbNo, mbNo) != mbYes)
        return;
    int count = 0;
    for (const TFuelChargeRow &r : m_rows) {
        deleteRowFromDatabase(r);
        ++count;
    }
    setRows({}, m_open);
    m_dialogs.message(QStringLiteral("Удалено ") + QString::number(count) +
                          QStringLiteral(" записей"),
                      kDeleteCaption, TMsgIcon::Information);
}

void TFuelCharges::DeleteCurrent() {
    if (!transactionActive() || m_current < 0)
        return;
    if (m_dialogs.question(QStringLiteral("Удалить запись?"), QStringLiteral("Подтверждение"),
                           TMsgIcon::Question, mbOK | mbCancel, mbCancel) != mbOK)
        return;
    deleteRowFromDatabase(m_rows[m_current]);
    const int row = m_current;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    m_current = -1;
    setCurrentRow(std::min(row, int(m_rows.size()) - 1));
    if (m_rows.empty())
        emit currentRowChanged(-1);
}

void TFuelCharges::edit(const std::function<void(db::TTransaction &)> &statement) {
    ensureTransaction();
    try {
        statement(*m_tr);
        m_tr->commitRetaining();
    } catch (...) {
        m_tr->rollbackRetaining();
        throw;
    }
}

int TFuelCharges::deleteRows(std::vector<int> rows) {
    ensureTransaction();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    int count = 0;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it < 0 || *it >= int(m_rows.size()))
            continue;
        deleteRowFromDatabase(m_rows[size_t(*it)]);
        ++count;
    }
    m_tr->commitRetaining();
    runQuery();
    return count;
}

void TFuelCharges::SaveChanges() {
    if (transactionActive())
        m_tr->commitRetaining();
}

void TFuelCharges::CloseWindow() {
    if (transactionActive()) {
        if (m_dialogs.question(QStringLiteral("Сохранить изменения в таблице заправок?"),
                               QStringLiteral("Редактирование таблицы заправок"),
                               TMsgIcon::Question, mbYes | mbNo, mbYes) == mbYes)
            m_tr->commit();
        else
            m_tr->rollback();
    }
    setRows({}, false);
}

bool TFuelCharges::setChargedVolume(int row, const QString &text) {
    if (row < 0 || row >= int(m_rows.size()) || !transactionActive())
        return false;
    std::optional<double> volume;
    if (!text.trimmed().isEmpty()) {
        double v = 0;
        if (!TextToFloat(text, v)) {
            m_dialogs.message(QStringLiteral("'") + text.trimmed() +
                                  QStringLiteral("' не является числом: значение \"Залито "
                                                 "топлива\" не изменено"),
                              options::ApplicationTitle(), TMsgIcon::Error);
            return false;
        }
        volume = v;
    }
    TFuelChargeRow &r = m_rows[row];
    TQuery q(*m_tr, QStringLiteral("update FUEL_CHARGE set CHARGED_VOLUME = :CHARGED_VOLUME "
                                   "where ID = :OLD_ID and OPEN_TANK_SENSOR = "
                                   ":OLD_OPEN_TANK_SENSOR and OPEN_TANK_TS_PACKET = "
                                   ":OLD_OPEN_TANK_TS_PACKET"));
    q.setParam(QStringLiteral("CHARGED_VOLUME"), volume ? TParam(*volume) : TParam::nullValue());
    q.setParam(QStringLiteral("OLD_ID"), r.id);
    q.setParam(QStringLiteral("OLD_OPEN_TANK_SENSOR"), r.openSensor);
    q.setParam(QStringLiteral("OLD_OPEN_TANK_TS_PACKET"), TParam::timestamp(r.openTs));
    q.execute();
    r.chargedVolume = volume;
    emit dataChanged(index(row, colChargedVolume), index(row, colChargedVolume));
    return true;
}

void TFuelCharges::insertCharge(const TChargeRecord &r) {
    ensureTransaction();
    TQuery q(*m_tr, QStringLiteral("insert into FUEL_CHARGE (ID, OPEN_TANK_TS_PACKET, "
                                   "OPEN_TANK_SENSOR, CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR, "
                                   "CHARGED_VOLUME) values (:ID, :OPEN_TANK_TS_PACKET, "
                                   ":OPEN_TANK_SENSOR, :CLOSE_TANK_TS_PACKET, "
                                   ":CLOSE_TANK_SENSOR, :CHARGED_VOLUME)"));
    q.setParam(QStringLiteral("ID"), r.id);
    q.setParam(QStringLiteral("OPEN_TANK_TS_PACKET"), TParam::timestamp(r.openTs));
    q.setParam(QStringLiteral("OPEN_TANK_SENSOR"), r.openSensor);
    q.setParam(QStringLiteral("CLOSE_TANK_TS_PACKET"), TParam::timestamp(r.closeTs));
    q.setParam(QStringLiteral("CLOSE_TANK_SENSOR"), r.closeSensor);
    q.setParam(QStringLiteral("CHARGED_VOLUME"),
               r.chargedVolume ? TParam(*r.chargedVolume) : TParam::nullValue());
    q.execute();
    m_tr->commitRetaining();
}

quint64 TFuelCharges::updateCharge(const TChargeRecord &r) {
    ensureTransaction();
    TQuery q(*m_tr, QStringLiteral("update FUEL_CHARGE set CLOSE_TANK_TS_PACKET = "
                                   ":CLOSE_TANK_TS_PACKET, CLOSE_TANK_SENSOR = :CLOSE_TANK_SENSOR, "
                                   "CHARGED_VOLUME = :CHARGED_VOLUME where ID = :ID and "
                                   "OPEN_TANK_TS_PACKET = :OPEN_TANK_TS_PACKET and "
                                   "OPEN_TANK_SENSOR = :OPEN_TANK_SENSOR"));
    q.setParam(QStringLiteral("CLOSE_TANK_TS_PACKET"), TParam::timestamp(r.closeTs));
    q.setParam(QStringLiteral("CLOSE_TANK_SENSOR"), r.closeSensor);
    q.setParam(QStringLiteral("CHARGED_VOLUME"),
               r.chargedVolume ? TParam(*r.chargedVolume) : TParam::nullValue());
    q.setParam(QStringLiteral("ID"), r.id);
    q.setParam(QStringLiteral("OPEN_TANK_TS_PACKET"), TParam::timestamp(r.openTs));
    q.setParam(QStringLiteral("OPEN_TANK_SENSOR"), r.openSensor);
    q.execute();
    const quint64 changed = q.rowsAffected();
    if (changed > 0)
        m_tr->commitRetaining();
    return changed;
}

void TFuelCharges::rollback() {
    if (m_tr)
        m_tr->forceRollback();
    setRows({}, false);
}

void TFuelCharges::reopen(TDateTime open) {
    ShowCharges();
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (sameMoment(m_rows[i].openTs, open))
            setCurrentRow(i);
}

// ---- the grid

int TFuelCharges::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TFuelCharges::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TFuelCharges::columnCaption(int column) {
    static const char *const captions[ColumnCount] = {
        "Номер",        "Начало заправки", "Датчик начала", "Конец заправки",
        "Датчик конца", "Залито топлива",  "Оценка"};
    return column >= 0 && column < ColumnCount ? QString::fromUtf8(captions[column]) : QString();
}

int TFuelCharges::columnWidth(int column) {
    static const int widths[ColumnCount] = {50, 120, 80, 120, 80, 90, 60};
    return column >= 0 && column < ColumnCount ? widths[column] : 0;
}

QString TFuelCharges::cellText(int row, int column) const {
    if (row < 0 || row >= int(m_rows.size()))
        return {};
    const TFuelChargeRow &r = m_rows[row];
    switch (column) {
    case colId:
        return QString::number(r.id);
    case colOpenTs:
        return dt::dateTimeToStr(r.openTs);
    case colOpenSensor:
        return QString::number(r.openSensor);
    case colCloseTs:
        return r.closeTs ? dt::dateTimeToStr(*r.closeTs) : QString();
    case colCloseSensor:
        return r.closeSensor ? QString::number(*r.closeSensor) : QString();
    case colChargedVolume:
        return r.chargedVolume ? FloatToText(*r.chargedVolume) : QString();
    case colCalcVolume:
        return r.calcVolume ? FormatFixed3(*r.calcVolume) : QString();
    }
    return {};
}

QString TFuelCharges::toTabSeparated() const {
    QStringList line;
    for (int c = 0; c < ColumnCount; ++c)
        line << columnCaption(c);
    QString s = line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (int r = 0; r < rowCount(); ++r) {
        line.clear();
        for (int c = 0; c < ColumnCount; ++c)
            line << cellText(r, c);
        s += line.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return s;
}

QVariant TFuelCharges::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cellText(index.row(), index.column());
    return {};
}

bool TFuelCharges::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (!index.isValid() || role != Qt::EditRole || index.column() != colChargedVolume)
        return false;
    // Called from the grid's editor: a database error is shown, never thrown into the view.
    bool done = false;
    TErrorGuard(m_dialogs).run([&] { done = setChargedVolume(index.row(), value.toString()); });
    return done;
}

QVariant TFuelCharges::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnCaption(section);
    return {};
}

Qt::ItemFlags TFuelCharges::flags(const QModelIndex &index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == colChargedVolume && transactionActive())
        f |= Qt::ItemIsEditable;
    return f;
}

// ---- the record dialog

TAddCharge::TAddCharge(TFuelCharges &charges, TDialogs &dialogs)
    : ChargeStartDt(std::numeric_limits<double>::quiet_NaN()), m_charges(charges),
      m_dialogs(dialogs) {}

bool TAddCharge::isNew() const {
    return std::isnan(ChargeStartDt);
}

TChargeForm TAddCharge::NewRecord(const QString &windowObject, TDateTime now) {
    m_caption = QStringLiteral("Добавление заправки");
    ChargeStartDt = std::numeric_limits<double>::quiet_NaN();
    TChargeForm f;
    bool ok = false;
    windowObject.trimmed().toInt(&ok);
    f.object = ok ? windowObject.trimmed() : QString();
    f.startReading = f.endReading = QStringLiteral("0");
    f.estimate = QStringLiteral("0");
    f.startDate = dt::dateOf(now);
    f.startTime = dt::timeOf(now);
    const TDateTime later = now + 10.0 / (24 * 60);
    f.endDate = dt::dateOf(later);
    f.endTime = dt::timeOf(later);
    return f;
}

TChargeForm TAddCharge::EditRecord(const TFuelChargeRow &row) {
    m_caption = QStringLiteral("Редактирование заправки объекта ") + QString::number(row.id) +
                QStringLiteral(" с началом ") + dt::dateTimeToStr(row.openTs);
    ChargeStartDt = row.openTs;
    TChargeForm f;
    f.object = QString::number(row.id);
    f.startDate = dt::dateOf(row.openTs);
    f.startTime = dt::timeOf(row.openTs);
    f.startReading = QString::number(row.openSensor);
    const TDateTime close = row.closeTs.value_or(row.openTs);
    f.endDate = dt::dateOf(close);
    f.endTime = dt::timeOf(close);
    f.endReading = row.closeSensor ? QString::number(*row.closeSensor) : QString();
    f.actualVolume = row.chargedVolume ? FloatToText(*row.chargedVolume) : QString();
    f.estimate = row.calcVolume ? FormatFixed3(*row.calcVolume) : QString();
    return f;
}

TAddCharge::TSaveResult TAddCharge::Save(const TChargeForm &form) {
    const auto refuse = [this](TChargeField field, const QString &name) {
        m_dialogs.message(QStringLiteral("В поле \"") + name +
                              QStringLiteral("\" не числовое значение"),
                          options::ApplicationTitle(), TMsgIcon::Warning);
        return TSaveResult{false, field};
    };
    TChargeRecord r;
    bool ok = false;
    r.id = form.object.trimmed().toInt(&ok);
    if (!ok)
        return refuse(TChargeField::Object, QStringLiteral("Номер объекта"));
    r.openSensor = form.startReading.trimmed().toInt(&ok);
    if (!ok)
        return refuse(TChargeField::StartReading, QStringLiteral("Показания датчика (начало)"));
    r.closeSensor = form.endReading.trimmed().toInt(&ok);
    if (!ok)
        return refuse(TChargeField::EndReading, QStringLiteral("Показания датчика (оконч.)"));
    if (!form.actualVolume.trimmed().isEmpty()) {
        double v = 0;
        if (!TextToFloat(form.actualVolume, v))
            return refuse(TChargeField::ActualVolume, QStringLiteral("Залито топлива (факт.)"));
        r.chargedVolume = v;
    }
    r.openTs = dt::dateOf(form.startDate) + dt::timeOf(form.startTime);
    r.closeTs = dt::dateOf(form.endDate) + dt::timeOf(form.endTime);
    // The time fields hold whole seconds: a beginning left as it was keeps the record's own
    // milliseconds, so the update finds the record.
    if (!isNew() && std::llround(r.openTs * dt::MsPerDay) / 1000 ==
                        std::llround(ChargeStartDt * dt::MsPerDay) / 1000)
        r.openTs = ChargeStartDt;
    try {
        if (isNew()) {
            m_charges.insertCharge(r);
            ChargeStartDt = r.openTs;
        } else if (m_charges.updateCharge(r) == 0) {
            m_dialogs.message(QStringLiteral("Запись заправки объекта ") + QString::number(r.id) +
                                  QStringLiteral(" с началом ") + dt::dateTimeToStr(r.openTs) +
                                  QStringLiteral(" и показаниями датчика ") +
                                  QString::number(r.openSensor) +
                                  QStringLiteral(" не найдена: изменения не сохранены"),
                              QStringLiteral("Редактирование заправки"), TMsgIcon::Warning);
            return {};
        }
    } catch (const EDatabaseError &e) {
        // Everything the window has not committed goes with it.
        m_charges.rollback();
        m_dialogs.message(QStringLiteral("Во время сохранения данных произошла ошибка: \r\n") +
                              e.text(),
                          QStringLiteral("Редактирование заправки"), TMsgIcon::Error);
        return {};
    }
    m_charges.reopen(ChargeStartDt);
    return {true, TChargeField::None};
}
