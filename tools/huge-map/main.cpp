// Writes a very large calibrated map sheet, for measuring how the program opens and shows
// such sheets: a JPEG of a made-up town plan (blocks, streets, a river, labelled quarters and
// a fine grid, on textured paper) with its map description (.map) file beside it. The sheet
// is drawn and compressed one strip at a time, so even a 20000 x 20000 sheet takes little
// memory; it is made when needed and never kept in the repository.
//
//   make-huge-map --out DIR [--name BASE] [--width PX] [--height PX] [--quality Q]
//
// The sheet spans 37°..38° E and 55°30'..56° N in the plain latitude/longitude projection.

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringEncoder>

#include <cstdint>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Cell = 1000; // the plan is built of cells of this many pixels
constexpr int Strip = 256; // rows drawn and compressed at a time

uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

uint32_t cellHash(int cx, int cy, int k) {
    return hash(uint32_t(cx) * 73856093U ^ uint32_t(cy) * 19349663U ^ uint32_t(k) * 83492791U);
}

// One cell of the plan, drawn with its top-left corner at the painter's origin.
void drawCell(QPainter &p, int cx, int cy) {
    // Blocks between streets, with houses in them.
    const int streets = 4 + int(cellHash(cx, cy, 1) % 3);
    const int step = Cell / streets;
    for (int by = 0; by < streets; ++by)
        for (int bx = 0; bx < streets; ++bx) {
            const uint32_t h = cellHash(cx * 16 + bx, cy * 16 + by, 2);
            const QRect block(bx * step + 9, by * step + 9, step - 18, step - 18);
            p.setPen(QPen(QColor(150, 140, 120), 1));
            p.setBrush(h % 5 == 0 ? QColor(196, 222, 170) : QColor(236, 226, 204));
            p.drawRect(block);
            if (h % 5 == 0)
                continue; // a park
            const int houses = 3 + int(h % 6);
            for (int i = 0; i < houses; ++i) {
                const uint32_t g = hash(h + uint32_t(i));
                const int w = 14 + int(g % 40), hh = 12 + int((g >> 8) % 30);
                const int x = block.left() + 4 + int((g >> 16) % uint32_t(block.width() - w - 8));
                const int y = block.top() + 4 + int((g >> 24) % uint32_t(block.height() - hh - 8));
                p.setPen(QPen(QColor(110, 90, 80), 1));
                p.setBrush(QColor(205, 170, 150));
                p.drawRect(x, y, w, hh);
            }
        }
    // Streets and their names.
    p.setPen(QPen(QColor(255, 255, 255), 7));
    for (int i = 0; i <= streets; ++i) {
        p.drawLine(0, i * step, Cell, i * step);
        p.drawLine(i * step, 0, i * step, Cell);
    }
    p.setPen(QPen(QColor(120, 120, 120), 1));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 7));
    for (int i = 1; i < streets; ++i)
        p.drawText(QPoint(12, i * step - 5), QStringLiteral("ул. %1-я").arg(cx * 10 + i));
    // The quarter's name.
    p.setPen(QColor(60, 40, 30));
    p.setFont(QFont(QStringLiteral("DejaVu Serif"), 16, QFont::Bold));
    p.drawText(QRect(0, 0, Cell, Cell), Qt::AlignCenter,
               QStringLiteral("Квартал %1-%2").arg(cx + 1).arg(cy + 1));
}

