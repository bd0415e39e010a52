// zarnex-cli report: the same part with the same parameters, as an operator runs it.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/Cp1251.h"
#include "reports/ReportFixture.h"

using namespace reporttest;

namespace {

class ReportCliTest : public ReportDbTest {
protected:
    void SetUp() override {
        ReportDbTest::SetUp();
        ::chmod(QFile::encodeName(dir.path()).constData(), 01777);
        settings = dir.filePath(QStringLiteral("zarnex-client.ini"));
        QFile f(settings);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            QStringLiteral("[DataBase]\r\nDBServ=%1\r\nDBPath=%2\r\nDBLogin=%3\r\nDBPass=%4\r\n")
                .arg(shared()->settings.server, shared()->settings.path, shared()->settings.login,
                     shared()->settings.password)
                .toUtf8());
    }
    int cli(QStringList args) {
        args.prepend(settings);
        args.prepend(QStringLiteral("--settings"));
        QProcess p;
        p.start(QStringLiteral(ZARNEX_BIN_DIR "/zarnex-cli"), args);
        if (!p.waitForFinished(120000))
            return -1;
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    }
    QString read(const QString &name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? cp1251::decode(f.readAll()) : QString();
    }

    QTemporaryDir dir;
    QString settings, out, err;
};

} // namespace

TEST_F(ReportCliTest, DailyPageInTheThreeFormsWithTheTraceOnStderr) {
    const QStringList period{QStringLiteral("--object"), QStringLiteral("501"),
                             QStringLiteral("--from"),   QStringLiteral("2026-03-31"),
                             QStringLiteral("--to"),     QStringLiteral("2026-04-01")};
    ASSERT_EQ(
        cli(QStringList{QStringLiteral("report"), QStringLiteral("daily")} + period +
            QStringList{QStringLiteral("--no-detect"), QStringLiteral("--avg-minutes"),
                        QStringLiteral("0"), QStringLiteral("--format"), QStringLiteral("hours"),
                        QStringLiteral("--xml"), dir.filePath(QStringLiteral("d.xml")),
                        QStringLiteral("--xlsx"), dir.filePath(QStringLiteral("d")),
                        QStringLiteral("--pdf"), dir.filePath(QStringLiteral("d.pdf"))}),
        0)
        << err.toStdString();
    const QString xml = read(QStringLiteral("d.xml"));
    EXPECT_TRUE(xml.contains(QStringLiteral("<Worksheet ss:Name=\"Данные по объекту 501\">")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<Cell><Data ss:Type=\"String\">Итог</Data></Cell>")));
    EXPECT_TRUE(
        xml.contains(QStringLiteral("<Cell><Data ss:Type=\"String\">25:00:00</Data></Cell>")));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("d.xlsx"))));
    EXPECT_GT(QFile(dir.filePath(QStringLiteral("d.pdf"))).size(), 1000);
    EXPECT_TRUE(err.contains(QStringLiteral("Суммарный расход :: 12,000 л"))) << err.toStdString();

    ASSERT_EQ(cli(QStringList{QStringLiteral("report"), QStringLiteral("states")} + period +
                  QStringList{QStringLiteral("--xml"), dir.filePath(QStringLiteral("s.xml"))}),
              0)
        << err.toStdString();
    EXPECT_TRUE(read(QStringLiteral("s.xml")).contains(QStringLiteral("тревожная кнопка")));

    // Bad usage: no output named, a format that does not exist, a set option on a page.
    EXPECT_EQ(cli(QStringList{QStringLiteral("report"), QStringLiteral("daily")} + period), 2);
    EXPECT_EQ(cli(QStringList{QStringLiteral("report"), QStringLiteral("period")} + period +
                  QStringList{QStringLiteral("--format"), QStringLiteral("weeks"),
                              QStringLiteral("--xml"), QStringLiteral("x.xml")}),
              2);
    EXPECT_EQ(cli(QStringList{QStringLiteral("report"), QStringLiteral("daily"),
                              QStringLiteral("--object"), QStringLiteral("999"),
                              QStringLiteral("--from"), QStringLiteral("2026-03-31"),
                              QStringLiteral("--to"), QStringLiteral("2026-04-01"),
                              QStringLiteral("--xml"), dir.filePath(QStringLiteral("n.xml"))}),
              1);
    EXPECT_TRUE(err.contains(QStringLiteral("object 999 is not in the registry")));
}

TEST_F(ReportCliTest, SetTableOfAGroupAndOfObjects) {
    ASSERT_EQ(cli({QStringLiteral("report"), QStringLiteral("set"), QStringLiteral("--groups"),
                   QStringLiteral("A,A~B"), QStringLiteral("--from"), QStringLiteral("2026-03-31"),
                   QStringLiteral("--to"), QStringLiteral("2026-04-01"), QStringLiteral("--xml"),
                   dir.filePath(QStringLiteral("g.xml"))}),
              0)
        << err.toStdString();
    const QString xml = read(QStringLiteral("g.xml"));
    EXPECT_TRUE(xml.contains(QStringLiteral("<Worksheet ss:Name=\"Отчет\">")));
    EXPECT_EQ(xml.count(QStringLiteral("<Cell><Data ss:Type=\"String\">Итог</Data></Cell>")), 2);
    ASSERT_EQ(
        cli({QStringLiteral("report"), QStringLiteral("set"), QStringLiteral("--objects"),
             QStringLiteral("501,502"), QStringLiteral("--from"), QStringLiteral("2026-03-31"),
             QStringLiteral("--to"), QStringLiteral("2026-04-01"), QStringLiteral("--pdf"),
             dir.filePath(QStringLiteral("o.pdf"))}),
        0)
        << err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("o.pdf"))));
}
