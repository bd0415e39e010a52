// The login exchange: the server's two replies as the client reads them.
#include "FuzzCommon.h"

#include "link/LoginExchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const TBytes in(reinterpret_cast<const char *>(data), qsizetype(size));
    // The replies as the client reads them: each up to and including its CR LF.
    const qsizetype end = in.indexOf("\r\n");
    const TBytes first = end < 0 ? in : in.left(end + 2);
    const TBytes second = end < 0 ? TBytes() : in.mid(end + 2);

    // The challenge the seeds were made with (fuzz/make_seeds.cpp).
    static const TBytes challenge = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    const TLoginExchange exchange(QStringLiteral("demo"), QStringLiteral("demo"), challenge);
    TBytes answer, key;
    if (exchange.answer(first, answer) && !answer.startsWith("CE|grb|demo|"))
        fuzz::broken("an answer of another form");
    if (exchange.sessionKey(second, key) && key.size() > 255)
        fuzz::broken("a session key the cipher cannot take");
    return 0;
}
