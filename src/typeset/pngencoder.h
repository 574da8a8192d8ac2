#pragma once

#include <QByteArray>
#include <QImage>

// Encodes page images as PNG files through libpng, several times faster than
// QImageWriter. Qt's PNG writer leaves libpng to try every row filter on
// every row, which on a 300-dpi page costs more than drawing it; score pages
// are mostly paper with sharp ink, which deflate packs as small without any
// filter. So the rows go unfiltered, at a low deflate level.
//
// The file holds every pixel exactly: 8-bit grey for a Format_Grayscale8
// image, 8-bit RGB for Format_RGB32, 8-bit RGBA for Format_ARGB32 (any other
// format is converted to ARGB32 first), with the image's dots per metre as
// its physical size. No colour space, gamma or text chunks.
class PngEncoder {
public:
    // The PNG file of image, deflated at level (0 to 9); null for a null
    // image or one too large for one buffer.
    static QByteArray encode(const QImage &image, int level = 2);
};
