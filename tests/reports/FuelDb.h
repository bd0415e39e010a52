#pragma once

// One database built from the shipped update script for a whole suite, with helpers for the
// small fixtures of the fuel tests (each test takes object numbers of its own).

#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "db/Database.h"
#include "db/OnlineDb.h"
#include "db/SqlScript.h"

namespace fueltest {

class FuelDbTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shared() = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { shared().reset(); }
    void SetUp() override {
        if (!shared())
            GTEST_FAIL() << "no database";
    }

    static std::unique_ptr<onlinetest::TScriptDatabase> &shared() {
        static std::unique_ptr<onlinetest::TScriptDatabase> d;
        return d;
    }
    static db::TDatabase &database() { return shared()->db; }

    // Runs a script of statements and commits it.
    static void sql(const QString &text) {
        db::TSqlScript s(text);
        db::TTransaction tr(database(), db::TTransactionKind::Write);
        tr.start();
        s.run(tr);
        tr.commit();
    }
    // Every row of a select, each as "A|B|C" texts (NULL as "<null>").
    static QStringList rows(const QString &select) {
        db::TTransaction tr(database(), db::TTransactionKind::ReadCommitted);
        tr.start();
        db::TQuery q(tr, select);
        q.open();
        QStringList out;
        while (q.next()) {
            QStringList cells;
            for (int i = 0; i < q.fieldCount(); ++i)
                cells << (q.field(i).isNull() ? QStringLiteral("<null>") : q.field(i).asString());
            out << cells.join(QLatin1Char('|'));
        }
        q.close();
        tr.commit();
        return out;
    }
    // Fuel readings of an object: ("dd.mm.yyyy hh:nn:ss", raw value).
    static void readings(int object, const std::vector<std::pair<QString, int>> &values) {
        QString script;
        for (const auto &[time, value] : values)
            script += QStringLiteral("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, "
                                     "INS_FUELLEVEL) values (%1, '%2', %3);\n")
                          .arg(object)
                          .arg(time)
                          .arg(value);
        sql(script);
    }
    // A calibration table of (reading, litres) points set by the operator.
    static void calibration(int object, const std::vector<std::pair<int, double>> &points) {
        QString script;
        for (const auto &[sensor, litres] : points)
            script += QStringLiteral("insert into FUEL_POINTS values (%1, %2, %3, 1);\n")
                          .arg(object)
                          .arg(sensor)
                          .arg(litres);
        sql(script);
    }
};

} // namespace fueltest
