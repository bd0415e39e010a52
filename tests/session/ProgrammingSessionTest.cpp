// Device programming against the simulator's devices: a write of every block and the
// equipment packet read back, the check timer, the devices' errors, and the session's rules
// that need no device.

#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "link/ClientSock.h"
#include "link/SimProcess.h"
#include "programming/ProgrammingCodec.h"
#include "session/ProgrammingPart.h"
#include "session/ServerMessages.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>

using namespace programming;

namespace {

constexpr int kObject = 2001;

// The client's link to a simulator with the programming session on it.
struct TLink {
    explicit TLink(const QString &port) : server(options, dialogs) {
        options.AppServer = "127.0.0.1";
        options.AppPort = port.toInt();
        options.AppLogin = "demo";
        options.AppPass = "demo";
        server.setClient(&client);
        part.setObjectNumber(kObject);
    }
    ~TLink() {
        server.DisconnectFromServer();
        client.Terminate();
    }
    bool connect() {
        server.miConnectToServerClick();
        return waitUntil([this] { return client.getState() == 2; }, 10000);
    }
    // Runs a command to the end of its session; the message it ended with.
    QString run(bool (TProgrammingPart::*command)(), int ms = 10000) {
        const size_t before = dialogs.calls.size();
        if (!(part.*command)())
            return QStringLiteral("(nothing sent)");
        waitUntil([&] { return part.state() == 0 && dialogs.calls.size() > before; }, ms);
        return dialogs.calls.size() > before ? dialogs.calls.back().text
                                             : QStringLiteral("(no end)");
    }

    TScriptedDialogs dialogs;
    TOptions options;
    TServerController server;
    TClientThread client{[this] { server.ClientDataIn(); }, [this] { server.ClientStateChanged(); },
                         dialogs};
    TProgrammingPart part{dialogs, server};
};

TProgrammingParams written() {
    TProgrammingParams p;
    ApplyDefaults(p);
    p.IPEdit = "192.168.001.010";
    p.PortEdit = "07788";
    p.IDEdit = "0027";
    p.sim[0] = {"AT+CGDCONT=1", "gprs", "pw1", "*100#", true};
    p.sim[1] = {"AT+INIT2", "mts", "mts", "", false};
    p.sim[2] = {"", "beeline12345", "p3", "*102#", true}; // a login beyond its 10 places
    p.edDNS = "gw.example.ru";
    p.PrefixComboBox = "+7";
    p.UseCustomPrefix = true;
    p.CustomPrefixEdit = "8800";
    p.cbUseDNS = true;
    p.cbUseIP = true;
    p.PhoneNum = {"9123456789", "9000000001", "9161112233", "9031234567", "9269998877"};
    p.trs = {true, false, false, true, false};
    p.gpsPresent = false;
    SetAkbPosition(p, 251);
    SetTmasPosition(p, 650);
    p.edTMASmin = "15";
    p.edTMASmax = "95";
    p.cbTimeSr = 11;
    p.cbEngTempMin = 19;
    p.cbEngTempMax = 7;
    p.cbRecalcCoof = 9;
    p.cbCanWorkWithEngine = true;
    p.cbUseHeater2 = true;
    p.cbTakeSysTime = false;
    p.seDay = 28;
    p.seMonth = 2;
    p.seYear = 2027;
    p.seHour = 23;
    p.seMin = 59;
    return p;
}

double value(const QString &text) {
    double v = 0;
    EXPECT_TRUE(ParseFloat(text, v)) << text.toStdString();
    return v;
}

} // namespace

