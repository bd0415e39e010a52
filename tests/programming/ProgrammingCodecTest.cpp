// The bytes of device programming: command lines, the four blocks, the equipment packet, the
// two reports, and the parameter files.

#include "programming/ProgrammingCodec.h"
#include "app/Cp1251.h"
#include "programming/ParameterFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace programming;

namespace {

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b += char(v);
    return b;
}

TProgrammingParams defaults() {
    TProgrammingParams p;
    ApplyDefaults(p);
    return p;
}

// A form-3 report as a device might send it: each data byte as two bytes whose first one
// carries the high nibble in its low four bits (any high bits) and whose second one carries the
// low nibble (any high bits); then two trailing bytes.
QByteArray form3(char block, const QByteArray &data, int length = -1) {
    const int L = length < 0 ? int(data.size()) : length;
    QByteArray p;
    p += char(7);
    p += block;
    p += char(0x70 | (L >> 4));
    p += char(0x50 | (L & 15));
    for (char c : data) {
        p += char(0x40 | (uchar(c) >> 4));
        p += char(0x60 | (uchar(c) & 15));
    }
    p += "\r\n";
    return p;
}

} // namespace

TEST(ProgrammingCommands, LettersTravelAsTheirLowBytesAndNumberedOnesCarryTenDigits) {
    const std::pair<char16_t, int> letters[] = {
        {kCmdEnterProgramming, 0x3E}, {kCmdReadyForBlocks, 0x3F},    {kCmdWrite, 0x40},
        {kCmdEnterEquipment, 0x41},   {kCmdReadyForEquipment, 0x42}, {kCmdRequestForm3, 0x43},
        {kCmdRequestForm1, 0x44}};
    for (const auto &[letter, byte] : letters)
        EXPECT_EQ(ShortCommand(letter, 27), bytes({byte, '2', '7'})) << byte;
    // Block 1 for object 27: 0x40, the ten digits, the block's bytes unchanged.
    const QByteArray block = Block1(defaults());
    EXPECT_EQ(NumberedCommand(kCmdWrite, 27, block), QByteArray("\x40"
                                                                "0000000027") +
                                                         block);
    EXPECT_EQ(NumberedCommand(kCmdReadyForEquipment, 1234567), QByteArray("\x42"
                                                                          "0001234567"));
}

TEST(ProgrammingBlocks, TextBlocksJoinTheirFieldsWithFixedPlaces) {
    TProgrammingParams p = defaults();
    p.IPEdit = "192.168.001.010";
    p.PortEdit = "07788";
    p.sim[0] = {"AT+CGDCONT", "user", "pw", "*100#", true};
    p.sim[1] = {"i2", "l2", "p2", "", true};
    p.sim[2] = {"i3", "l3", "p3", "*102#", true};
    p.IDEdit = "0027";
    p.SMSPassEdit = "ABCDEFGH"; // not sent: block 1 carries the fixed password
    p.edDNS = "dns.example";
    EXPECT_EQ(Block1(p), QByteArray("192.168.001.010:07788:user:pw:AT+CGDCONT:0:0027:7QX4K2M9>"));
    EXPECT_EQ(Block3(p), QByteArray("l2:p2:i2:l3:p3:i3:0:dns.example>"));

    // Block 4: balance numbers or "E", the flag bytes between the prefix fields.
    struct Case {
        const char *name;
        std::function<void(TProgrammingParams &)> set;
        QByteArray expected;
    };
    const Case cases[] = {
        {"defaults", [](TProgrammingParams &) {}, QByteArray(":::\x80:8::\x91:0>")},
        {"every flag",
         [](TProgrammingParams &q) {
             q.sim[0].Ussd = "*100#";
             q.sim[1].UseBalance = false;
             q.sim[2].Ussd = "*102#";
             q.cbUseDNS = q.cbRewriteIP = q.UseCustomPrefix = true;
             q.gpsPresent = false;
             q.PrefixComboBox = "+7";
             q.CustomPrefixEdit = "8800";
             q.cbUseIP = true;
             q.PapChapComboBox = 0;
             q.PrefServComboBox = 1;
             q.BearerComboBox = 0;
         },
         QByteArray("*100#:E:*102#:\x8F:+7:8800:\xC4:0>")},
        {"authentication and bearer",
         [](TProgrammingParams &q) {
             q.PapChapComboBox = 1;
             q.PrefServComboBox = 0;
             q.BearerComboBox = 3;
         },
         QByteArray(":::\x80:8::\x8B:0>")},
    };
    for (const Case &c : cases) {
        TProgrammingParams q = defaults();
        c.set(q);
        EXPECT_EQ(Block4(q).toHex(), c.expected.toHex()) << c.name;
    }
}

