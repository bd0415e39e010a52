#include "reports/ObjectsSetReport.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <set>

#include "app/SqlLiteral.h"
#include "db/Database.h"
#include "db/GroupManager.h"
#include "reports/DataQueries.h"
#include "reports/Durations.h"
#include "reports/FuelComputations.h"
#include "reports/ReportTexts.h"

using db::TQuery;
using db::TTransaction;
using db::TTransactionKind;

namespace {

TSetNode nodeOf(const TTreeNode &n, int level) {
    TSetNode s;
    s.text = n.text;
    s.level = level;
    if (n.object) {
        s.kind = TSetNode::Object;
        s.number = n.object->Number;
        s.text = QString::number(n.object->Number);
    } else if (n.group) {
        s.kind = TSetNode::Group;
        s.groupId = n.group->FID;
        s.path = n.group->FPath;
        for (const TControllableObject *o : n.group->FObjects)
            s.members.push_back(o->Number);
    }
    for (const auto &c : n.children)
        s.children.push_back(nodeOf(*c, level + 1));
    return s;
}

// The seven durations of the totals procedures.
const std::array<const char *, 7> kDurations = {"ALERT",   "OPENKUNG", "INP1",       "OPENTANK",
                                                "GENTIME", "INP2",     "INVALIDDATA"};

int durationIndex(const QString &prName) {
    for (size_t i = 0; i < kDurations.size(); ++i)
        if (prName.compare(QStringLiteral("PAR_") + QLatin1String(kDurations[i]),
                           Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int64_t engineSeconds(double accGenTime) {
    try {
        return HMSToSeconds(DaysToHMS(accGenTime));
    } catch (const std::exception &) {
        return 0;
    }
}

int parseThreshold(const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error(
            (QStringLiteral("'") + text + QStringLiteral("' is not a valid integer value"))
                .toStdString());
    return v;
}

int parseAveraging(const QString &text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : 60;
}

TDateTime dayOf(const QDate &d) {
    return dt::encodeDate(d);
}

QString monthLabel(const QDate &d) {
    return QString::number(d.month()) + QLatin1Char('.') + QString::number(d.year());
}

} // namespace

std::vector<TSetNode> AvailableTree(const TManager &registry) {
    std::vector<TSetNode> top;
    TSetNode root = nodeOf(const_cast<TManager &>(registry).root(), 0);
    root.kind = TSetNode::Root;
    root.text = QStringLiteral("Группы");
    top.push_back(std::move(root));
    TSetNode free;
    free.kind = TSetNode::FreeObjects;
    free.text = QStringLiteral("Свободные объекты");
    for (int n : FreeObjects(registry)) {
        TSetNode o;
        o.kind = TSetNode::Object;
        o.number = n;
        o.text = QString::number(n);
        o.level = 1;
        free.children.push_back(o);
    }
    top.push_back(std::move(free));
    return top;
}

std::vector<int> FreeObjects(const TManager &registry) {
    std::set<int> grouped;
    for (const auto &g : registry.FGroups)
        for (const TControllableObject *o : g->FObjects)
            grouped.insert(o->Number);
    std::vector<int> free;
    for (const TControllableObject *o : registry.FObjects)
        if (!grouped.count(o->Number))
            free.push_back(o->Number);
    return free;
}

// ---------------------------------------------------------------------------------------------

int TAssignedList::indexOf(const QString &text) const {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].text == text)
            return int(i);
    return -1;
}

void TAssignedList::dropNodes(std::vector<TSetNode> nodes, const std::vector<int> &freeObjects) {
    std::stable_sort(nodes.begin(), nodes.end(), [](const TSetNode &a, const TSetNode &b) {
        const bool ao = a.kind == TSetNode::Object, bo = b.kind == TSetNode::Object;
        if (ao != bo)
            return ao;
        if (ao)
            return a.number < b.number;
        return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
    });
    const auto addObject = [&](int number) {
        const QString text = QString::number(number);
        if (indexOf(text) >= 0)
            return;
        TSetEntry e;
        e.text = text;
        e.number = number;
        e.level = -1;
        entries.push_back(e);
    };
    for (const TSetNode &n : nodes) {
        switch (n.kind) {
        case TSetNode::Group:
            if (indexOf(n.path) < 0) {
                TSetEntry e;
                e.text = n.path;
                e.isGroup = true;
                e.groupId = n.groupId;
                e.level = n.level;
                e.members = n.members;
                entries.push_back(e);
            }
            break;
        case TSetNode::Object:
            addObject(n.number);
            break;
        case TSetNode::FreeObjects:
            for (int number : freeObjects)
                addObject(number);
            break;
        case TSetNode::Root:
            break;
        }
    }
}

void TAssignedList::swap(int a, int b) {
    if (a < 0 || b < 0 || a >= int(entries.size()) || b >= int(entries.size()))
        return;
    std::swap(entries[size_t(a)], entries[size_t(b)]);
}

void TAssignedList::remove(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (*it >= 0 && *it < int(entries.size()))
            entries.erase(entries.begin() + *it);
}

// ---------------------------------------------------------------------------------------------

std::vector<TGridColumn> FormSetGridCols(db::TDatabase &database) {
    std::vector<TGridColumn> cols;
    TTransaction tr(database, TTransactionKind::Write);
    tr.start();
    TQuery q(tr, QStringLiteral("SELECT * FROM CALCPARAMS WHERE PR_SETDISP = 1 AND PR_CAPTION <> "
                                "'Дата' AND PR_CAPTION <> 'Номер;объекта' ORDER BY PR_SETINDEX"));
    q.open();
    while (q.next()) {
        TGridColumn c;
        c.caption = q.field(QStringLiteral("PR_CAPTION")).asString();
        c.field = q.field(QStringLiteral("PR_NAME")).asString();
        c.name = c.field;
        c.width = 90;
        cols.push_back(c);
    }
    q.close();
    tr.commit();
    return cols;
}

std::vector<TChartParam> FormCalcFieldsList(db::TDatabase &database) {
    std::vector<TChartParam> list;
    TTransaction tr(database, TTransactionKind::ReadCommitted);
    tr.start();
    TQuery q(tr, QStringLiteral("SELECT * FROM CALCPARAMS WHERE PR_CAPTION <> 'Дата' AND "
                                "PR_CAPTION <> 'Номер;объекта' ORDER BY PR_SETINDEX"));
    q.open();
    while (q.next())
        list.push_back({q.field(QStringLiteral("PR_NAME")).asString(),
                        q.field(QStringLiteral("PR_DISPNAME")).asString(),
                        q.field(QStringLiteral("PR_FIELDTYPE")).asString()});
    q.close();
    tr.commit();
    return list;
}

double MyTimeToHour(const QString &text) {
    const QStringList p = text.trimmed().split(QLatin1Char('-'));
    if (p.size() != 4)
        return 0;
    double v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = p[i].toDouble(&ok);
        if (!ok)
            return 0;
    }
    return v[0] * 24 + v[1] + v[2] / 60 + v[3] / 3600;
}

