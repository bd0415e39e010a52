#include "maps/MapLoadThread.h"

#include <QFile>
#include <QFileInfo>

#include "maps/MapJpeg.h"

// 16 million pixels (64 MB as 32-bit pixels) is the most a map's overview takes in memory;
// larger sheets are decoded at a half, a quarter or an eighth of their size, and the panel
// reads the detail of the part it shows from the file when the view needs it.
std::atomic<qint64> TMapLoadThread::s_maxDecodedPixels{16LL * 1024 * 1024};

TMapLoadThread::TMapLoadThread(quint64 tag, const QString &FileName, const TGeoCoords &Coords,
                               long double Zoom, QObject *context, TDeliver deliver)
    : m_tag(tag), FileName(FileName), Coords(Coords), Zoom(Zoom), m_context(context),
      m_deliver(std::move(deliver)) {}

TMapLoadThread::~TMapLoadThread() {
    // Never leave a loader blocked on its event.
    EventHandle.release();
    wait();
}

qint64 TMapLoadThread::maxDecodedPixels() {
    return s_maxDecodedPixels.load();
}

void TMapLoadThread::setMaxDecodedPixels(qint64 pixels) {
    s_maxDecodedPixels.store(pixels > 0 ? pixels : 1);
}

namespace {

// The whole sheet, reduced by 2, 4 or 8 while its pixel count exceeds the limit, streamed
// from the file.
bool decodeJpeg(const QString &fileName, QImage &image, QSize &fullSize, QString &error) {
    mapjpeg::THeader header;
    if (!mapjpeg::readHeader(fileName, header, error))
        return false;
    const qint64 limit = TMapLoadThread::maxDecodedPixels();
    int denom = 1;
    while (denom < 8) {
        const qint64 w = (qint64(header.size.width()) + denom - 1) / denom;
        const qint64 h = (qint64(header.size.height()) + denom - 1) / denom;
        if (w * h <= limit)
            break;
        denom *= 2;
    }
    return mapjpeg::decodeScaled(fileName, 8 / denom, image, fullSize, error);
}

} // namespace

bool TMapLoadThread::DecodeImage(const QString &fileName, QImage &image, QSize &fullSize,
                                 QString &error) {
    image = QImage();
    fullSize = QSize();
    const QString ext = QFileInfo(fileName).suffix().toUpper();
    if (ext == QLatin1String("JPG") || ext == QLatin1String("JPEG")) {
        if (!decodeJpeg(fileName, image, fullSize, error))
            return false;
    } else {
        if (!image.load(fileName, "BMP")) {
            error = QStringLiteral("not a bitmap");
            return false;
        }
        image = image.convertToFormat(QImage::Format_RGB32);
        fullSize = image.size();
    }
    if (image.isNull() || fullSize.isEmpty()) {
        error = QStringLiteral("empty image");
        image = QImage();
        return false;
    }
    return true;
}

void TMapLoadThread::run() {
    TMapLoadResult r;
    r.Tag = m_tag;
    r.FileName = FileName;
    r.Coords = Coords;
    r.Zoom = Zoom;
    if (m_bind) {
        r.BindingDone = true;
        try {
            r.Binding.SetControlPoints(m_points);
            r.BindingOk = true;
        } catch (const std::exception &) {
            r.BindingOk = false;
        }
    }
    if (!r.BindingDone || r.BindingOk)
        r.Ok = DecodeImage(FileName, r.Image, r.FullSize, r.Error);
    if (r.Ok) {
        const QString ext = QFileInfo(FileName).suffix().toUpper();
        mapjpeg::THeader header;
        QString ignored;
        r.RegionsReadable = (ext == QLatin1String("JPG") || ext == QLatin1String("JPEG")) &&
                            mapjpeg::readHeader(FileName, header, ignored) && header.sequential;
    }
    // The opening code finishes installing the new map before the image may be shown.
    EventHandle.acquire();
    QMetaObject::invokeMethod(
        m_context, [deliver = m_deliver, r]() { deliver(r); }, Qt::QueuedConnection);
}