TEST(ProgrammingBlocks, PhoneNumbersPackTwoDigitsPerByteAndRefuseBlanks) {
    EXPECT_EQ(PackPhone("9123456789", 1), bytes({0x91, 0x23, 0x45, 0x67, 0x89}));
    EXPECT_EQ(PackPhone("0000000000", 1), QByteArray(5, '\0'));
    for (const char *bad : {"912345678 ", "9123", "91234x6789", ""}) {
        try {
            PackPhone(QString::fromLatin1(bad), 3);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EProgrammingError &e) {
            EXPECT_TRUE(e.text().startsWith("Федеральный номер №3")) << e.text().toStdString();
        }
    }

    TProgrammingParams p = defaults();
    p.PhoneNum = {"9123456789", "9000000001", "0000000000", "9999999999", "1234512345"};
    p.trs = {true, false, true, false, true};
    const QByteArray b = Block2(p);
    ASSERT_EQ(b.size(), 43);
    EXPECT_EQ(b.left(25).toHex(), QByteArray("9123456789"
                                             "9000000001"
                                             "0000000000"
                                             "9999999999"
                                             "1234512345"));
    EXPECT_EQ(b.mid(25, 8), QByteArray("00000000"));
    EXPECT_EQ(b.mid(33).toHex(), QByteArray("10000000100000001000"));
    p.PhoneNum[1] = "9000 00001";
    EXPECT_THROW(Block2(p), EProgrammingError);
}

TEST(ProgrammingPacket, EveryByteOfTheEquipmentPacket) {
    TProgrammingParams p = defaults();
    p.seHour = 13;
    p.seMin = 45;
    p.seDay = 7;
    p.seMonth = 11;
    p.seYear = 2026;
    p.edTMASmin = "-50";
    p.edTMASmax = "120";
    p.edAKB = "36";
    p.cbCanWorkWithEngine = true;
    // min 5, max 12, pump 4, coefficient 4 (the defaults)
    const QByteArray b = EquipmentPacket(p);
    EXPECT_EQ(b.toHex(), QByteArray("013d5d373b35"
                                    "00604a0c1f39451c"
                                    "41"));

    // Empty thresholds leave their bytes zero; the codes' ends and rounding.
    p.edTMASmin.clear();
    p.edTMASmax.clear();
    const QByteArray e = EquipmentPacket(p);
    EXPECT_EQ(uchar(e[6]) & 0x1F, 0);
    EXPECT_EQ(uchar(e[7]) & 0x1F, 0);
    EXPECT_EQ(uchar(e[8]) & 0x1F, 0);
    EXPECT_EQ(uchar(e[9]) & 0x1F, 0);
    EXPECT_EQ(OilCode(-50), 0);
    EXPECT_EQ(OilCode(120), 332);
    EXPECT_EQ(OilCode(500), 1023);
    EXPECT_EQ(BatteryCode(36), 1017);
    // Halves to the even neighbour: 0.5 -> 0, 1.5 -> 2, 2.5 -> 2.
    EXPECT_EQ(BatteryCode(36.25 / 2048), 0);
    EXPECT_EQ(BatteryCode(3 * 36.25 / 2048), 2);
    EXPECT_EQ(BatteryCode(5 * 36.25 / 2048), 2);
    // Year's last two digits + 27; a year of fewer than four characters stops the command.
    p.seYear = 2000;
    EXPECT_EQ(uchar(EquipmentPacket(p)[5]), 27);
    p.seYear = 26;
    try {
        EquipmentPacket(p);
        ADD_FAILURE() << "a two-digit year was accepted";
    } catch (const EProgrammingError &err) {
        EXPECT_TRUE(err.text().contains("26")) << err.text().toStdString();
    }
    p.seYear = 2026;
    p.edAKB = "много";
    EXPECT_THROW(EquipmentPacket(p), EProgrammingError);
    p.edAKB = "22,7";
    p.cbTimeSr = 13; // beyond the 13 items
    EXPECT_THROW(EquipmentPacket(p), EProgrammingError);
}

