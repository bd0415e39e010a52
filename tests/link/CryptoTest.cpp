#include "link/cryptolib.h"

#include <gtest/gtest.h>

namespace {
TBytes hex(const char *h) {
    return QByteArray::fromHex(h);
}

TBytes rc5(const TBytes &data, const TBytes &key, int direction, int rounds = 16, int wordSize = 32,
           uint8_t *pad = nullptr) {
    TBytes out;
    uint8_t p = 0xEE;
    RC5Bytes(data, key, wordSize, out, p, direction, rounds);
    if (pad)
        *pad = p;
    return out;
}
} // namespace

TEST(MD5Bytes, Rfc1321SuiteAsRawBytes) {
    const struct {
        QByteArray input;
        const char *digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {QByteArray("1234567890").repeated(8), "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &c : cases) {
        const TBytes d = MD5Bytes(c.input);
        ASSERT_EQ(d.size(), 16);
        EXPECT_EQ(d, hex(c.digest)) << c.input.constData();
    }
}

TEST(MD5Bytes, PaddingBoundaries) {
    // Lengths around the 56-byte padding boundary and the 64-byte block (digests from md5sum).
    const struct {
        int n;
        const char *digest;
    } cases[] = {{55, "ef1772b6dff9a122358552954ad0df65"},
                 {56, "3b0c8ac703f828b04c6c197006d17218"},
                 {57, "652b906d60af96844ebd21b674f35e93"},
                 {63, "b06521f39153d618550606be297466d5"},
                 {64, "014842d480b571495a4a0363793f7367"}};
    for (const auto &c : cases)
        EXPECT_EQ(MD5Bytes(QByteArray(c.n, 'a')), hex(c.digest)) << c.n;
}

TEST(RC5Bytes, PublishedVectorsWithTheRoundCountAsParameter) {
    const struct {
        int w, r;
        const char *key, *pt, *ct;
    } cases[] = {
        // Rivest's RC5-32/12/16 examples, each ciphertext the next plaintext.
        {32, 12, "00000000000000000000000000000000", "0000000000000000", "21a5dbee154b8f6d"},
        {32, 12, "915f4619be41b2516355a50110a9ce91", "21a5dbee154b8f6d", "f7c013ac5b2b8952"},
        {32, 12, "783348e75aeb0f2fd7b169bb8dc16787", "f7c013ac5b2b8952", "2f42b3b70369fc92"},
        {32, 12, "dc49db1375a5584f6485b413b5f12baf", "2f42b3b70369fc92", "65c178b284d197cc"},
        {32, 12, "5269f149d41ba0152497574d7f153125", "65c178b284d197cc", "eb44e415da319824"},
        // The RC5/RC6 test-vector draft: other word sizes and rounds.
        {32, 12, "000102030405060708090a0b0c0d0e0f", "0001020304050607", "c8d3b3c486700cfa"},
        {32, 20, "000102030405060708090a0b0c0d0e0f", "0001020304050607", "2a0edc0e9431ff73"},
        {8, 12, "00010203", "0001", "212a"},
        {16, 16, "0001020304050607", "00010203", "23a8d72e"},
        // The configuration of the link, RC5-32/16/16.
        {32, 16, "000102030405060708090a0b0c0d0e0f", "0001020304050607", "3e2e95357027d896"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "RC5-" << c.w << "/" << c.r << " key " << c.key);
        uint8_t pad = 0xEE;
        EXPECT_EQ(rc5(hex(c.pt), hex(c.key), 1, c.r, c.w, &pad), hex(c.ct));
        EXPECT_EQ(pad, 0);
        EXPECT_EQ(rc5(hex(c.ct), hex(c.key), -1, c.r, c.w), hex(c.pt));
    }
}

TEST(RC5Bytes, PaddingToWholeBlocks) {
    const TBytes key = "session-key";
    const struct {
        int in, pad, out;
    } cases[] = {{32, 0, 32}, {1, 7, 8}, {5, 3, 8}, {12, 4, 16}, {0, 0, 0}, {8, 0, 8}, {9, 7, 16}};
    for (const auto &c : cases) {
        uint8_t pad = 0xEE;
        const TBytes out = rc5(QByteArray(c.in, 'x'), key, 1, 16, 32, &pad);
        EXPECT_EQ(pad, c.pad) << c.in;
        EXPECT_EQ(out.size(), c.out) << c.in;
    }
    // Blocks are independent (ECB): equal plaintext blocks give equal ciphertext blocks.
    const TBytes two = rc5(QByteArray(16, 'q'), key, 1);
    EXPECT_EQ(two.left(8), two.mid(8));
}

TEST(RC5Bytes, RoundTripAndZeroCompletion) {
    const TBytes key = hex("0102");
    const TBytes plain = "8 bytes!";
    EXPECT_EQ(rc5(rc5(plain, key, 1), key, -1), plain);

    // 13 bytes are completed with zero bytes to 16 before decryption.
    const TBytes thirteen = "0123456789abc";
    TBytes sixteen = thirteen + QByteArray(3, '\0');
    uint8_t pad = 0;
    EXPECT_EQ(rc5(thirteen, key, -1, 16, 32, &pad), rc5(sixteen, key, -1));
    EXPECT_EQ(pad, 3);

    // The padding the receiver strips is what the sender reported.
    const TBytes odd = "abcde";
    const TBytes back = rc5(rc5(odd, key, 1, 16, 32, &pad), key, -1);
    EXPECT_EQ(back.left(back.size() - pad), odd);
}

TEST(RC5Bytes, ErrorTexts) {
    TBytes out;
    uint8_t pad = 0;
    const struct {
        TBytes key;
        int w;
        const char *text;
    } cases[] = {
        {QByteArray(256, 'k'), 32, "The length of a key should not exceed 255 bytes"},
        {"k", 64, "The size of word RC5 has the incorrect size: 64"},
        {"k", 24, "The size of word RC5 has the incorrect size: 24"},
        {"", 32, "The length of a key should not be zero"},
    };
    for (const auto &c : cases) {
        try {
            RC5Bytes("data", c.key, c.w, out, pad, 1, 16);
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const ECryptoError &e) {
            EXPECT_STREQ(e.what(), c.text);
        }
    }
    EXPECT_NO_THROW(RC5Bytes("data", QByteArray(255, 'k'), 32, out, pad, 1, 16));
}

TEST(TextHelpers, ReplaceAllTextAndRandomText) {
    EXPECT_EQ(ReplaceAllText("a|b||c", "|", "!(@_@)!"), QString("a!(@_@)!b!(@_@)!!(@_@)!c"));
    // Inserted text is not scanned again.
    EXPECT_EQ(ReplaceAllText("aa", "a", "aa"), QString("aaaa"));
    EXPECT_EQ(ReplaceAllText("abc", "", "x"), QString("abc"));

    bool low = false, high = false;
    QString previous;
    for (int i = 0; i < 200; ++i) {
        const QString t = RandomText(32, 30, 255);
        ASSERT_EQ(t.size(), 32);
        for (QChar c : t) {
            ASSERT_GE(c.unicode(), 30);
            ASSERT_LE(c.unicode(), 254);
            low |= c.unicode() < 40;
            high |= c.unicode() > 244;
        }
        EXPECT_NE(t, previous); // no reseeding to the same sequence
        previous = t;
    }
    EXPECT_TRUE(low && high);
}