TEST(ProgrammingSession, WrittenBlocksAndPacketComeBackInTheReports) {
    TSimProcess sim({"--keepalive", "0", "--packet-interval", "60"});
    ASSERT_TRUE(sim.ok());
    TLink link(sim.port());
    ASSERT_TRUE(link.connect());
    QSignalSpy states(&link.part, &TProgrammingPart::stateChanged);

    const TProgrammingParams w = written();
    link.part.setParams(w);
    EXPECT_EQ(link.run(&TProgrammingPart::btnProgramClick), "Прибор успешно запрограммирован!");
    EXPECT_EQ(link.dialogs.calls.back().icon, TMsgIcon::Information);
    QList<int> seen;
    for (const QList<QVariant> &s : states)
        seen << s.at(0).toInt();
    EXPECT_EQ(seen, (QList<int>{1, 2, 3, 4, 5, 6, 0}));
    // The blocks went out as "р" + the ten digits + the block's bytes.
    EXPECT_EQ(sim.count("command=р data=" + QString::fromLatin1(Block2(w).toHex())), 1);

    states.clear();
    EXPECT_EQ(link.run(&TProgrammingPart::btnProgramEquipClick),
              "Успешно запрограммированны обе группы параметров.");
    seen.clear();
    for (const QList<QVariant> &s : states)
        seen << s.at(0).toInt();
    EXPECT_EQ(seen, (QList<int>{7, 8, 9, 0}));

    // A fresh window reads them back.
    TProgrammingParams fresh;
    ApplyDefaults(fresh);
    fresh.cbTakeSysTime = false;
    link.part.setParams(fresh);
    EXPECT_EQ(link.run(&TProgrammingPart::btnRequest3Click),
              "Все блоки данных приняты успешно (плата №3)");
    EXPECT_EQ(link.run(&TProgrammingPart::btnRequest1Click),
              "Блок данных с платы №1 принят успешно");
    const TProgrammingParams &r = link.part.params();
    EXPECT_EQ(r.IPEdit, w.IPEdit);
    EXPECT_EQ(r.PortEdit, w.PortEdit);
    EXPECT_EQ(r.IDEdit, w.IDEdit);
    EXPECT_EQ(r.sim[0], w.sim[0]);
    EXPECT_EQ(r.sim[1].Login, w.sim[1].Login);
    EXPECT_EQ(r.sim[1].InitStr, w.sim[1].InitStr);
    EXPECT_FALSE(r.sim[1].UseBalance);
    EXPECT_EQ(r.sim[2].Login, "beeline123"); // the device keeps ten characters
    EXPECT_EQ(r.sim[2].Pass, w.sim[2].Pass);
    EXPECT_EQ(r.sim[2].Ussd, w.sim[2].Ussd);
    EXPECT_EQ(r.edDNS, w.edDNS);
    EXPECT_EQ(r.PrefixComboBox, "+7");
    EXPECT_TRUE(r.UseCustomPrefix && r.cbUseDNS && r.cbUseIP && !r.cbRewriteIP);
    EXPECT_EQ(r.CustomPrefixEdit, w.CustomPrefixEdit);
    EXPECT_EQ(r.PhoneNum, w.PhoneNum);
    EXPECT_EQ(r.trs, w.trs);
    EXPECT_FALSE(r.gpsPresent);
    EXPECT_EQ(r.SMSPassEdit, "7QX4K2M9");
    EXPECT_EQ(r.BearerComboBox, w.BearerComboBox);
    EXPECT_EQ(r.PrefServComboBox, w.PrefServComboBox);
    EXPECT_EQ(r.PapChapComboBox, w.PapChapComboBox);
    EXPECT_EQ(r.cbTimeSr, w.cbTimeSr);
    EXPECT_EQ(r.cbEngTempMin, w.cbEngTempMin);
    EXPECT_EQ(r.cbEngTempMax, w.cbEngTempMax);
    EXPECT_EQ(r.cbRecalcCoof, w.cbRecalcCoof);
    EXPECT_TRUE(r.cbCanWorkWithEngine && r.cbUseHeater2);
    // The analogue values within half a step of their 10-bit codes.
    EXPECT_NEAR(value(r.edAKB), 25.1, 36.25 / 1024 / 2 + 0.005);
    EXPECT_NEAR(value(r.edTMASmin), 15, 5000 * 1.048 / 1024 / 10 / 2 + 0.005);
    EXPECT_NEAR(value(r.edTMASmax), 95, 5000 * 1.048 / 1024 / 10 / 2 + 0.005);
    EXPECT_EQ(r.edTMAS, r.edTMASmax);
    EXPECT_NEAR(r.tbAKB, 251, 1);
    EXPECT_NEAR(r.tbTMAS, 1450, 3);

    spin(50);
    EXPECT_EQ(link.dialogs.messages(),
              (QStringList{"Прибор успешно запрограммирован!",
                           "Успешно запрограммированны обе группы параметров.",
                           "Все блоки данных приняты успешно (плата №3)",
                           "Блок данных с платы №1 принят успешно"}));
}