TEST(ProgrammingPacket, IndexBitsGoToTheirSpareBitsAndTheFlagsToTheirBytes) {
    TProgrammingParams base = defaults();
    base.edTMASmin.clear();
    base.edTMASmax.clear();
    base.edAKB = "0";
    base.cbTimeSr = base.cbEngTempMin = base.cbEngTempMax = base.cbRecalcCoof = 0;
    base.cbProgCanWorkWithEngine = base.cbProgramParam = base.cbProgramTime = false;
    const QByteArray zero = EquipmentPacket(base);
    struct Case {
        const char *what;
        std::function<void(TProgrammingParams &)> set;
        int byte;
        int mask;
    };
    const Case cases[] = {
        {"max bit 0", [](auto &p) { p.cbEngTempMax = 1; }, 10, 0x40},
        {"max bit 1", [](auto &p) { p.cbEngTempMax = 2; }, 9, 0x40},
        {"max bit 2", [](auto &p) { p.cbEngTempMax = 4; }, 8, 0x40},
        {"max bit 3", [](auto &p) { p.cbEngTempMax = 8; }, 7, 0x40},
        {"max bit 4", [](auto &p) { p.cbEngTempMax = 16; }, 6, 0x40},
        {"pump bit 0", [](auto &p) { p.cbTimeSr = 1; }, 9, 0x20},
        {"pump bit 1", [](auto &p) { p.cbTimeSr = 2; }, 8, 0x20},
        {"pump bit 2", [](auto &p) { p.cbTimeSr = 4; }, 7, 0x20},
        {"pump bit 3", [](auto &p) { p.cbTimeSr = 8; }, 6, 0x20},
        {"coefficient bit 3", [](auto &p) { p.cbRecalcCoof = 8; }, 10, 0x20},
        {"coefficient bit 2", [](auto &p) { p.cbRecalcCoof = 4; }, 11, 0x20},
        {"coefficient bit 1", [](auto &p) { p.cbRecalcCoof = 2; }, 12, 0x20},
        {"coefficient bit 0", [](auto &p) { p.cbRecalcCoof = 1; }, 11, 0x40},
        {"min temperature", [](auto &p) { p.cbEngTempMin = 20; }, 12, 20},
        {"can work with engine", [](auto &p) { p.cbCanWorkWithEngine = true; }, 12, 0x40},
        {"second heater", [](auto &p) { p.cbUseHeater2 = true; }, 12, 0x80},
        {"hidden option", [](auto &p) { p.cbProgCanWorkWithEngine = true; }, 13, 0x10},
        {"program parameters", [](auto &p) { p.cbProgramParam = true; }, 13, 0x08},
        {"program time", [](auto &p) { p.cbProgramTime = true; }, 13, 0x04},
        {"battery low half", [](auto &p) { p.edAKB = QString::number(36.25 / 1024 * 3); }, 11, 3},
        {"battery high half", [](auto &p) { p.edAKB = QString::number(36.25 / 1024 * 64); }, 10, 2},
    };
    for (const Case &c : cases) {
        TProgrammingParams p = base;
        c.set(p);
        const QByteArray b = EquipmentPacket(p);
        for (int i = 0; i < 14; ++i)
            EXPECT_EQ(uchar(b[i]) ^ uchar(zero[i]), i == c.byte ? c.mask : 0)
                << c.what << ", byte " << i;
        EXPECT_EQ(uchar(b[14]), PacketCheckByte(b)) << c.what;
    }
    // The check byte: 1 XOR bytes 1..13, low five bits, 0 becomes 1, plus 0x40.
    QByteArray k(15, '\0');
    k[1] = 0x21;
    k[2] = 0x20; // 1 ^ 0x21 ^ 0x20 = 0 -> 1
    EXPECT_EQ(PacketCheckByte(k), 0x41);
    k[2] = 0x03; // 1 ^ 0x21 ^ 0x03 = 0x23 -> 0x03
    EXPECT_EQ(PacketCheckByte(k), 0x43);
}