// ---------------------------------------------------------------------------------------------

TObjectsSetReport::TObjectsSetReport(TFuelComputations &fuel, TQueryControl control)
    : m_fuel(fuel), m_control(std::move(control)) {}

TReportGrid TObjectsSetReport::TableQuery(const std::vector<TSetEntry> &entries,
                                          const TSetParams &p,
                                          const std::vector<TGridColumn> &columns,
                                          QStringList &queryObjList) {
    queryObjList.clear();
    TReportGrid table;
    table.columns = columns;
    const int threshold = parseThreshold(p.threshold);
    const int averaging = parseAveraging(p.avgPeriod);
    const TDateTime startDay = dayOf(p.start);
    const TDateTime endBound = dayOf(p.end) + 1;
    const QString endText = sql::timestamp(dayOf(p.end) + dt::encodeTime(23, 59, 59));
    const QString startText = sql::timestamp(startDay);

    struct TFigures {
        std::array<double, 7> acc{};
        double km = 0, norm = 0, fuel = 0, manual = 0, charged = 0, avgEng = 0, avgLen = 0;
    };
    TFigures sums;

    const auto append = [&](const QString &caption, const TFigures &f, bool group, bool subtotal,
                            bool finalSubtotal) {
        QStringList row;
        for (const TGridColumn &c : columns) {
            const QString n = c.field.toUpper();
            const int d = durationIndex(n);
            QString text;
            if (d >= 0) {
                text = DaysToHMS(f.acc[size_t(d)]);
            } else if (n == QLatin1String("PAR_TRACKLEN")) {
                text = group ? QStringLiteral("-") : FormatFixed3(f.km);
            } else if (n == QLatin1String("PAR_FUELCONST")) {
                text = group ? QStringLiteral("-") : FormatFixed3(f.norm);
            } else if (n == QLatin1String("PAR_FUELCONS")) {
                text = group ? QStringLiteral("-") : FormatFixed3(f.fuel);
            } else if (n == QLatin1String("PAR_CHARGEMANUAL")) {
                text = group ? QStringLiteral("-") : FormatFixed3(f.manual);
            } else if (n == QLatin1String("PAR_CHARGEAUTO")) {
                text = group ? QStringLiteral("-") : FormatFixed3(f.charged);
            } else if (n == QLatin1String("PAR_AVGFUELENG")) {
                if (subtotal && finalSubtotal) {
                    const int64_t s = engineSeconds(f.acc[4]);
                    text = FormatFixed3(f.acc[4] > 0 && s > 0 ? f.fuel * 3600 / double(s) : 0);
                } else {
                    text = FormatFixed3(f.avgEng);
                }
            } else if (n == QLatin1String("PAR_AVGFUELLEN")) {
                if (subtotal && finalSubtotal)
                    text = FormatFixed3(f.km > 0 ? f.fuel * 100 / f.km : 0);
                else
                    text = FormatFixed3(f.avgLen);
            }
            row << text;
        }
        table.rows.push_back(row);
        table.rowCaptions << caption;
    };
    const auto subtotal = [&](bool last) {
        append(QStringLiteral("Итог"), sums, false, true, last);
        sums = TFigures();
    };

    TFuelComputations::TRun run(m_fuel);
    TTransaction tr(m_fuel.database(), TTransactionKind::CommittedReadWrite);
    tr.start();
    for (size_t i = 0; i < entries.size(); ++i) {
        m_control.step(int(i), int(entries.size()));
        const TSetEntry &e = entries[i];
        if (i > 0 && e.level != entries[i - 1].level)
            subtotal(false);
        TFigures f;
        QString caption = e.text;
        QString sql;
        std::future<void> detection;
        if (!e.isGroup) {
            queryObjList << QString::number(e.number);
            try {
                TTransaction nt(m_fuel.database(), TTransactionKind::ReadCommitted);
                nt.start();
                TQuery n(nt, QStringLiteral("select OBJ_NAME from OBJECTS where OBJ_NUMBER = ") +
                                 QString::number(e.number));
                n.open();
                if (n.next())
                    caption = n.field(0).asString() + QStringLiteral(" ( ") +
                              QString::number(e.number) + QStringLiteral(" )");
                n.close();
                nt.commit();
            } catch (const std::exception &) {
                // The caption stays the number.
            }
            sql = QStringLiteral("SELECT * FROM PROC_CALCSUMOBJPARAMS( '0.5', %1, %2, %3 )")
                      .arg(endText, startText, QString::number(e.number));
            // The refuelling detection of the consumption below reads the readings of its own
            // pass: it goes on beside the totals procedure (on a second connection when there
            // is one).
            if (p.detect)
                detection = m_fuel.DetectChargesBeside(e.number, threshold, startDay, endBound);
        } else {
            TQuery m(tr, QStringLiteral("SELECT OG_OBJID FROM OBJ_GRP WHERE OG_GRPID = ") +
                             sql::quote(e.groupId));
            m.open();
            while (m.next())
                queryObjList << m.field(0).asString();
            m.close();
            sql = QStringLiteral("SELECT * FROM PROC_CALCGRPPARAMS( '0.5', %1, %2, %3 )")
                      .arg(endText, startText, sql::quote(e.groupId));
        }
        TQuery q(tr, sql);
        q.open();
        if (q.next()) {
            for (size_t d = 0; d < kDurations.size(); ++d) {
                const int idx = q.fieldIndex(QStringLiteral("ACC_") + QLatin1String(kDurations[d]));
                f.acc[d] = idx < 0 ? 0 : q.field(idx).asDouble();
            }
        }
        q.close();
        if (!e.isGroup) {
            QStringList log;
            f.km = m_fuel.GetTrackLength(e.number, startDay, endBound);
            f.norm = m_fuel.GetNormConsumption(e.number, f.km, startDay);
            if (detection.valid())
                detection.get();
            f.fuel = m_fuel.GetFuelConsumption(e.number, averaging, false, log, threshold, startDay,
                                               endBound);
            f.manual = m_fuel.GetChargedManual(e.number, startDay, endBound);
            f.charged = m_fuel.GetChargedBySensor(e.number, startDay, endBound, log);
        }
        const int64_t secs = engineSeconds(f.acc[4]);
        f.avgEng = f.acc[4] > 0 && secs > 0 ? f.fuel * 3600 / double(secs) : 0;
        f.avgLen = f.km > 0 ? f.fuel * 100 / f.km : 0;
        append(caption, f, e.isGroup, false, false);

        for (size_t d = 0; d < kDurations.size(); ++d)
            sums.acc[d] += f.acc[d];
        sums.km += f.km;
        sums.norm += f.norm;
        sums.fuel += f.fuel;
        sums.manual += f.manual;
        sums.charged += f.charged;
        sums.avgEng += f.avgEng;
        sums.avgLen += f.avgLen;
    }
    if (!entries.empty())
        subtotal(true);
    tr.commit();
    return table;
}