TEST(ProgrammingSession, ASilentDeviceGetsTheCheckTimersMessageForEachState) {
    TSimProcess sim({"--keepalive", "0", "--packet-interval", "60", "--fault-device-silent"});
    ASSERT_TRUE(sim.ok());
    TLink link(sim.port());
    ASSERT_TRUE(link.connect());
    TProgrammingParams p = written();
    link.part.setParams(p);

    // The timer itself, shortened.
    link.part.tmrCheck.setInterval(300);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(link.run(&TProgrammingPart::btnProgramClick),
              "Прибор в течении 20 с. не ответил на команду \"перейти в режим "
              "программирования\"\r\nПовторите действия.");
    EXPECT_GE(t.elapsed(), 280); // a coarse timer may be 5 % early
    EXPECT_EQ(link.dialogs.calls.back().icon, TMsgIcon::Error);

    // A user command keeps a running timer's time; a notification's send starts a new one.
    link.part.tmrCheck.setInterval(1000);
    t.restart();
    link.part.btnRequest3Click();
    spin(600);
    link.part.btnRequest1Click();
    ASSERT_TRUE(waitUntil([&] { return link.part.state() == 0; }, 3000));
    EXPECT_LT(t.elapsed(), 1400);
    t.restart();
    link.part.btnProgramClick();
    spin(600);
    link.part.WhenObjInProgramming();
    ASSERT_TRUE(waitUntil([&] { return link.part.state() == 0; }, 3000));
    EXPECT_GE(t.elapsed(), 1500);

    // Each state's message, the handler called at once.
    link.part.tmrCheck.setInterval(TProgrammingPart::CheckIntervalMs);
    using P = TProgrammingPart;
    struct Case {
        bool (P::*command)();
        std::vector<void (P::*)()> news;
        int state;
        QString tail;
    };
    const QString head = "Прибор в течении 20 с. не ответил на ";
    const Case cases[] = {
        {&P::btnProgramClick, {}, 1, "команду \"перейти в режим программирования\""},
        {&P::btnProgramClick, {&P::WhenObjInProgramming}, 2, "команду \"приготовиться к приему\""},
        {&P::btnProgramClick,
         {&P::WhenObjInProgramming, &P::WhenObjReadyForFirstBlock},
         3,
         "блок данных №1"},
        {&P::btnProgramClick,
         {&P::WhenObjInProgramming, &P::WhenObjReadyForFirstBlock, &P::WhenObjReadyForSecondBlock},
         4,
         "блок данных №2"},
        {&P::btnProgramClick,
         {&P::WhenObjInProgramming, &P::WhenObjReadyForFirstBlock, &P::WhenObjReadyForSecondBlock,
          &P::WhenObjReadyForThirdBlock},
         5,
         "блок данных №3"},
        {&P::btnProgramClick,
         {&P::WhenObjInProgramming, &P::WhenObjReadyForFirstBlock, &P::WhenObjReadyForSecondBlock,
          &P::WhenObjReadyForThirdBlock, &P::WhenObjReadyForFourthBlock},
         6,
         "блок данных №4"},
        {&P::btnProgramEquipClick,
         {},
         7,
         "команду \"перейти в режим программирования оборудования\""},
        {&P::btnProgramEquipClick,
         {&P::WhenObjInProgrammingEquip},
         8,
         "команду \"приготовиться к приему пакета программирования оборудования\""},
        {&P::btnProgramEquipClick,
         {&P::WhenObjInProgrammingEquip, &P::WhenObjReadyForProgEquip},
         9,
         "пакет программирования оборудования"},
        {&P::btnRequest3Click, {}, 10, "запрос \"выдать значения парметров платы №3\""},
        {&P::btnRequest1Click, {}, 11, "запрос \"выдать значения парметров платы №1\""},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE((link.part.*c.command)()) << c.state;
        for (auto n : c.news)
            (link.part.*n)();
        EXPECT_EQ(link.part.state(), c.state);
        EXPECT_TRUE(link.part.tmrCheck.isActive());
        link.part.tmrCheckTimer();
        EXPECT_EQ(link.part.state(), 0);
        EXPECT_FALSE(link.part.tmrCheck.isActive());
        spin(5);
        EXPECT_EQ(link.dialogs.calls.back().text, head + c.tail + "\r\nПовторите действия.")
            << c.state;
    }
    // Idle, the timer shows nothing.
    const size_t calls = link.dialogs.calls.size();
    link.part.tmrCheckTimer();
    spin(5);
    EXPECT_EQ(link.dialogs.calls.size(), calls);

    // What went out to the silent device: block 4 and the equipment packet after their ten digits.
    EXPECT_GE(sim.count("object=2001 command=р data=" + QString::fromLatin1(Block4(p).toHex())), 1);
    EXPECT_GE(
        sim.count("object=2001 command=р data=" + QString::fromLatin1(EquipmentPacket(p).toHex())),
        1);
    EXPECT_GE(sim.count("object=2001 command=т data="), 1);
}

