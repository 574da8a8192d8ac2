#include "typeset/pngencoder.h"

#include <png.h>
#include <vector>

namespace {

// libpng hands the encoded bytes here.
void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto *out = static_cast<QByteArray *>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char *>(data), int(length));
}

void noFlush(png_structp) {}

} // namespace

QByteArray PngEncoder::encode(const QImage &source, int level) {
    if (source.isNull() || source.width() > PNG_USER_WIDTH_MAX ||
        source.height() > PNG_USER_HEIGHT_MAX) {
        return QByteArray();
    }
    QImage image = source;
    int colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    switch (source.format()) {
    case QImage::Format_Grayscale8:
        colourType = PNG_COLOR_TYPE_GRAY;
        break;
    case QImage::Format_RGB32:
        colourType = PNG_COLOR_TYPE_RGB;
        break;
    case QImage::Format_ARGB32:
        break;
    default:
        image = source.convertToFormat(QImage::Format_ARGB32);
        break;
    }

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return QByteArray();
    }
    png_infop info = png_create_info_struct(png);
    QByteArray out;
    // libpng reports its errors by a long jump back here; nothing below
    // holds a resource that the jump would leak but the two structures.
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return QByteArray();
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        png_set_pHYs(png, info, png_uint_32(image.dotsPerMeterX()),
                     png_uint_32(image.dotsPerMeterY()), PNG_RESOLUTION_METER);
    }
    // Score pages are paper with sharp ink: deflate packs the rows as small
    // without a filter, and trying every filter on every row would cost more
    // than drawing the page.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, level);
    png_write_info(png, info);
    // Qt keeps 32-bit pixels as 0xAARRGGBB in native order: on a little-endian
    // machine the bytes run B, G, R, A.
    if (colourType != PNG_COLOR_TYPE_GRAY) {
        if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            png_set_bgr(png);
        } else {
            png_set_swap_alpha(png);
        }
        if (colourType == PNG_COLOR_TYPE_RGB) {
            // The unused byte of each RGB32 pixel is left out.
            png_set_filler(png, 0,
                           QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FILLER_AFTER
                                                                         : PNG_FILLER_BEFORE);
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}
