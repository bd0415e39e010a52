#include "app/DateUtils.h"
#include "app/SqlLiteral.h"

#include <gtest/gtest.h>

TEST(DateUtils, EncodesAndDecodesDelphiDays) {
    EXPECT_DOUBLE_EQ(dt::encode(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(dt::encode(1900, 1, 1, 12), 2.5);
    EXPECT_DOUBLE_EQ(dt::encode(1899, 12, 29, 6), -1.25);
    const auto p = dt::decode(dt::encode(2026, 12, 10, 15, 30, 12, 123));
    EXPECT_EQ(p.year, 2026);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 10);
    EXPECT_EQ(p.hour, 15);
    EXPECT_EQ(p.minute, 30);
    EXPECT_EQ(p.second, 12);
    EXPECT_EQ(p.msec, 123);
    // 23:59:59.9996 rounds into the next day.
    const auto q = dt::decode(dt::encode(2026, 12, 10) + (86400000.0 - 0.4) / dt::MsPerDay);
    EXPECT_EQ(q.day, 11);
    EXPECT_EQ(q.hour, 0);
    const QDateTime qd = dt::toQDateTime(dt::encode(2026, 1, 2, 3, 4, 5));
    EXPECT_EQ(qd.toString("yyyy-MM-dd HH:mm:ss"), "2026-01-02 03:04:05");
    EXPECT_DOUBLE_EQ(dt::fromQDateTime(qd), dt::encode(2026, 1, 2, 3, 4, 5));
}

TEST(DateUtils, FormatsDelphiPatterns) {
    const TDateTime v = dt::encode(2026, 3, 7, 9, 5, 4, 45);
    struct Case {
        const char *pattern;
        const char *expected;
    } cases[] = {
        {"dd.mm.yy hh:nn:ss", "07.03.26 09:05:04"},
        {"yyyy.mm.dd hh:nn:ss.zzz", "2026.03.07 09:05:04.045"},
        {"yyyymmdd", "20260307"},
        {"d/m/yyyy h:mm", "7.3.2026 9:05"},
        {"hh:mm:ss", "09:05:04"},
        {"'at' hh\"h\"", "at 09h"},
        {"c", "07.03.2026 09:05:04"},
        {"dddd, d mmmm", "суббота, 7 Март"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dt::formatDateTime(QString::fromUtf8(c.pattern), v, TFormatSettings::russian()),
                  QString::fromUtf8(c.expected))
            << c.pattern;
}

TEST(DateUtils, DefaultTextLeavesOutMidnightAndParsesBack) {
    const auto fs = TFormatSettings::russian();
    EXPECT_EQ(dt::dateTimeToStr(dt::encode(2026, 12, 10), fs), "10.12.2026");
    EXPECT_EQ(dt::dateTimeToStr(dt::encode(2026, 12, 10, 0, 0, 1), fs), "10.12.2026 00:00:01");
    EXPECT_EQ(dt::dateTimeToStr(0.5, fs), "30.12.1899 12:00:00");
    TDateTime back = -1;
    ASSERT_TRUE(dt::tryStrToDateTime("10.12.2026 15:30:12", back, fs));
    EXPECT_DOUBLE_EQ(back, dt::encode(2026, 12, 10, 15, 30, 12));
    ASSERT_TRUE(dt::tryStrToDateTime("10.12.2026", back, fs));
    EXPECT_DOUBLE_EQ(back, dt::encode(2026, 12, 10));
    EXPECT_FALSE(dt::tryStrToDateTime("31.02.2026", back, fs));
    EXPECT_FALSE(dt::tryStrToDateTime("10.12.2026 25:00:00", back, fs));
    EXPECT_FALSE(dt::tryStrToDateTime("", back, fs));
}

TEST(FormatSettings, FloatsFollowTheSeparatorButSqlNever) {
    const auto ru = TFormatSettings::russian();
    EXPECT_EQ(ru.formatFloat(21.456, 2), "21,46");
    double v = 0;
    ASSERT_TRUE(ru.tryParseFloat("3,5", v));
    EXPECT_DOUBLE_EQ(v, 3.5);
    EXPECT_FALSE(ru.tryParseFloat("abc", v));
    EXPECT_EQ(sql::fixed(21.456), "21.46");
    EXPECT_EQ(sql::fixed(-0.001), "0.00");
    EXPECT_EQ(sql::fixed(7), "7.00");
    EXPECT_EQ(sql::quote("O'Brien"), "'O''Brien'");
    EXPECT_EQ(sql::quoteOrNull(""), "NULL");
    EXPECT_EQ(sql::timestamp(dt::encode(2026, 12, 10, 15, 30, 12, 5)), "'10.12.2026 15:30:12.005'");
}