TSetChart TObjectsSetReport::ChartQuery(const std::vector<TSetEntry> &entries, const TSetParams &p,
                                        const QString &dispName) {
    TSetChart chart;
    chart.title = dispName;
    QString name, type;
    {
        TTransaction tr(m_fuel.database(), TTransactionKind::ReadCommitted);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT PR_NAME, PR_FIELDTYPE FROM CALCPARAMS WHERE "
                                    "PR_DISPNAME = :n"));
        q.setParam(QStringLiteral("n"), dispName);
        q.open();
        if (q.next()) {
            name = q.field(0).asString().toUpper();
            type = q.field(1).asString().toUpper();
        }
        q.close();
        tr.commit();
    }
    TFuelComputations::TRun run(m_fuel);
    for (size_t i = 0; i < entries.size(); ++i) {
        m_control.step(int(i), int(entries.size()));
        const TSetEntry &e = entries[i];
        chart.series.push_back(e.isGroup ? groupSeries(e, p, name, type)
                                         : objectSeries(e, p, name, type));
    }
    return chart;
}

TBarSeries TObjectsSetReport::objectSeries(const TSetEntry &e, const TSetParams &p,
                                           const QString &name, const QString &type) {
    TBarSeries s;
    s.title = QStringLiteral("Объект №") + QString::number(e.number);
    const int threshold = parseThreshold(p.threshold);
    const int averaging = parseAveraging(p.avgPeriod);
    struct TDayRow {
        TDateTime day;
        QString label;
        double accGen = 0;
        QString text; // the chosen column
        QString genText;
    };
    std::vector<TDayRow> rows;
    {
        TTransaction tr(m_fuel.database(), TTransactionKind::ReadCommitted);
        tr.start();
        TQuery q(tr, QStringLiteral("SELECT * FROM PROC_CALCPARAMS( %1, %2, '%3', %4 )")
                         .arg(sql::timestamp(dayOf(p.end) + dt::encodeTime(23, 59, 59)),
                              sql::timestamp(dayOf(p.start)), GapText(p.maxLost),
                              QString::number(e.number)));
        q.open();
        const int col = name.isEmpty() ? -1 : q.fieldIndex(name);
        while (q.next()) {
            TDayRow r;
            r.day = std::floor(q.field(QStringLiteral("PAR_DATE")).asDateTime());
            r.label = q.field(QStringLiteral("PAR_DATE")).asString();
            r.accGen = q.field(QStringLiteral("ACC_GENTIME")).asDouble();
            r.genText = q.field(QStringLiteral("PAR_GENTIME")).asString();
            if (col >= 0)
                r.text = q.field(col).asString();
            rows.push_back(r);
        }
        q.close();
        tr.commit();
    }
    struct TDayValue {
        double value = 0, fuel = 0, km = 0, hours = 0;
    };
    std::vector<TDayValue> values;
    for (const TDayRow &r : rows) {
        m_control.step(0, 0);
        TDayValue v;
        const TDateTime dayEnd = r.day + dt::encodeTime(23, 59, 59);
        v.hours = double(engineSeconds(r.accGen)) / 3600;
        const auto fuel = [&] {
            QStringList log;
            return m_fuel.GetFuelConsumption(e.number, averaging, p.detect, log, threshold, r.day,
                                             dayEnd);
        };
        if (name == QLatin1String("PAR_GENTIME")) {
            v.value = MyTimeToHour(r.genText);
        } else if (name == QLatin1String("PAR_TRACKLEN")) {
            v.value = v.km = m_fuel.GetTrackLength(e.number, r.day, dayEnd);
        } else if (name == QLatin1String("PAR_FUELCONS")) {
            v.value = v.fuel = fuel();
        } else if (name == QLatin1String("PAR_FUELCONST")) {
            v.km = m_fuel.GetTrackLength(e.number, r.day, dayEnd);
            v.value = m_fuel.GetNormConsumption(e.number, v.km, r.day);
        } else if (name == QLatin1String("PAR_CHARGEMANUAL")) {
            v.value = m_fuel.GetChargedManual(e.number, r.day, r.day + 1);
        } else if (name == QLatin1String("PAR_CHARGEAUTO")) {
            QStringList log;
            v.value = m_fuel.GetChargedBySensor(e.number, r.day, r.day + 1, log);
        } else if (name == QLatin1String("PAR_AVGFUELLEN")) {
            v.fuel = fuel();
            v.km = m_fuel.GetTrackLength(e.number, r.day, dayEnd);
            v.value = v.km > 0 ? v.fuel * 100 / v.km : 0;
        } else if (name == QLatin1String("PAR_AVGFUELENG")) {
            v.fuel = fuel();
            const double secs = v.hours * 3600;
            v.value = r.accGen > 0 && secs > 0 ? v.fuel * 3600 / secs : 0;
        } else if (type == QLatin1String("MYTIME")) {
            v.value = MyTimeToHour(r.text);
        } else if (type == QLatin1String("FLOAT")) {
            double x = 0;
            v.value = TextToFloat(r.text, x) ? x : 0;
        }
        values.push_back(v);
    }
    if (!p.byMonth) {
        for (size_t i = 0; i < rows.size(); ++i) {
            s.labels << rows[i].label;
            s.values.push_back(values[i].value);
        }
        return s;
    }
    // By month: consecutive rows of one month form one bar.
    TDayValue sum;
    QString label;
    const auto flush = [&] {
        double v = sum.value;
        if (name == QLatin1String("PAR_AVGFUELENG"))
            v = sum.hours > 0 ? sum.fuel / sum.hours : 0;
        else if (name == QLatin1String("PAR_AVGFUELLEN"))
            v = sum.km > 0 ? sum.fuel * 100 / sum.km : 0;
        s.labels << label;
        s.values.push_back(v);
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString l = monthLabel(dt::toQDate(rows[i].day));
        if (i > 0 && l != label) {
            flush();
            sum = TDayValue();
        }
        label = l;
        sum.value += values[i].value;
        sum.fuel += values[i].fuel;
        sum.km += values[i].km;
        sum.hours += values[i].hours;
    }
    if (!rows.empty())
        flush();
    return s;
}