TEST(ProgrammingForm3, EachBlockFillsItsFields) {
    const TProgrammingParams current = defaults();

    // Full-length fields need no ":" after them; shorter ones end at theirs.
    TForm3Report r =
        DecodeForm3(form3('1', "192.168.001.01007788user:pw:AT+CGDCONT:0:00277QX4K2M9"), current);
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.block, '1');
    EXPECT_EQ(r.params.IPEdit, "192.168.001.010");
    EXPECT_EQ(r.params.PortEdit, "07788");
    EXPECT_EQ(r.params.sim[0].Login, "user");
    EXPECT_EQ(r.params.sim[0].Pass, "pw");
    EXPECT_EQ(r.params.sim[0].InitStr, "AT+CGDCONT");
    EXPECT_EQ(r.params.coordFilter, "0");
    EXPECT_EQ(r.params.IDEdit, "0027");
    EXPECT_EQ(r.params.SMSPassEdit, "7QX4K2M9");
    // A field at its maximum length ends there even without ":".
    r = DecodeForm3(form3('1', "000.000.000.00000000abcdefghijkl:"), current);
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.params.sim[0].Login, "abcdefghij");
    EXPECT_EQ(r.params.sim[0].Pass, "kl");

    QByteArray b2(43, '\0');
    b2.replace(0, 25, QByteArray::fromHex("91234567899000000001000000000099999999991234512345"));
    b2[33] = 0x10;
    b2[37] = 0x11; // only bit 0x10 counts
    b2[39] = 0x01;
    b2[41] = 0x10;
    r = DecodeForm3(form3('2', b2, 0), current); // the length bytes do not count for block 2
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.params.PhoneNum, (std::array<QString, 5>{"9123456789", "9000000001", "0000000000",
                                                         "9999999999", "1234512345"}));
    EXPECT_EQ(r.params.trs, (std::array<bool, 5>{true, false, true, false, true}));

    r = DecodeForm3(form3('3', "l2:p2:i2:l3:p3:i3:0:dns.example>"), current);
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.params.sim[1], (TSimSettings{"i2", "l2", "p2", "", true}));
    EXPECT_EQ(r.params.sim[2], (TSimSettings{"i3", "l3", "p3", "", true}));
    EXPECT_EQ(r.params.edDNS, "dns.example");

    // Block 4: an "E" field is removed through its ":" and the next fields stay in place.
    r = DecodeForm3(form3('4', "E:*101#E:\x8F:+7:8800:\xC4"), current);
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_FALSE(r.params.sim[0].UseBalance);
    EXPECT_EQ(r.params.sim[0].Ussd, "");
    EXPECT_TRUE(r.params.sim[1].UseBalance);
    EXPECT_EQ(r.params.sim[1].Ussd, "*101#");
    EXPECT_FALSE(r.params.sim[2].UseBalance);
    EXPECT_TRUE(r.params.cbUseDNS && r.params.cbRewriteIP && r.params.UseCustomPrefix);
    EXPECT_FALSE(r.params.gpsPresent);
    EXPECT_EQ(r.params.PrefixComboBox, "+7");
    EXPECT_EQ(r.params.CustomPrefixEdit, "8800");
    EXPECT_TRUE(r.params.cbUseIP);
    EXPECT_EQ(r.params.PapChapComboBox, 0);
    EXPECT_EQ(r.params.PrefServComboBox, 0);
    EXPECT_EQ(r.params.BearerComboBox, 0);
    // Flag byte B: authentication 2, service bit clear -> index 1, bearer 1; a value of 3 in
    // the authentication or bearer bits keeps what was there.
    struct BCase {
        int b, auth, pref, bearer;
    };
    for (const BCase &c :
         {BCase{0x91, 2, 1, 1}, BCase{0x9B, 2, 1, 1}, BCase{0x84, 0, 0, 0}, BCase{0x8A, 1, 1, 2}}) {
        TProgrammingParams before = current;
        before.PapChapComboBox = 2;
        before.BearerComboBox = 1;
        r = DecodeForm3(form3('4', QByteArray(":::\x80:9::") + char(c.b)), before);
        ASSERT_EQ(r.outcome, TReportOutcome::Ok) << c.b;
        EXPECT_EQ(r.params.PapChapComboBox, c.auth) << c.b;
        EXPECT_EQ(r.params.PrefServComboBox, c.pref) << c.b;
        EXPECT_EQ(r.params.BearerComboBox, c.bearer) << c.b;
        EXPECT_EQ(r.params.PrefixComboBox, "8") << c.b;
        EXPECT_TRUE(r.params.sim[2].UseBalance && r.params.gpsPresent) << c.b;
    }
}

