#include "maps/MapJpeg.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace mapjpeg {

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

// The file is read in large chunks as the decoder asks for them; the whole file is never in
// memory.
struct TFileSource {
    jpeg_source_mgr pub;
    QFile *file;
    std::vector<JOCTET> buffer;
};

constexpr size_t ChunkSize = 256 * 1024;

void initSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto *src = reinterpret_cast<TFileSource *>(cinfo->src);
    const qint64 n =
        src->file->read(reinterpret_cast<char *>(src->buffer.data()), qint64(src->buffer.size()));
    if (n <= 0) {
        // As libjpeg's own file source: a missing end becomes an end marker and a warning.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        src->pub.next_input_byte = src->buffer.data();
        src->pub.bytes_in_buffer = 2;
        WARNMS(cinfo, JWRN_JPEG_EOF);
        return TRUE;
    }
    src->pub.next_input_byte = src->buffer.data();
    src->pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    auto *src = reinterpret_cast<TFileSource *>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    const qint64 beyond = qint64(count) - qint64(src->pub.bytes_in_buffer);
    src->pub.bytes_in_buffer = 0;
    if (!src->file->seek(src->file->pos() + beyond))
        src->file->seek(src->file->size());
    fillInputBuffer(cinfo);
}

void termSource(j_decompress_ptr) {}

// One decompression of one file; the error jump target must be set by the caller's frame.
class TDecoder {
public:
    TDecoder() {
        cinfo.err = jpeg_std_error(&jerr.pub);
        jerr.pub.error_exit = jpegErrorExit;
        jerr.pub.output_message = jpegOutputMessage;
        jerr.text[0] = 0;
    }
    ~TDecoder() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
    bool open(const QString &fileName, QString &error) {
        file.setFileName(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString();
            return false;
        }
        return true;
    }
    // Call after setjmp(jerr.jump).
    void start() {
        jpeg_create_decompress(&cinfo);
        created = true;
        src.file = &file;
        src.buffer.resize(ChunkSize);
        src.pub.init_source = initSource;
        src.pub.fill_input_buffer = fillInputBuffer;
        src.pub.skip_input_data = skipInputData;
        src.pub.resync_to_restart = jpeg_resync_to_restart;
        src.pub.term_source = termSource;
        src.pub.bytes_in_buffer = 0;
        src.pub.next_input_byte = nullptr;
        cinfo.src = &src.pub;
        jpeg_read_header(&cinfo, TRUE);
    }
    void scale(int eighths) {
        cinfo.scale_num = unsigned(std::clamp(eighths, 1, 8));
        cinfo.scale_denom = 8;
        // 32-bit pixels in the byte order of QImage::Format_RGB32 on a little-endian machine.
        cinfo.out_color_space = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }
    QString errorText() const { return QString::fromLocal8Bit(jerr.text); }

    jpeg_decompress_struct cinfo{};
    TJpegError jerr{};

private:
    QFile file;
    TFileSource src{};
    bool created = false;
};

} // namespace

bool readHeader(const QString &fileName, THeader &header, QString &error) {
    TDecoder d;
    if (!d.open(fileName, error))
        return false;
    if (setjmp(d.jerr.jump)) {
        error = d.errorText();
        return false;
    }
    d.start();
    header.size = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    header.sequential = !jpeg_has_multiple_scans(&d.cinfo);
    return true;
}

bool decodeScaled(const QString &fileName, int eighths, QImage &image, QSize &fullSize,
                  QString &error) {
    image = QImage();
    TDecoder d;
    if (!d.open(fileName, error))
        return false;
    if (setjmp(d.jerr.jump)) {
        error = d.errorText();
        image = QImage();
        return false;
    }
    d.start();
    fullSize = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    d.scale(eighths);
    jpeg_start_decompress(&d.cinfo);
    image = QImage(int(d.cinfo.output_width), int(d.cinfo.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        error = QStringLiteral("out of memory");
        return false;
    }
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(d.cinfo.output_scanline));
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

bool decodeRegion(const QString &fileName, const QRect &region, int eighths, QImage &image,
                  QRectF &covered, QString &error, const std::atomic<quint64> *current,
                  quint64 request) {
    image = QImage();
    error.clear();
    const auto superseded = [&] { return current && current->load() != request; };
    TDecoder d;
    if (!d.open(fileName, error))
        return false;
    if (setjmp(d.jerr.jump)) {
        error = d.errorText();
        image = QImage();
        return false;
    }
    d.start();
    d.scale(eighths);
    jpeg_start_decompress(&d.cinfo);
    const double f = d.cinfo.scale_num / 8.0; // decoded pixels per sheet pixel
    const int outW = int(d.cinfo.output_width), outH = int(d.cinfo.output_height);
    const int x0 = std::clamp(int(std::floor(region.left() * f)), 0, outW);
    const int x1 = std::clamp(int(std::ceil((region.left() + region.width()) * f)), 0, outW);
    const int y0 = std::clamp(int(std::floor(region.top() * f)), 0, outH);
    const int y1 = std::clamp(int(std::ceil((region.top() + region.height()) * f)), 0, outH);
    if (x1 <= x0 || y1 <= y0) {
        error = QStringLiteral("empty region");
        jpeg_abort_decompress(&d.cinfo);
        return false;
    }
    JDIMENSION xoffset = JDIMENSION(x0), width = JDIMENSION(x1 - x0);
    // Widened to whole blocks on the left (and to the sheet's edge when it must).
    jpeg_crop_scanline(&d.cinfo, &xoffset, &width);
    // Rows above are only entropy-decoded; a newer request stops the work between pieces.
    for (int skipped = 0; skipped < y0;) {
        if (superseded()) {
            jpeg_abort_decompress(&d.cinfo);
            return false;
        }
        const int n = std::min(y0 - skipped, 256);
        skipped += int(jpeg_skip_scanlines(&d.cinfo, JDIMENSION(n)));
    }
    image = QImage(int(d.cinfo.output_width), y1 - y0, QImage::Format_RGB32);
    if (image.isNull()) {
        error = QStringLiteral("out of memory");
        jpeg_abort_decompress(&d.cinfo);
        return false;
    }
    for (int y = 0; y < y1 - y0; ++y) {
        if ((y & 63) == 0 && superseded()) {
            jpeg_abort_decompress(&d.cinfo);
            image = QImage();
            return false;
        }
        JSAMPROW row = image.scanLine(y);
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    jpeg_abort_decompress(&d.cinfo);
    covered = QRectF(xoffset / f, y0 / f, d.cinfo.output_width / f, (y1 - y0) / f);
    // The last block column and row may reach past the sheet.
    return true;
}

} // namespace mapjpeg
