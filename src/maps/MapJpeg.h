#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>

// JPEG map sheets read straight from their files, a piece at a time (a sheet can be far larger
// than the memory it may take): the whole sheet at a reduced scale for the overview, or one
// region of it at the scale a view needs, with libjpeg-turbo's scaled decoding, horizontal
// cropping and skipping of rows. Scales are eighths: 1 is an eighth, 8 the sheet's own pixels.
// The pixels come as QImage::Format_RGB32.
namespace mapjpeg {

struct THeader {
    QSize size;             // the sheet's own pixels
    bool sequential = true; // one scan: regions can be read without holding the whole sheet
};

bool readHeader(const QString &fileName, THeader &header, QString &error);

// The whole sheet at eighths/8 of its size.
bool decodeScaled(const QString &fileName, int eighths, QImage &image, QSize &fullSize,
                  QString &error);

// A region of the sheet (its own pixels) at eighths/8: `covered` is the part of the sheet the
// decoded image shows, in the sheet's pixels (the region widened to whole blocks and cut to
// the sheet). Stops early, returning false with an empty error, once `current` no longer
// holds `request` (a newer request superseded this one).
bool decodeRegion(const QString &fileName, const QRect &region, int eighths, QImage &image,
                  QRectF &covered, QString &error, const std::atomic<quint64> *current = nullptr,
                  quint64 request = 0);

} // namespace mapjpeg