TEST(ProgrammingForm3, ShortCutAndOverlongPayloads) {
    const TProgrammingParams current = defaults();
    struct Case {
        const char *what;
        QByteArray payload;
        TReportOutcome outcome;
    };
    QByteArray b2 = form3('2', QByteArray(43, '\0'));
    ASSERT_EQ(b2.size(), 92);
    const QByteArray ten = form3('1', "0123456789");
    ASSERT_EQ(ten.size(), 26);
    const Case cases[] = {
        {"marker only", bytes({7}), TReportOutcome::BadLength},
        {"no length bytes", bytes({7, '1', 0x30}), TReportOutcome::BadLength},
        {"block 2 of 92 bytes", b2, TReportOutcome::Ok},
        {"block 2 of 91 bytes", b2.left(91), TReportOutcome::BadLength},
        {"ten data bytes in 26", ten, TReportOutcome::Ok},
        {"ten data bytes in 25", ten.left(25), TReportOutcome::BadLength},
        {"over-long", ten + QByteArray(60, 'x'), TReportOutcome::Ok},
        {"empty block 1", form3('1', ""), TReportOutcome::Ok},
        {"empty block 4: no flag bytes", form3('4', ""), TReportOutcome::BadContent},
        {"block 4 without flag byte B", form3('4', ":::\x80:8:"), TReportOutcome::BadContent},
        {"unknown block", form3('5', "abc"), TReportOutcome::BadContent},
    };
    for (const Case &c : cases) {
        const TForm3Report r = DecodeForm3(c.payload, current);
        EXPECT_EQ(r.outcome, c.outcome) << c.what;
        if (r.outcome != TReportOutcome::Ok) {
            EXPECT_EQ(r.params, current) << c.what << ": a refused report changes nothing";
        }
        if (r.outcome == TReportOutcome::BadContent) {
            EXPECT_FALSE(r.error.isEmpty()) << c.what;
        }
    }
    // Over-long: only the L data bytes count.
    EXPECT_EQ(DecodeForm3(ten + QByteArray(60, 'x'), current).params.IPEdit, "0123456789");
}

TEST(ProgrammingForm1, EveryValueFromItsBits) {
    const TProgrammingParams current = defaults();
    // c(1,2) = 332 upper, c(3,4) = 0 lower, c(5,6) = 1017 battery; no index bits.
    const QByteArray base = bytes({0xDF, 10, 12, 0, 0, 31, 25, 0, 0});
    TForm1Report r = DecodeForm1(base, current);
    ASSERT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.params.edTMASmax, "119,89");
    EXPECT_EQ(r.params.edTMAS, "119,89");
    EXPECT_EQ(r.params.tbTMAS, 1698);
    EXPECT_EQ(r.params.edTMASmin, "-50,00");
    EXPECT_EQ(r.params.edAKB, "36,00");
    EXPECT_EQ(r.params.tbAKB, 360);
    EXPECT_EQ(r.params.cbTimeSr, 0);
    EXPECT_EQ(r.params.cbEngTempMin, 0);
    EXPECT_EQ(r.params.cbEngTempMax, 0);
    EXPECT_EQ(r.params.cbRecalcCoof, 0);
    EXPECT_FALSE(r.params.cbCanWorkWithEngine || r.params.cbUseHeater2);
    // The lower threshold from c(3,4) and the battery from c(5,6), the high half counting 32.
    r = DecodeForm1(bytes({0xDF, 0, 0, 4, 19, 20, 1, 0, 0}), current); // 147, 641
    EXPECT_EQ(r.params.edTMASmin, "25,22");
    EXPECT_EQ(r.params.edAKB, "22,69");
    EXPECT_EQ(r.params.tbAKB, 226);

    struct Case {
        const char *what;
        int byte, mask;
        int TProgrammingParams::*field;
        int value;
    };
    const Case cases[] = {
        {"pump bit 3", 1, 0x20, &TProgrammingParams::cbTimeSr, 8},
        {"pump bit 2", 2, 0x20, &TProgrammingParams::cbTimeSr, 4},
        {"pump bit 1", 3, 0x20, &TProgrammingParams::cbTimeSr, 2},
        {"pump bit 0", 4, 0x20, &TProgrammingParams::cbTimeSr, 1},
        {"min bit 4", 1, 0x40, &TProgrammingParams::cbEngTempMin, 16},
        {"min bit 3", 2, 0x40, &TProgrammingParams::cbEngTempMin, 8},
        {"min bit 2", 3, 0x40, &TProgrammingParams::cbEngTempMin, 4},
        {"min bit 1", 4, 0x40, &TProgrammingParams::cbEngTempMin, 2},
        {"min bit 0", 5, 0x40, &TProgrammingParams::cbEngTempMin, 1},
        {"coefficient bit 3", 5, 0x20, &TProgrammingParams::cbRecalcCoof, 8},
        {"coefficient bit 2", 6, 0x20, &TProgrammingParams::cbRecalcCoof, 4},
        {"coefficient bit 1", 7, 0x20, &TProgrammingParams::cbRecalcCoof, 2},
        {"coefficient bit 0", 8, 0x40, &TProgrammingParams::cbRecalcCoof, 1},
        {"max temperature", 7, 20, &TProgrammingParams::cbEngTempMax, 20},
    };
    for (const Case &c : cases) {
        QByteArray b = base;
        b[c.byte] = char(uchar(b[c.byte]) | c.mask);
        r = DecodeForm1(b, current);
        ASSERT_EQ(r.outcome, TReportOutcome::Ok) << c.what;
        EXPECT_EQ(r.params.*c.field, c.value) << c.what;
        // The threshold and battery values do not see the flag bits.
        EXPECT_EQ(r.params.edAKB, "36,00") << c.what;
        EXPECT_EQ(r.params.edTMASmax, "119,89") << c.what;
    }
    QByteArray b = base;
    b[7] = char(0x40);
    EXPECT_TRUE(DecodeForm1(b, current).params.cbCanWorkWithEngine);
    b[7] = char(0x80);
    EXPECT_TRUE(DecodeForm1(b, current).params.cbUseHeater2);
}