TBarSeries TObjectsSetReport::groupSeries(const TSetEntry &e, const TSetParams &p,
                                          const QString &name, const QString &type) {
    TBarSeries s;
    s.title = e.text;
    const bool time = type == QLatin1String("MYTIME");
    const bool number = type == QLatin1String("REAL") || type == QLatin1String("FLOAT");
    QString monthText;
    double month = 0;
    bool anyDay = false;
    for (QDate d = p.start; d.isValid() && d <= p.end; d = d.addDays(1)) {
        m_control.step(0, 0);
        double value = 0;
        if (!name.isEmpty() && (time || number)) {
            TTransaction tr(m_fuel.database(), TTransactionKind::ReadCommitted);
            tr.start();
            for (int member : e.members) {
                TQuery q(tr, QStringLiteral("SELECT * FROM PROC_CALCPARAMS( %1, %2, '%3', %4 )")
                                 .arg(sql::timestamp(dayOf(d) + dt::encodeTime(23, 59, 59)),
                                      sql::timestamp(dayOf(d)), GapText(p.maxLost),
                                      QString::number(member)));
                q.open();
                const int col = q.fieldIndex(name);
                while (q.next()) {
                    if (col < 0)
                        continue;
                    if (time)
                        value += MyTimeToHour(q.field(col).asString());
                    else
                        value += q.field(col).asDouble();
                }
                q.close();
            }
            tr.commit();
        }
        if (!p.byMonth) {
            s.labels << dt::dateToStr(dayOf(d));
            s.values.push_back(value);
            continue;
        }
        const QString l = monthLabel(d);
        if (anyDay && l != monthText) {
            s.labels << monthText;
            s.values.push_back(month);
            month = 0;
        }
        monthText = l;
        month += value;
        anyDay = true;
    }
    if (p.byMonth && anyDay) {
        s.labels << monthText;
        s.values.push_back(month);
    }
    return s;
}

QStringList MissingDayFiles(const QStringList &queryObjList, const QDate &start, const QDate &end,
                            const QString &dataDir) {
    QStringList lines;
    for (const QString &number : queryObjList)
        for (QDate d = start; d.isValid() && d <= end; d = d.addDays(1))
            if (!QFileInfo::exists(QDir(dataDir).filePath(number + QLatin1Char('/') +
                                                          d.toString(QStringLiteral("yyyyMMdd")) +
                                                          QStringLiteral(".dat"))))
                lines << QStringLiteral("объект: №") + number + QStringLiteral("  дата: ") +
                             dt::dateToStr(dayOf(d));
    return lines;
}
