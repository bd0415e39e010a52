#pragma once

#include "app/Cp1251.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString &text, std::ostream *os) {
    *os << '"' << text.toStdString() << '"';
}

// Builds map description files in the layout mapping programs write: 9 header lines, 30
// calibration point lines, the projection setup, the optional-section headers, then the
// moving-map block with its corner points, scale and image size.
struct TMapFileBuilder {
    QString title = QStringLiteral("Тестовая карта");
    QString image = QStringLiteral("test.jpg");
    QString datum = QStringLiteral("WGS 84");
    QString projection = QStringLiteral("Latitude/Longitude");
    QString setup = QStringLiteral("Projection Setup,,,,,,,,,,");
    QStringList points;   // calibration lines, padded to 30 with empty ones
    QStringList optional; // map feature and comment entries after the section header
    bool trackFileHeader = true;
    QStringList trackFiles; // "TF" lines after the track file header
    QStringList corners = defaultCorners();
    QString scale = QStringLiteral("MM1B,25.000000");
    QStringList tail = {QStringLiteral("MOP,Map Open Position,0,0"),
                        QStringLiteral("IWH,Map Image Width/Height,1200,900")};
    QString lineEnd = QStringLiteral("\r\n");

    static QString emptyPoint(int n) {
        return QStringLiteral("Point%1,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, "
                              "grid,   ,           ,           ,N")
            .arg(n, 2, 10, QLatin1Char('0'));
    }
    static QString latLonPoint(int n, int x, int y, const QString &latDeg, const QString &latMin,
                               const QString &lonDeg, const QString &lonMin) {
        return QStringLiteral("Point%1,xy, %2, %3,in, deg, %4, %5,N, %6, %7,E, grid,   ,           "
                              ",           ,N")
            .arg(n, 2, 10, QLatin1Char('0'))
            .arg(x)
            .arg(y)
            .arg(latDeg, latMin, lonDeg, lonMin);
    }
    static QString gridPoint(int n, int x, int y, const QString &zone, const QString &easting,
                             const QString &northing, const QString &hemisphere) {
        return QStringLiteral("Point%1,xy, %2, %3,in, deg,    ,        ,N,    ,        ,E, grid, "
                              "%4, %5, %6,%7")
            .arg(n, 2, 10, QLatin1Char('0'))
            .arg(x)
            .arg(y)
            .arg(zone, easting, northing, hemisphere);
    }
    static QStringList defaultCorners() {
        return {QStringLiteral("MMPNUM,4"),
                QStringLiteral("MMPXY,1,0,0"),
                QStringLiteral("MMPXY,2,1200,0"),
                QStringLiteral("MMPXY,3,1200,900"),
                QStringLiteral("MMPXY,4,0,900"),
                QStringLiteral("MMPLL,1,  37.000000,  56.000000"),
                QStringLiteral("MMPLL,2,  38.000000,  56.000000"),
                QStringLiteral("MMPLL,3,  38.000000,  55.500000"),
                QStringLiteral("MMPLL,4,  37.000000,  55.500000")};
    }

    QStringList lines() const {
        QStringList l;
        l << QStringLiteral("OziExplorer Map Data File Version 2.2") << title << image
          << QStringLiteral("1 ,Map Code,")
          << datum + QStringLiteral(",WGS 84,   0.0000,   0.0000,WGS 84")
          << QStringLiteral("Reserved 1") << QStringLiteral("Reserved 2")
          << QStringLiteral("Magnetic Variation,,,E")
          << QStringLiteral("Map Projection,") + projection +
                 QStringLiteral(",PolyCal,No,AutoCalOnly,No,BSBUseWPX,No");
        for (int i = 0; i < 30; ++i)
            l << (i < points.size() ? points.at(i) : emptyPoint(i + 1));
        l << setup;
        l << QStringLiteral("Map Feature = MF ; Map Comment = MC     These follow if they exist");
        l << optional;
        if (trackFileHeader)
            l << QStringLiteral("Track File = TF      These follow if they exist") << trackFiles;
        l << QStringLiteral("Moving Map Parameters = MM?    These follow if they exist")
          << QStringLiteral("MM0,Yes");
        l << corners << scale << tail;
        return l;
    }

    QString write(const QDir &dir, const QString &name = QStringLiteral("test.map")) const {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        f.write(cp1251::encode(lines().join(lineEnd) + lineEnd));
        return path;
    }
};