TEST(ProgrammingSession, DeviceErrorsAndCutReportsEndTheSessionWithTheirMessages) {
    TSimProcess sim({"--keepalive", "0", "--packet-interval", "60", "--fault-param-error",
                     "--fault-cut-report"});
    ASSERT_TRUE(sim.ok());
    TLink link(sim.port());
    ASSERT_TRUE(link.connect());
    link.part.setParams(written());
    EXPECT_EQ(link.run(&TProgrammingPart::btnProgramClick), "Ошибка программирования прибора!");
    EXPECT_EQ(link.run(&TProgrammingPart::btnProgramEquipClick),
              "Параметры не запрограммированны.");
    EXPECT_EQ(link.dialogs.calls.back().icon, TMsgIcon::Error);

    // The first three form-3 reports are taken; the cut fourth ends the session.
    link.part.setParams(written());
    EXPECT_EQ(link.run(&TProgrammingPart::btnRequest3Click),
              "В пакете \"данные платы №3\" неверное количество байт");
    EXPECT_EQ(link.part.params().IPEdit, "000.000.000.000"); // the device's own, nothing written
    EXPECT_EQ(link.part.params().PhoneNum[0], "9000000000");
    EXPECT_EQ(link.part.params().CustomPrefixEdit, "8800"); // block 4 was refused
    QSignalSpy log(&link.part, &TProgrammingPart::logAdded);
    EXPECT_EQ(link.run(&TProgrammingPart::btnRequest1Click),
              "Ошибка обработки пакета данных с платы №1\r\nв пакете 5 байт, нужно не менее 9");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.at(0).at(0).toStringList(), (QStringList{"DF", "04", "3C", "44", "13"}));
    EXPECT_EQ(link.part.params().cbTimeSr, 11); // unchanged
}