TEST(ProgrammingForm1, ShortReportsAndIndicesOffTheListsAreRefused) {
    const TProgrammingParams current = defaults();
    const QByteArray full = bytes({0xDF, 10, 12, 0, 0, 31, 25, 0, 0});
    TForm1Report r = DecodeForm1(full.left(8), current);
    EXPECT_EQ(r.outcome, TReportOutcome::BadContent);
    EXPECT_EQ(r.error, "в пакете 8 байт, нужно не менее 9");
    EXPECT_EQ(r.params, current);
    EXPECT_EQ(DecodeForm1(bytes({0xDF}), current).outcome, TReportOutcome::BadContent);
    // Bytes after the ninth are not read.
    r = DecodeForm1(full + QByteArray(20, char(0xFF)), current);
    EXPECT_EQ(r.outcome, TReportOutcome::Ok);
    EXPECT_EQ(r.params, DecodeForm1(full, current).params);
    // A maximum-temperature index of 25 names no item of the 21.
    QByteArray b = full;
    b[7] = 25;
    r = DecodeForm1(b, current);
    EXPECT_EQ(r.outcome, TReportOutcome::BadContent);
    EXPECT_EQ(r.params, current);
}

TEST(ProgrammingFields, TrackBarTextsAndTheOilRange) {
    EXPECT_EQ(AkbText(227), "22,7");
    EXPECT_EQ(AkbText(0), "0");
    EXPECT_EQ(AkbText(360), "36");
    EXPECT_EQ(TmasText(0), "-50");
    EXPECT_EQ(TmasText(800), "30");
    EXPECT_EQ(TmasText(1700), "120");
    EXPECT_EQ(TmasText(753), "25,3");

    TProgrammingParams p = defaults();
    EXPECT_EQ(p.edAKB, "22,7");
    EXPECT_EQ(p.tbAKB, 227);
    EXPECT_EQ(p.edTMAS, "30");
    // "Сброс", then "Запомнить" twice: lower, then upper; an upper below the lower is refused.
    ResetTmas(p);
    EXPECT_EQ(p.edTMAS, "-50");
    EXPECT_TRUE(p.edTMASmin.isEmpty() && p.edTMASmax.isEmpty());
    EXPECT_EQ(p.tbTMAS, 0);
    SetTmasPosition(p, 750);
    EXPECT_TRUE(RememberTmas(p));
    EXPECT_EQ(p.edTMASmin, "25");
    EXPECT_TRUE(p.edTMASmax.isEmpty());
    SetTmasPosition(p, 700);
    const TProgrammingParams before = p;
    EXPECT_FALSE(RememberTmas(p));
    EXPECT_EQ(p, before);
    SetTmasPosition(p, 900);
    EXPECT_TRUE(RememberTmas(p));
    EXPECT_EQ(p.edTMASmin, "25");
    EXPECT_EQ(p.edTMASmax, "40");
}

