#include "maps/MapLoadThread.h"

#include <QFile>
#include <QFileInfo>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

// 64 million pixels (256 MB as 32-bit pixels) is the most a map image takes in memory; larger
// sheets are decoded at a half, a quarter or an eighth of their size.
std::atomic<qint64> TMapLoadThread::s_maxDecodedPixels{64LL * 1024 * 1024};

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

struct TJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->text);
    std::longjmp(err->jump, 1);
}

// Warnings (a truncated file among them) leave the decoded part; libjpeg fills the rest.
void jpegOutputMessage(j_common_ptr) {}

bool decodeJpeg(const QByteArray &data, QImage &image, QSize &fullSize, QString &error) {
    jpeg_decompress_struct cinfo;
    TJpegError jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = jpegErrorExit;
    jerr.pub.output_message = jpegOutputMessage;
    jerr.text[0] = 0;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        error = QString::fromLocal8Bit(jerr.text);
        image = QImage();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    fullSize = QSize(int(cinfo.image_width), int(cinfo.image_height));

    const qint64 limit = TMapLoadThread::maxDecodedPixels();
    unsigned denom = 1;
    while (denom < 8) {
        const qint64 w = (qint64(cinfo.image_width) + denom - 1) / denom;
        const qint64 h = (qint64(cinfo.image_height) + denom - 1) / denom;
        if (w * h <= limit)
            break;
        denom *= 2;
    }
    cinfo.scale_num = 1;
    cinfo.scale_denom = denom;
    // 32-bit pixels in the byte order of QImage::Format_RGB32 on a little-endian machine.
    cinfo.out_color_space = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_start_decompress(&cinfo);

    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        error = QStringLiteral("out of memory");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

bool TMapLoadThread::DecodeImage(const QString &fileName, QImage &image, QSize &fullSize,
                                 QString &error) {
    image = QImage();
    fullSize = QSize();
    const QString ext = QFileInfo(fileName).suffix().toUpper();
    if (ext == QLatin1String("JPG") || ext == QLatin1String("JPEG")) {
        QFile f(fileName);
        if (!f.open(QIODevice::ReadOnly)) {
            error = f.errorString();
            return false;
        }
        const QByteArray data = f.readAll();
        if (!decodeJpeg(data, image, fullSize, error))
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
    // The opening code finishes installing the new map before the image may be shown.
    EventHandle.acquire();
    QMetaObject::invokeMethod(
        m_context, [deliver = m_deliver, r]() { deliver(r); }, Qt::QueuedConnection);
}
