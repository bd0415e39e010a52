#pragma once

#include "link/Bytes.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

// A line as a server sends it after the login: the padding digit, the ciphertext with its first
// "|" written as the line marker, CR LF.
inline TBytes ServerEnvelope(const TBytes &plain, const TBytes &key) {
    TBytes cipher;
    uint8_t pad = 0;
    RC5Bytes(plain, key, 32, cipher, pad, 1, 16);
    return TBytes(1, char('0' + pad)) + ReplaceFirstBytes(cipher, QStringLiteral("|"), LineMarker) +
           "\r\n";
}

// The plaintext of whole blocks whose ciphertext under key is exactly these bytes: a line with
// CR LF wherever a test wants it in its ciphertext.
inline TBytes PlainForCiphertext(const TBytes &cipher, const TBytes &key) {
    TBytes plain;
    uint8_t pad = 0;
    RC5Bytes(cipher, key, 32, plain, pad, -1, 16);
    return plain;
}
