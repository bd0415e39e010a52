#pragma once

#include "link/Bytes.h"

#include <QString>

#include <stdexcept>
#include <vector>

// The seven characters that stand for one "|" byte inside a ciphertext field.
inline const QString LineMarker = QStringLiteral("!(@_@)!");

// A received line that cannot be taken out of its envelope.
class ELineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Receive buffer of one connection: bytes in, complete CR LF lines out.
//
// After the login every line is an envelope: a padding digit 0..7, ciphertext in whole 8-byte
// blocks, at least one (the first "|" of it possibly written as the 7-byte line marker), and
// CR LF. The
// ciphertext itself is not escaped, so it may hold CR LF: with envelopes on, a CR LF that would
// leave the ciphertext short of whole blocks is part of it, and the line goes on to the next
// one. Lines that do not start with such a digit end at their first CR LF. Every byte is looked
// at once, however the bytes arrive.
class TLineCutter {
public:
    static constexpr int ReadChunk = 65536;
    static constexpr int MaxBuffered = 0x1FFFF; // 131071

    void setEnvelopes(bool on) { m_envelopes = on; }
    bool envelopes() const { return m_envelopes; }

    // Appends a chunk; false when the buffer now holds more than MaxBuffered bytes.
    bool append(const char *data, qsizetype size);
    bool append(const TBytes &chunk) { return append(chunk.constData(), chunk.size()); }
    // The complete lines, oldest first, CR LF included; the rest stays buffered.
    std::vector<TBytes> takeLines();
    const TBytes &pending() const { return m_buffer; }
    void clear();

private:
    // Whether the CR LF at `cr` ends the line that starts at `from`.
    bool endsLine(qsizetype from, qsizetype cr);

    TBytes m_buffer;
    bool m_envelopes = false;
    // Between calls the buffer starts with the first incomplete line.
    qsizetype m_scan = 1;       // where the search for its end goes on
    qsizetype m_markerScan = 1; // where the search for its first line marker goes on
    qsizetype m_marker = -1;    // that marker, -1 while none is known
};

// The outgoing envelope: the padding digit and the RC5-32/16 ciphertext under the session
// key; bytes as they are when there is no key. The ciphertext is not escaped.
TBytes EncryptEnvelope(const TBytes &plain, const TBytes &key);

// A whole line as it goes on the wire: the envelope when encrypting, then CR LF. A plain line
// already ending in CR LF gets none; a ciphertext always does, whatever its last bytes are.
TBytes FrameLine(const TBytes &arr, bool encrypt, const TBytes &key);

// The plaintext of one received line (CR LF included). Without a session key the line is
// only stripped of its CR LF. Throws ELineError when the padding digit cannot be right.
TBytes DecryptEnvelope(const TBytes &line, const TBytes &key);
