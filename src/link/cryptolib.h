#pragma once

#include "link/Bytes.h"

#include <QString>

#include <cstdint>
#include <stdexcept>

// Errors of the digest and the cipher; the text is shown to the user as it is.
class ECryptoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The 16 raw bytes of the MD5 digest (RFC 1321).
TBytes MD5Bytes(const TBytes &data);

// RC5-w/r/b in ECB mode, words little-endian. The data is completed with zero bytes to whole
// blocks of two words; padCount receives the number of bytes added (the caller strips them after
// decryption). direction >= 1 encrypts, < 1 decrypts. wordSize is 8, 16 or 32 bits; the key
// is 1..255 bytes.
void RC5Bytes(const TBytes &data, const TBytes &key, int wordSize, TBytes &result,
              uint8_t &padCount, int direction, int rounds);

// Every occurrence of pattern replaced, left to right, inserted text not scanned again.
QString ReplaceAllText(const QString &text, const QString &pattern, const QString &replacement);
// count characters with codes lo .. hi-1, from the system's random source.
QString RandomText(int count, int lo, int hi);
