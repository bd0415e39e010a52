#pragma once

#include <QByteArray>
#include <QString>

// The server link is a stream of 8-bit bytes; a text travels one byte per character (the low
// 8 bits of its code) and comes back one character per byte.
using TBytes = QByteArray;

// Index of the first occurrence of pattern in bytes; -1 when absent or when pattern is empty.
int FindBytes(const QString &pattern, const TBytes &bytes);
QString BytesToText(const TBytes &bytes);
TBytes TextToBytes(const QString &text);
bool SameTextBytes(const QString &text, const TBytes &bytes);
bool SameBytes(const TBytes &a, const TBytes &b);
TBytes ConcatBytes(const TBytes &a, const TBytes &b);
// The first occurrence of pattern replaced by replacement; bytes unchanged when absent.
TBytes ReplaceFirstBytes(const TBytes &bytes, const QString &pattern, const QString &replacement);
// Digits to a number without checking them; wraps to 32 bits like the device firmware does.
int DecimalBytesToInt(const TBytes &bytes);
// Smallest i >= 1 where a CR LF starts; 0 when there is none.
int FindLineEnd(const TBytes &bytes);