TEST(ProgrammingFile, RoundTripKeysAndTheRulesForMissingOnes) {
    QTemporaryDir dir;
    TProgrammingParams p = defaults();
    p.IPEdit = "010.001.002.003";
    p.sim[0] = {"AT", "логин", "pw", "*100#", false};
    p.sim[2].Pass = "secret";
    p.PhoneNum[4] = "9161234567";
    p.trs[4] = true;
    p.gpsPresent = false;
    p.PrefixComboBox = "+7";
    SetAkbPosition(p, 300);
    SetTmasPosition(p, 1200);
    p.edTMASmin = "10";
    p.cbTimeSr = 7;
    p.cbEngTempMax = 20;
    p.seYear = 2031;
    p.cbTakeSysTime = false;
    p.cbProgramTime = false;
    // Not stored: the coefficient, the second heater, the hidden connection settings.
    p.cbRecalcCoof = 9;
    p.cbUseHeater2 = true;
    p.BearerComboBox = 3;
    const QString file = dir.filePath("a.ppc");
    SavePpc(p, file);

    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    EXPECT_TRUE(raw.startsWith("[main]\r\nIPEdit=010.001.002.003\r\nPortEdit=00000\r\n"));
    EXPECT_TRUE(raw.contains("Login1Edit=" + cp1251::encode("логин") + "\r\n"));
    EXPECT_TRUE(raw.contains("GroupBox13=1\r\n"));
    EXPECT_TRUE(raw.contains("PrefixComboBox=+7\r\n"));
    EXPECT_FALSE(raw.contains("cbRecalcCoof") || raw.contains("Heater2") || raw.contains("Bearer"));
    // Every key in its order.
    QStringList written;
    for (const QByteArray &line : raw.split('\n'))
        if (line.contains('='))
            written << QString::fromLatin1(line.left(line.indexOf('=')));
    EXPECT_EQ(written, PpcKeys());
    ASSERT_EQ(PpcKeys().size(), 56);
    EXPECT_EQ(PpcKeys().first(), "IPEdit");
    EXPECT_EQ(PpcKeys().last(), "cbTakeSysTime");

    TProgrammingParams base = defaults();
    TProgrammingParams back = LoadPpc(file, base);
    TProgrammingParams expected = p;
    expected.cbRecalcCoof = base.cbRecalcCoof;
    expected.cbUseHeater2 = base.cbUseHeater2;
    expected.BearerComboBox = base.BearerComboBox;
    EXPECT_EQ(back, expected);

    // Missing keys: checks "1", the receiver present, numbers 0, texts empty; the hidden option
    // checked whatever the file says.
    const QString sparse = dir.filePath("b.ppc");
    QFile s(sparse);
    ASSERT_TRUE(s.open(QIODevice::WriteOnly));
    s.write("[MAIN]\r\nipedit=1.2.3.4\r\ncbUseIP=0\r\ncbProgCanWorkWithEngine=0\r\n");
    s.close();
    back = LoadPpc(sparse, base);
    EXPECT_EQ(back.IPEdit, "1.2.3.4");
    EXPECT_FALSE(back.cbUseIP);
    EXPECT_TRUE(back.cbUseDNS && back.sim[1].UseBalance && back.trs[0] &&
                back.cbUseHeater2 == false);
    EXPECT_TRUE(back.gpsPresent);
    EXPECT_EQ(back.tbAKB, 0);
    EXPECT_EQ(back.seYear, 0);
    EXPECT_EQ(back.PortEdit, "");
    EXPECT_EQ(back.SMSPassEdit, "");
    EXPECT_TRUE(back.cbProgCanWorkWithEngine);

    EXPECT_THROW(LoadPpc(dir.filePath("none.ppc"), base), EProgrammingError);
    EXPECT_THROW(SavePpc(p, dir.filePath("no/such/folder/c.ppc")), EProgrammingError);
}
