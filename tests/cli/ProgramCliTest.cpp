// zarnex-cli program: a parameter file written into a simulated device and read back, and a
// device that refuses.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/IniFile.h"
#include "link/SimProcess.h"

namespace {

const QString kCli = QStringLiteral(ZARNEX_BIN_DIR "/zarnex-cli");

struct TResult {
    int code = -1;
    QString out, err;
};

TResult cli(const QStringList &args) {
    QProcess p;
    // The program's own conventions (decimal comma), whatever this machine's locale.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(kCli, args);
    TResult r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

std::ostream &operator<<(std::ostream &os, const TResult &r) {
    return os << "exit " << r.code << "\nstdout:\n"
              << r.out.toStdString() << "stderr:\n"
              << r.err.toStdString();
}

class ProgramCli : public ::testing::Test {
protected:
    void start(QStringList simArgs) {
        simArgs << "--keepalive"
                << "0"
                << "--packet-interval"
                << "60";
        sim = std::make_unique<TSimProcess>(simArgs);
        ASSERT_TRUE(sim->ok());
        settings = dir.filePath("zarnex-client.ini");
        TIniFile ini(settings);
        ini.writeString("AppServer", "AppIP", "127.0.0.1");
        ini.writeString("AppServer", "AppPort", sim->port());
        ini.writeString("AppServer", "AppLogin", "demo");
        ini.writeString("AppServer", "AppPass", "demo");
        ini.save();
    }
    TResult program(const QStringList &args) {
        return cli(QStringList{"--settings", settings, "program"} + args);
    }
    // A parameter file with values other than the defaults.
    QString parameterFile() {
        const QString file = dir.filePath("in.ppc");
        TIniFile ini(file);
        const std::pair<const char *, const char *> values[] = {{"IPEdit", "010.020.030.040"},
                                                                {"PortEdit", "12345"},
                                                                {"edDNS", "gw.example.ru"},
                                                                {"cbUseIP", "1"},
                                                                {"cbUseDNS", "0"},
                                                                {"Login1Edit", "gprs"},
                                                                {"Pass1Edit", "pass"},
                                                                {"InitStr2Edit", "AT"},
                                                                {"cbUseBalance2", "0"},
                                                                {"Ussd3Edit", "*105#"},
                                                                {"IDEdit", "0042"},
                                                                {"PrefixComboBox", "+7"},
                                                                {"PhoneNum1Edit", "9000000001"},
                                                                {"PhoneNum2Edit", "9000000002"},
                                                                {"PhoneNum3Edit", "9031112233"},
                                                                {"PhoneNum4Edit", "9000000004"},
                                                                {"PhoneNum5Edit", "9000000005"},
                                                                {"trs3ChkBox", "1"},
                                                                {"GroupBox13", "1"},
                                                                {"edAKB", "12,5"},
                                                                {"tbAKB", "125"},
                                                                {"cbTimeSr", "10"},
                                                                {"cbEngTempMin", "2"},
                                                                {"cbEngTempMax", "18"},
                                                                {"cbCanWorkWithEngine", "1"},
                                                                {"edTMASmin", "40"},
                                                                {"edTMASmax", "110"},
                                                                {"seYear", "2026"},
                                                                {"seMonth", "3"},
                                                                {"seDay", "9"},
                                                                {"cbTakeSysTime", "1"}};
        for (const auto &[key, value] : values)
            ini.writeString("main", key, QString::fromUtf8(value));
        ini.save();
        return file;
    }

    QTemporaryDir dir;
    std::unique_ptr<TSimProcess> sim;
    // (A file written by the window holds every key; a missing text reads as empty, and
    // missing check boxes as checked.)
    QString settings;
};

} // namespace

TEST_F(ProgramCli, WriteThenReadShowsTheWrittenFields) {
    start({});
    TResult r = program({"write", "--object", "2002", parameterFile()});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_TRUE(r.err.contains("Прибор успешно запрограммирован!")) << r;
    EXPECT_TRUE(r.err.contains("Успешно запрограммированны обе группы параметров.")) << r;

    r = program({"read", "--object", "2002"});
    ASSERT_EQ(r.code, 0) << r;
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    for (const char *expected : {"IPEdit\t010.020.030.040",
                                 "PortEdit\t12345",
                                 "edDNS\tgw.example.ru",
                                 "cbUseIP\t1",
                                 "cbUseDNS\t0",
                                 "Login1Edit\tgprs",
                                 "Pass1Edit\tpass",
                                 "InitStr2Edit\tAT",
                                 "cbUseBalance2\t0",
                                 "Ussd3Edit\t*105#",
                                 "cbUseBalance3\t1",
                                 "IDEdit\t0042",
                                 "PrefixComboBox\t+7",
                                 "PhoneNum3Edit\t9031112233",
                                 "trs3ChkBox\t1",
                                 "trs2ChkBox\t1" /* missing: checked */,
                                 "GroupBox13\tотсутствует",
                                 "cbTimeSr\t26",
                                 "cbEngTempMin\t44",
                                 "cbEngTempMax\t76",
                                 "cbCanWorkWithEngine\t1",
                                 "edAKB\t12,50",
                                 "edTMASmin\t40,06",
                                 "edTMASmax\t110,17"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(expected))) << expected << "\n" << r;

    // Saved as a parameter file instead.
    const QString out = dir.filePath("out");
    r = program({"read", "--object", "2002", "--ppc", out});
    ASSERT_EQ(r.code, 0) << r;
    EXPECT_TRUE(r.out.isEmpty()) << r;
    TIniFile ini(out + ".ppc");
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readString("main", "IPEdit", ""), "010.020.030.040");
    EXPECT_EQ(ini.readString("main", "cbEngTempMax", ""), "18");
    EXPECT_EQ(ini.readString("main", "GroupBox13", ""), "1");
}

TEST_F(ProgramCli, ADeviceErrorOrBadUsageIsTheExitStatus) {
    start({"--fault-param-error"});
    TResult r = program({"write", "--object", "2001", parameterFile()});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_TRUE(r.err.contains("Ошибка программирования прибора!")) << r;
    EXPECT_FALSE(r.err.contains("Успешно")) << r;

    r = program({"write", "--object", "2001", dir.filePath("missing.ppc")});
    EXPECT_EQ(r.code, 1) << r;
    EXPECT_TRUE(r.err.contains("missing.ppc")) << r;
    r = program({"read"});
    EXPECT_EQ(r.code, 2) << r;
    r = program({"write", "--object", "2001"});
    EXPECT_EQ(r.code, 2) << r;
    r = program({"erase", "--object", "2001"});
    EXPECT_EQ(r.code, 2) << r;
}