// The fine grid and the river over the whole sheet, for the rows of one strip.
void drawOverlay(QPainter &p, int width, int top, int rows) {
    p.setPen(QPen(QColor(80, 120, 200, 90), 1));
    for (int x = 0; x < width; x += 100)
        p.drawLine(x, top, x, top + rows);
    for (int y = (top + 99) / 100 * 100; y < top + rows; y += 100)
        p.drawLine(0, y, width, y);
    // A river winding down the sheet.
    QPolygonF river;
    for (int y = top - 20; y <= top + rows + 20; y += 4) {
        const double x =
            width * 0.42 + width * 0.08 * std::sin(y / 1700.0) + 300 * std::sin(y / 230.0);
        river << QPointF(x, y);
    }
    p.setPen(QPen(QColor(90, 140, 210), 60, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(river);
}

void usage() {
    std::fprintf(stderr, "usage: make-huge-map --out DIR [--name BASE] [--width PX] "
                         "[--height PX] [--quality Q]\n");
}

bool writeMapFile(const QString &path, const QString &image, int w, int h) {
    const QStringList lines = {
        QStringLiteral("OziExplorer Map Data File Version 2.2"),
        QStringLiteral("Большой план (пример)"),
        image,
        QStringLiteral("1 ,Map Code,"),
        QStringLiteral("WGS 84,WGS 84,   0.0000,   0.0000,WGS 84"),
        QStringLiteral("Reserved 1"),
        QStringLiteral("Reserved 2"),
        QStringLiteral("Magnetic Variation,,,E"),
        QStringLiteral("Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No"),
    };
    QStringList all = lines;
    for (int i = 1; i <= 30; ++i)
        all << QStringLiteral("Point%1,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E, "
                              "grid,   ,           ,           ,N")
                   .arg(i, 2, 10, QLatin1Char('0'));
    all << QStringLiteral("Projection Setup,,,,,,,,,,")
        << QStringLiteral("Map Feature = MF ; Map Comment = MC     These follow if they exist")
        << QStringLiteral("Track File = TF      These follow if they exist")
        << QStringLiteral("Moving Map Parameters = MM?    These follow if they exist")
        << QStringLiteral("MM0,Yes") << QStringLiteral("MMPNUM,4") << QStringLiteral("MMPXY,1,0,0")
        << QStringLiteral("MMPXY,2,%1,0").arg(w) << QStringLiteral("MMPXY,3,%1,%2").arg(w).arg(h)
        << QStringLiteral("MMPXY,4,0,%1").arg(h)
        << QStringLiteral("MMPLL,1,  37.000000,  56.000000")
        << QStringLiteral("MMPLL,2,  38.000000,  56.000000")
        << QStringLiteral("MMPLL,3,  38.000000,  55.500000")
        << QStringLiteral("MMPLL,4,  37.000000,  55.500000")
        << QStringLiteral("MM1B,%1").arg(55600.0 / h, 0, 'f', 6)
        << QStringLiteral("MOP,Map Open Position,0,0")
        << QStringLiteral("IWH,Map Image Width/Height,%1,%2").arg(w).arg(h);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QStringEncoder enc("windows-1251");
    const QByteArray bytes = enc(all.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    return f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser cl;
    cl.addOption({QStringLiteral("out"), QStringLiteral("folder"), QStringLiteral("dir")});
    cl.addOption({QStringLiteral("name"), QStringLiteral("base name"), QStringLiteral("name"),
                  QStringLiteral("huge")});
    cl.addOption({QStringLiteral("width"), QStringLiteral("pixels"), QStringLiteral("px"),
                  QStringLiteral("20000")});
    cl.addOption({QStringLiteral("height"), QStringLiteral("pixels"), QStringLiteral("px"),
                  QStringLiteral("20000")});
    cl.addOption({QStringLiteral("quality"), QStringLiteral("JPEG quality"), QStringLiteral("q"),
                  QStringLiteral("85")});
    cl.process(app);
    const int w = cl.value(QStringLiteral("width")).toInt();
    const int h = cl.value(QStringLiteral("height")).toInt();
    if (!cl.isSet(QStringLiteral("out")) || w <= 0 || h <= 0) {
        usage();
        return 2;
    }
    const QDir out(cl.value(QStringLiteral("out")));
    QDir().mkpath(out.path());
    const QString base = cl.value(QStringLiteral("name"));
    const QString jpgPath = out.filePath(base + QStringLiteral(".jpg"));

    FILE *file = std::fopen(QFile::encodeName(jpgPath).constData(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(jpgPath));
        return 1;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 4;
    cinfo.in_color_space = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, cl.value(QStringLiteral("quality")).toInt(), TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    QImage strip(w, Strip, QImage::Format_RGB32);
    for (int top = 0; top < h; top += Strip) {
        const int rows = std::min(Strip, h - top);
        // Paper with a faint grain.
        for (int y = 0; y < rows; ++y) {
            auto *line = reinterpret_cast<QRgb *>(strip.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int g = int(hash(uint32_t(x) * 2654435761U ^ uint32_t(top + y)) % 25) - 12;
                line[x] = qRgb(242 + g, 236 + g, 222 + g);
            }
        }
        {
            QPainter p(&strip);
            p.translate(0, -top);
            p.setClipRect(0, top, w, rows);
            for (int cy = top / Cell; cy * Cell < top + rows; ++cy)
                for (int cx = 0; cx * Cell < w; ++cx) {
                    p.save();
                    p.translate(cx * Cell, cy * Cell);
                    drawCell(p, cx, cy);
                    p.restore();
                }
            drawOverlay(p, w, top, rows);
        }
        for (int y = 0; y < rows; ++y) {
            JSAMPROW row = strip.scanLine(y);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);

    if (!writeMapFile(out.filePath(base + QStringLiteral(".map")), base + QStringLiteral(".jpg"), w,
                      h)) {
        std::fprintf(stderr, "cannot write the map file\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(jpgPath));
    return 0;
}
