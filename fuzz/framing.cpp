// The receive side of the link: cutting the byte stream into lines (before and after the
// login, in arbitrary pieces) and opening each line's envelope.
#include "FuzzCommon.h"

#include "link/Framing.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    // First byte: envelopes on or off and the size of the pieces the bytes arrive in.
    const bool envelopes = data[0] & 1;
    const size_t piece = 1 + (data[0] >> 1);
    const TBytes stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    static const TBytes key = "0123456789abcdef";

    TLineCutter cutter;
    cutter.setEnvelopes(envelopes);
    TBytes seen;
    for (qsizetype at = 0; at < stream.size(); at += qsizetype(piece)) {
        if (!cutter.append(stream.mid(at, qsizetype(piece))))
            return 0; // over the buffer limit: the connection would be dropped
        for (const TBytes &line : cutter.takeLines()) {
            if (!line.endsWith("\r\n") || line.size() < 3)
                fuzz::broken("a line without its CR LF");
            seen += line;
            try {
                const TBytes plain = DecryptEnvelope(line, key);
                // A ciphertext short of whole blocks is decrypted as padded to them.
                if (plain.size() > line.size() + 7)
                    fuzz::broken("a plaintext longer than its line");
            } catch (const ELineError &) {
            }
        }
    }
    // The cutter neither loses nor invents bytes.
    if (seen + cutter.pending() != stream)
        fuzz::broken("the lines and the rest are not the bytes received");
    return 0;
}
