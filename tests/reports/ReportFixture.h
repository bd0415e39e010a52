#pragma once

// Two days of one-minute data of object 501 (31.03.2026 and 01.04.2026): the alarm button on
// for the first 25 hours, the engine (protection breaker signal) on 10:00-12:00 of the first day
// and 08:00-11:00 of the second, the fuel reading falling one unit a minute while the engine
// works, and a refuelling on the second day 14:00-14:10 (+400 units, 41.5 litres recorded).
// The calibration makes a unit 0.1 litre. Object 502 has no data; groups A (level 1, objects
// 501 and 502) and its subgroup B (level 2, object 501).

#include <QDir>
#include <QTemporaryDir>

#include "app/DateUtils.h"
#include "app/Folders.h"
#include "app/Options.h"
#include "reports/FuelComputations.h"
#include "reports/FuelDb.h"
#include "tracks/FileManager.h"

namespace reporttest {

constexpr int kObject = 501;
constexpr int kEmpty = 502;
const QString kGroupA = QStringLiteral("{AAAAAAAA-0000-0000-0000-000000000001}");
const QString kGroupB = QStringLiteral("{BBBBBBBB-0000-0000-0000-000000000002}");

inline TDateTime day1() {
    return dt::encode(2026, 3, 31);
}
inline TDateTime day2() {
    return dt::encode(2026, 4, 1);
}
inline TDateTime periodEnd() {
    return dt::encode(2026, 4, 1, 23, 59, 59);
}

class ReportDbTest : public fueltest::FuelDbTest {
protected:
    static void SetUpTestSuite() {
        fueltest::FuelDbTest::SetUpTestSuite();
        if (!shared())
            return;
        sql(QStringLiteral(
            "insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, OBJ_FUELCONSW, "
            "OBJ_FUELCONSS) values (501, 'Тепловоз <1> & Co', 'Т1', 40, 30);\n"
            "insert into OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME) values (502, 'Пустой', "
            "'П');\n"
            "insert into GROUPS (GRP_ID, GRP_MASTERID, GRP_NAME) values "
            "('{AAAAAAAA-0000-0000-0000-000000000001}', NULL, 'A');\n"
            "insert into GROUPS (GRP_ID, GRP_MASTERID, GRP_NAME) values "
            "('{BBBBBBBB-0000-0000-0000-000000000002}', '{AAAAAAAA-0000-0000-0000-000000000001}', "
            "'B');\n"
            "insert into OBJ_GRP values (501, '{AAAAAAAA-0000-0000-0000-000000000001}');\n"
            "insert into OBJ_GRP values (502, '{AAAAAAAA-0000-0000-0000-000000000001}');\n"
            "insert into OBJ_GRP values (501, '{BBBBBBBB-0000-0000-0000-000000000002}');\n"
            "insert into FUEL_POINTS values (501, 0, 0, 1);\n"
            "insert into FUEL_POINTS values (501, 4000, 400, 1);\n"
            "SET TERM ^ ;\n"
            "EXECUTE BLOCK AS\n"
            "DECLARE VARIABLE M INTEGER = 0;\n"
            "DECLARE VARIABLE F INTEGER = 1000;\n"
            "DECLARE VARIABLE ENG INTEGER;\n"
            "BEGIN\n"
            "  WHILE (M < 2880) DO BEGIN\n"
            "    ENG = IIF((M >= 600 AND M < 720) OR (M >= 1920 AND M < 2100), 1, 0);\n"
            "    IF (M >= 2280 AND M < 2290) THEN F = F + 40;\n"
            "    INSERT INTO INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, INS_FUELLEVEL, "
            "INS_BOARDVOLTAGE, INS_TEMPERATURE, INS_LOCOMOTIVEMOVE, INS_WARNINGMODE, "
            "INS_ERRORAVTOPROTECT, INS_DIESELWORK, INS_ABVOLTAGELESSMIN, INS_ALERTBTN) VALUES "
            "(501, DATEADD(MINUTE, :M, TIMESTAMP '2026-03-31 00:00:00'), :F, 24500, 20.5, 0, 0, "
            ":ENG, 0, 0, IIF(:M < 1500, 1, 0));\n"
            "    IF (ENG = 1) THEN F = F - 1;\n"
            "    M = M + 1;\n"
            "  END\n"
            "END^\n"
            "SET TERM ; ^\n"
            "insert into FUEL_CHARGE values (501, '01.04.2026 14:00:00', 700, "
            "'01.04.2026 14:10:00', 1100, 41.5);\n"));
    }

    void SetUp() override {
        fueltest::FuelDbTest::SetUp();
        // The track files of the computations: an empty cache folder of the test's own.
        TFolders f = Folders();
        f.CoordCacheDir = cache.path() + QLatin1Char('/');
        SetFolders(f);
        options.SummerStart = 5;
        options.SummerEnd = 9;
    }

    TObjectNorms norms() const { return {{kObject, {30, 40}}, {kEmpty, {0, 0}}}; }

    QTemporaryDir cache;
    TOptions options;
    TFManager fmngr;
};

} // namespace reporttest