TEST(ProgrammingSession, RulesThatNeedNoDevice) {
    TScriptedDialogs dialogs;
    TOptions options;
    TServerController server(options, dialogs);
    TProgrammingPart part(dialogs, server);
    part.setObjectNumber(kObject);

    // Reports and signatures of another object's device leave this session alone.
    QByteArray form1(9, '\0');
    form1[0] = char(0xDF);
    form1[1] = 0x20; // pump index 8
    server.ProcessLine("s|2002|data|" + form1);
    server.ProcessLine("s|2002|data|" + ProgrammingSignature(TProgrammingStatus::WhenObjProgOk));
    spin(5);
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_EQ(part.params().cbTimeSr, 4);
    server.ProcessLine("s|2001|data|" + form1);
    spin(5);
    EXPECT_EQ(part.params().cbTimeSr, 8);
    EXPECT_EQ(dialogs.messages(), QStringList{"Блок данных с платы №1 принят успешно"});
    // A final signature ends the session whatever its state.
    server.ProcessLine("s|2001|data|" + ProgrammingSignature(TProgrammingStatus::WhenNoCan));
    spin(5);
    EXPECT_EQ(dialogs.messages().last(), "Нет CAN! Прибор не запрограммирован.");

    // A field that cannot be converted stops the command before anything is sent.
    TProgrammingParams p = part.params();
    p.PhoneNum[2] = "9161 12233";
    part.setParams(p);
    EXPECT_FALSE(part.btnProgramClick());
    EXPECT_EQ(dialogs.messages().last(), "Федеральный номер №3: \" \" не является цифрой");
    EXPECT_EQ(part.state(), 0);
    // A send without a link ends the session with the reason.
    EXPECT_FALSE(part.btnRequest1Click());
    spin(5);
    EXPECT_EQ(dialogs.messages().last(), "Нет соединения с сервером.");
    EXPECT_EQ(part.state(), 0);
    EXPECT_FALSE(part.tmrCheck.isActive());

    // "Брать системное время": the packet carries the time of the last tick.
    QDateTime clock(QDate(2026, 12, 10), QTime(8, 15));
    part.setClock([&clock] { return clock; });
    p.PhoneNum[2] = "9161112233";
    p.cbTakeSysTime = false;
    part.setParams(p);
    EXPECT_FALSE(part.tmrSysTime.isActive());
    part.cbTakeSysTimeClick(true);
    EXPECT_TRUE(part.tmrSysTime.isActive());
    clock = clock.addSecs(3600 * 3 + 60);
    part.tmrSysTimeTimer();
    clock = clock.addSecs(60); // no tick since
    part.btnProgramEquipClick();
    const QByteArray packet = part.equipmentPacket();
    ASSERT_EQ(packet.size(), 15);
    EXPECT_EQ(uchar(packet[1]), 11 + 48);
    EXPECT_EQ(uchar(packet[2]), 16 + 48);
    EXPECT_EQ(uchar(packet[3]), 10 + 48);
    EXPECT_EQ(uchar(packet[5]), 26 + 27);
    part.cbTakeSysTimeClick(false);
    EXPECT_FALSE(part.tmrSysTime.isActive());

    // "Файл": the default extension, and the hidden option checked after loading.
    QTemporaryDir dir;
    dialogs.files.push_back({dir.filePath("set")});
    part.miSaveClick();
    ASSERT_TRUE(QFile::exists(dir.filePath("set.ppc")));
    const TProgrammingParams saved = part.params();
    part.btnDefaultsClick();
    p = part.params();
    p.IPEdit = "1.1.1.1";
    part.setParams(p);
    dialogs.files.push_back({dir.filePath("set.ppc")});
    part.miLoadClick();
    TProgrammingParams expected = saved;
    expected.cbRecalcCoof = 4; // not kept in the file: the defaults' stays
    EXPECT_EQ(part.params(), expected);
    EXPECT_EQ(dialogs.calls.back().text, "|Параметры программирования (*.ppc)|*.ppc");
}
