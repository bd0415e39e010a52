#include "link/ServerLines.h"

#include <gtest/gtest.h>

TEST(ServerLines, LineFormsTakenApart) {
    const struct {
        QByteArray line;
        TServerLineKind kind;
        std::vector<int> objects;
        int number;
        char event;
        QByteArray payload;
        bool malformed;
    } cases[] = {
        {"s|s|cobj|null", TServerLineKind::ObjectList, {}, 0, 0, "", false},
        {"s|s|cobj|100,200,7", TServerLineKind::ObjectList, {100, 200, 7}, 0, 0, "", false},
        {"c|200|cnev|d", TServerLineKind::ConnectionEvent, {}, 200, 'd', "", false},
        {"c|201|cnev|connected", TServerLineKind::ConnectionEvent, {}, 201, 'c', "", false},
        {"c|202|cnev|x", TServerLineKind::ConnectionEvent, {}, 202, 0, "", false},
        {"d|100|data|\x08xyz", TServerLineKind::ObjectData, {}, 100, 0, "\x08xyz", false},
        // The keywords are found anywhere, "cobj" first: a payload holding it is a list.
        {"d|100|data|x|cobj|5", TServerLineKind::ObjectList, {5}, 0, 0, "", false},
        {"garbage data", TServerLineKind::ObjectData, {}, 0, 0, "", true},
        {"d||data|abc", TServerLineKind::ObjectData, {}, 0, 0, "abc", true},
        {"hello", TServerLineKind::Other, {}, 0, 0, "", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const TServerLine l = ParseServerLine(c.line);
        EXPECT_EQ(l.kind, c.kind);
        EXPECT_EQ(l.objects, c.objects);
        EXPECT_EQ(l.number, c.number);
        EXPECT_EQ(l.event, c.event);
        EXPECT_EQ(l.payload, c.payload);
        EXPECT_EQ(l.malformed, c.malformed);
    }
}

TEST(ServerLines, PayloadKindsInTheirOrder) {
    const QByteArray ok = ProgrammingSignature(TProgrammingStatus::WhenObjProgOk);
    EXPECT_EQ(ProgrammingSignature(TProgrammingStatus::WhenObjReadyForFirstBlock),
              QByteArray("\x08\x20"
                         "CRAA?"));
    EXPECT_EQ(ProgrammingSignature(TProgrammingStatus::WhenObjInProgramming),
              QByteArray("\x08\x20"
                         "CR*\x07?"));
    const struct {
        QByteArray payload;
        TPayloadKind kind;
    } cases[] = {
        {"", TPayloadKind::None},
        {"\x07" + ok, TPayloadKind::ProgrammedParameters3}, // the first byte wins
        {"\xDF"
         "abc",
         TPayloadKind::ProgrammedParameters1},
        {"xx" + ok, TPayloadKind::Programming},
        {ok, TPayloadKind::Programming}, // a signature starts with 0x08 too
        {"\x08plain", TPayloadKind::Online},
        {"\x09plain", TPayloadKind::None},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.payload.toHex().toStdString());
        EXPECT_EQ(ClassifyPayload(c.payload).kind, c.kind);
    }
    EXPECT_EQ(ClassifyPayload("xx" + ok).status, TProgrammingStatus::WhenObjProgOk);
}

TEST(ServerLines, CommandLines) {
    EXPECT_EQ(ObjectCommandWord(2), "lock");
    EXPECT_EQ(ObjectCommandWord(9), "unlock4");
    EXPECT_EQ(ObjectCommandWord(10), "configure");
    EXPECT_EQ(ObjectCommandWord(1), "");
    EXPECT_EQ(ObjectCommandWord(11), "");
    EXPECT_EQ(ObjectCommandLine("диспетчер", "1000", 3), "c|диспетчер|o|1000|cmd|unlock");
    EXPECT_EQ(ConnectedObjectsRequest("op"), "c|op|s|s|cobj|all");
}
