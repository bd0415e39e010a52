#pragma once

// What the kill test's writer writes, generation after generation, and how a file left by a
// killed writer is recognised as one generation whole.

#include "app/IniFile.h"
#include "tracks/FileManager.h"

#include <QByteArray>
#include <QString>

namespace killtest {

// A settings file of some 50 KB: its generation, then thousands of keys whose values follow
// from it.
inline void fillSettings(TIniFile &ini, int generation) {
    ini.writeInteger(QStringLiteral("Generation"), QStringLiteral("G"), generation);
    for (int i = 0; i < 1000; ++i)
        ini.writeString(QStringLiteral("Data"), QStringLiteral("K%1").arg(i),
                        QStringLiteral("%1-%2-значение").arg(generation).arg(i * 7919 % 10007));
}

inline QByteArray settingsBytes(int generation) {
    TIniFile ini;
    fillSettings(ini, generation);
    return ini.toBytes();
}

// Record i of the track written in a generation; the count varies with it, so a file of another
// generation's length shows.
inline TCoordData trackRecord(int generation, int i) {
    return {3345 + i * 0.001L, 2257 + generation * 0.0001L, 46000 + i / 86400.0, generation};
}
inline int trackCount(int generation) {
    return 2000 + generation % 7 * 50;
}
inline QByteArray recordBytes(const TCoordData &r) {
    QByteArray b(TCoordData::RecordSize, '\0');
    r.toBytes(reinterpret_cast<unsigned char *>(b.data()));
    return b;
}
inline QByteArray trackBytes(int generation) {
    QByteArray out;
    for (int i = 0; i < trackCount(generation); ++i)
        out += recordBytes(trackRecord(generation, i));
    return out;
}

// The day file that only grows: record i is always the same, whatever the generation.
inline TCoordData growingRecord(int i) {
    return {3345 + i * 0.001L, 2257 - i * 0.001L, 46000 + i / 86400.0, i};
}
constexpr int GrowingStart = 500; // records written before the appends begin
constexpr int GrowingStep = 300;  // records each generation appends

} // namespace killtest
