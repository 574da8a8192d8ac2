// The writers of Typesetter: the generated pages as one PDF file with
// bookmarks, as a folder of PNG or JPG images, or as a folder of SVG files
// that need no fonts, with the gongche font and a read-me.
#include "fonts/fontregistry.h"
#include "model/atomicfile.h"
#include "music/melodybuilder.h"
#include "music/musicrules.h"
#include "typeset/pdfoutline.h"
#include "typeset/pngencoder.h"
#include "typeset/selfcontainedsvg.h"
#include "typeset/typesetter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace {

const QString defaultTitle = QStringLiteral("Qorvel工尺谱导出曲谱");
const QString errorTitle = QStringLiteral("错误");
const QString noticeTitle = QStringLiteral("提示");

// A file name component: at most this many bytes of UTF-8, leaving room for
// the suffixes ("_png_12", "_123.png") within the usual limit of 255.
constexpr int maxNameBytes = 180;

// The largest image a page is rendered into. B1 at 600 dpi would take 1.6 GB.
constexpr qint64 maxImageBytes = qint64(1) << 30;

// A failed page write: what was being written, and why it failed.
Outcome pageFailed(const Outcome &what, const Outcome &why) {
    QString cause = why.message();
    const int colon = cause.indexOf(QStringLiteral("："));
    if (colon >= 0) {
        cause = cause.mid(colon + 1);
    }
    QString message = what.message();
    while (message.endsWith(QLatin1Char('!')) || message.endsWith(QChar(0xFF01))) {
        message.chop(1);
    }
    return Outcome::failure(what.title(), message + QStringLiteral("：") + cause);
}

bool isForbiddenInFileName(QChar c) {
    const ushort u = c.unicode();
    if (u < 0x20 || u == 0x7F) {
        return true;
    }
    switch (u) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return false;
    }
}

// The first name of base, base + "_0", base + "_1", ... that names nothing in dir.
QString freeName(const QDir &dir, const QString &base) {
    if (!QFileInfo::exists(dir.filePath(base))) {
        return base;
    }
    for (int k = 0;; ++k) {
        const QString name = base + QLatin1Char('_') + QString::number(k);
        if (!QFileInfo::exists(dir.filePath(name))) {
            return name;
        }
    }
}

// Gives the finished folder pending its name in dirPath: the first free one
// of base. Its absolute path; empty when it cannot be renamed (and pending
// still removes it).
QString settle(QTemporaryDir *pending, const QString &dirPath, const QString &base) {
    const QDir dir(dirPath);
    // A temporary folder is private; the pages are not.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(pending->path()).constData(), 0777 & ~mask);
    // rename() replaces an empty folder of the same name; one made meanwhile
    // by someone else moves the pages to the next free name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target = dir.absoluteFilePath(freeName(dir, base));
        if (::rename(QFile::encodeName(pending->path()).constData(),
                     QFile::encodeName(target).constData()) == 0 &&
            QFileInfo(target).isDir()) {
            pending->setAutoRemove(false);
            return target;
        }
        if (errno != EEXIST && errno != ENOTEMPTY) {
            break;
        }
    }
    return QString();
}

// A folder of a temporary name in dirPath (made when missing) for a set of
// pages, which takes its name (settle) only when every page is in it: a
// failure leaves no partial set behind. Null when either cannot be made.
std::unique_ptr<QTemporaryDir> pendingFolder(const QString &dirPath) {
    if (!QDir(dirPath).exists() && !QDir().mkpath(dirPath)) {
        return nullptr;
    }
    auto pending =
        std::make_unique<QTemporaryDir>(QDir(dirPath).filePath(QStringLiteral(".qv-XXXXXX")));
    if (!pending->isValid()) {
        return nullptr;
    }
    return pending;
}

// The page size as the writers use it: the configured paper in points,
// matched to a standard size when it is close to one.
QPageSize configuredPageSize(const PageStyle &style) {
    return QPageSize(QSize(style.pageWidth, style.pageHeight), QPageSize::Point, QString(),
                     QPageSize::FuzzyMatch);
}

// The zlib level of PNG pages. The pages are mostly paper, which any level
// packs well: level 2 writes an A4 page at 300 dpi in about 0.5 MB, level 6
// saves a fifth of that in twice the time, and level 0 (what QImageWriter's
// quality 100 used to give) writes 26 MB.
constexpr int pngLevel = 2;
constexpr int jpgQuality = 100;

// Draws an SVG page over all of an image of size: on fill when it is valid
// (an opaque page), else on transparency. Each call has its own renderer and
// fonts, so pages can be drawn on several threads at once.
QImage drawPage(const QByteArray &svg, const QSize &size, const QColor &fill, int dpi) {
    const bool opaque = fill.isValid() && fill.alpha() == 255;
    QImage image(size, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return image;
    }
    // The file tells its resolution, so that it prints at the paper's size.
    const int dotsPerMetre = qRound(dpi / 0.0254);
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    image.fill(opaque ? fill : QColor(Qt::transparent));
    QSvgRenderer renderer(svg);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// The image in the smallest format that holds every pixel of it as it is:
// 8-bit grey when each pixel is opaque and grey, RGB when each is opaque,
// else ARGB.
QImage compact(const QImage &image) {
    // Scanned until the answer is known: a colour settles it for an image
    // that cannot be transparent, a pixel that is not opaque for any.
    const bool mayBeTransparent = image.hasAlphaChannel();
    const int w = image.width();
    bool opaque = true;
    bool grey = true;
    for (int y = 0; y < image.height() && (grey || (opaque && mayBeTransparent)); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) != 255) {
                opaque = false;
                grey = false;
                break;
            }
            if (grey && (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))) {
                grey = false;
                if (!mayBeTransparent) {
                    break;
                }
            }
        }
    }
    if (!opaque) {
        return image.convertToFormat(QImage::Format_ARGB32);
    }
    if (grey) {
        return image.convertToFormat(QImage::Format_Grayscale8);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// What an image of a page is drawn on: the page's own background when it
// is opaque; else nothing (transparency) for a PNG, and for a JPG the
// style's background colour, or white.
QColor imageFill(const QColor &pageBackground, const QColor &styleBackground, bool transparent) {
    if (pageBackground.isValid() && pageBackground.alpha() == 255) {
        return pageBackground;
    }
    if (transparent) {
        return QColor();
    }
    QColor fill = styleBackground.isValid() ? styleBackground : QColor(Qt::white);
    fill.setAlpha(255);
    return fill;
}

// One page drawn and encoded; empty bytes when either failed.
QByteArray encodePage(const QByteArray &svg, const QSize &size, const QColor &fill, int dpi,
                      const QByteArray &fmt) {
    const QImage image = drawPage(svg, size, fill, dpi);
    if (image.isNull()) {
        return QByteArray();
    }
    if (fmt == "png") {
        return PngEncoder::encode(compact(image), pngLevel);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, fmt);
    writer.setQuality(jpgQuality);
    return writer.write(compact(image)) ? bytes : QByteArray();
}

// The keys and meters the document states, for its document information:
// the subject ("笛色：小工调　板式：一板三眼", or the same after each tune's
// name when the tunes differ) and keywords (the tune names, keys and
// meters). A key counts as stated when an annotation sets it: the melody is
// built twice, from two different keys at the top of the document, and a
// tune whose key comes out the same in both has it from the document. A
// meter counts when an annotation gives it, not when it was only detected.
void musicInfo(const DocumentLines &lines, QString *subject, QString *keywords) {
    using namespace music;
    const MusicRules &defaults = MusicRules::defaults();
    MusicRules otherStart = defaults;
    otherStart.start.key = defaults.start.key == Key::XiaoGong ? Key::FanZi : Key::XiaoGong;
    const Melody melody = MelodyBuilder(defaults).build(lines);
    const Melody probe = MelodyBuilder(otherStart).build(lines);

    QStringList tunes;     // "【name】description"
    QStringList described; // the description of each
    QStringList words;
    const auto addWord = [&words](const QString &w) {
        if (!w.isEmpty() && !words.contains(w)) {
            words.append(w);
        }
    };
    for (int i = 0; i < melody.sections.size(); ++i) {
        const Section &s = melody.sections.at(i);
        if (s.noteCount <= 0 && s.quPai.isEmpty()) {
            continue;
        }
        addWord(s.quPai);
        QStringList parts;
        const bool keyStated = i < probe.sections.size() && probe.sections.at(i).key == s.key &&
                               probe.sections.at(i).keyVariant == s.keyVariant;
        if (keyStated) {
            const QString key = defaults.keyName(s.key, s.keyVariant);
            parts << QStringLiteral("笛色：") + key;
            addWord(key);
        }
        if (!s.meterGuessed) {
            const QString meter = defaults.meterName(s.meter, s.zeng);
            parts << QStringLiteral("板式：") + meter;
            addWord(meter);
        }
        if (parts.isEmpty()) {
            continue;
        }
        const QString description = parts.join(QStringLiteral("　"));
        described << description;
        tunes << (s.quPai.isEmpty() ? QString() : QStringLiteral("【%1】").arg(s.quPai)) +
                     description;
    }
    described.removeDuplicates();
    *subject = described.size() == 1 ? described.first() : tunes.join(QStringLiteral("；"));
    *keywords = words.join(QStringLiteral(", "));
}

} // namespace

QString Typesetter::safeFileName(const QString &name) {
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        out.append(isForbiddenInFileName(c) ? QChar('_') : c);
    }
    out = out.trimmed();
    // "." and ".." name the directory itself and its parent.
    if (!out.isEmpty() && out.count(QLatin1Char('.')) == out.size()) {
        out.fill(QLatin1Char('_'));
    }
    if (out.toUtf8().size() > maxNameBytes) {
        QString cut;
        int bytes = 0;
        for (int i = 0; i < out.size(); ++i) {
            const int n = out.at(i).isHighSurrogate() && i + 1 < out.size() ? 2 : 1;
            const int b = out.mid(i, n).toUtf8().size();
            if (bytes + b > maxNameBytes) {
                break;
            }
            cut += out.mid(i, n);
            bytes += b;
            i += n - 1;
        }
        out = cut.trimmed();
    }
    return out.isEmpty() ? defaultTitle : out;
}

int Typesetter::resolutionDpi(int resolutionIndex) {
    switch (resolutionIndex) {
    case 1:
        return 160;
    case 2:
        return 300;
    case 3:
        return 600;
    default:
        return 96;
    }
}

QSize Typesetter::imageSize(int dpi) const {
    // From the paper's own definition (millimetres for A4), not from its
    // size rounded to points: A4 at 96 dpi is 794 × 1123 pixels.
    const QPageSize page = configuredPageSize(m_style);
    const QSizeF def = page.definitionSize();
    qreal perUnit = dpi / 72.0;
    switch (page.definitionUnits()) {
    case QPageSize::Millimeter:
        perUnit = dpi / 25.4;
        break;
    case QPageSize::Inch:
        perUnit = dpi;
        break;
    case QPageSize::Cicero:
        perUnit = dpi * 12 * 1.066978 / 72;
        break;
    case QPageSize::Didot:
        perUnit = dpi * 1.066978 / 72;
        break;
    case QPageSize::Pica:
        perUnit = dpi * 12 / 72.0;
        break;
    case QPageSize::Point:
        break;
    }
    QSize size(qRound(def.width() * perUnit), qRound(def.height() * perUnit));
    if (m_style.landscape) {
        size.transpose();
    }
    return size;
}

Outcome Typesetter::exportPdf(const QString &filePath) {
    const QFileInfo info(filePath);
    // Written beside the target (its folder made when missing) and renamed
    // over it at the end, so that a failed write leaves no half a document
    // in its place.
    AtomicFile file(info.absoluteFilePath());
    if (!file.open()) {
        return file.outcome();
    }

    // Qt's writer draws the pages into memory; qpdf adds what it does not
    // write (the outline, the rest of the document information) before the
    // file is written.
    const QString title = m_documentTitle.isEmpty() ? defaultTitle : m_documentTitle.trimmed();
    bool ok = true;
    const QByteArray drawn = drawPdf(title, &ok);
    PdfOutline outline;
    outline.setItems(outlineItems(title));
    outline.setInfo(QStringLiteral("Title"), title);
    outline.setInfo(QStringLiteral("Creator"), QStringLiteral("Qorvel工尺谱"));
    QString subject, keywords;
    musicInfo(m_lines, &subject, &keywords);
    outline.setInfo(QStringLiteral("Subject"), subject);
    outline.setInfo(QStringLiteral("Keywords"), keywords);
    const QByteArray decorated = ok ? outline.apply(drawn) : QByteArray();
    // Should qpdf not read what Qt wrote, the document goes out as drawn,
    // without bookmarks, and the warning says so.
    const QByteArray &bytes = decorated.isEmpty() ? drawn : decorated;

    if (!ok) {
        return Outcome::failure(errorTitle, QStringLiteral("无法生成PDF文件！"));
    }
    file.write(bytes);
    const Outcome written = file.commit();
    if (!written) {
        return written;
    }
    m_lastExportPath = info.absoluteFilePath();
    if (decorated.isEmpty()) {
        return Outcome::partial(m_lastExportPath, noticeTitle,
                                QStringLiteral("PDF文件已导出，但未能加入书签和文档信息。"));
    }
    return Outcome::success(m_lastExportPath);
}

QByteArray Typesetter::drawPdf(const QString &title, bool *ok) {
    QByteArray drawn;
    const int count = m_pages.size();
    {
        QBuffer buffer(&drawn);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        // At 72 dpi the writer's user unit is the point, the pages' own unit.
        writer.setResolution(72);
        writer.setPageLayout(
            QPageLayout(configuredPageSize(m_style),
                        m_style.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                        QMarginsF(0, 0, 0, 0)));
        writer.setCreator(QStringLiteral("Qorvel工尺谱"));
        writer.setTitle(title);
        QPainter painter;
        if (!painter.begin(&writer)) {
            *ok = false;
        } else {
            emit progressUpdate(Task::WritePdf, Progress::Started, 0, count);
            for (int k = 0; k < count; ++k) {
                if (k > 0) {
                    writer.newPage();
                }
                painter.save();
                paintPage(painter, k);
                painter.restore();
                emit progressUpdate(Task::WritePdf, Progress::Advanced, k + 1, count);
            }
            emit progressUpdate(Task::WritePdf, Progress::Finished, count, count);
            *ok = painter.end();
        }
    }
    return drawn;
}

QVector<PdfOutline::Item> Typesetter::bookOutlineItems(const QString &title) const {
    // The book's title over its parts, the parts over the pieces after them,
    // each piece over its tune headings. Pieces before the first part stand
    // directly under the title.
    PdfOutline::Item book;
    book.title = title;
    book.page = 0;
    int part = -1;
    const auto container = [&book, &part]() -> QVector<PdfOutline::Item> & {
        return part >= 0 ? book.children[part].children : book.children;
    };
    for (const Heading &h : m_headings) {
        PdfOutline::Item item;
        item.title = h.text.simplified();
        item.page = h.page;
        item.top = h.position.y();
        switch (h.kind) {
        case Heading::Kind::Part:
            book.children.append(item);
            part = book.children.size() - 1;
            break;
        case Heading::Kind::Piece:
            container().append(item);
            break;
        case Heading::Kind::QuPai:
            if (!container().isEmpty()) {
                container().last().children.append(item);
            }
            break;
        case Heading::Kind::Title:
            break;
        }
    }
    return {book};
}

QVector<PdfOutline::Item> Typesetter::outlineItems(const QString &title) const {
    const bool book = std::any_of(m_headings.begin(), m_headings.end(), [](const Heading &h) {
        return h.kind == Heading::Kind::Part || h.kind == Heading::Kind::Piece;
    });
    if (book) {
        return bookOutlineItems(title);
    }
    // The document title, the tune headings under it. Every title line opens
    // a bookmark of its own; headings before the first one go under the
    // document title on the first page.
    QVector<PdfOutline::Item> items;
    for (const Heading &h : m_headings) {
        PdfOutline::Item item;
        item.title = h.text.simplified();
        item.page = h.page;
        item.top = h.position.y();
        if (h.kind == Heading::Kind::Title) {
            items.append(item);
            continue;
        }
        if (items.isEmpty()) {
            PdfOutline::Item top;
            top.title = title;
            top.page = 0;
            items.append(top);
        }
        items.last().children.append(item);
    }
    if (items.isEmpty() && !m_pages.isEmpty()) {
        PdfOutline::Item top;
        top.title = title;
        items.append(top);
    }
    return items;
}

QImage Typesetter::pageImage(int index, int dpi, bool transparent) const {
    const QSize size = imageSize(dpi);
    if (index < 0 || index >= m_pages.size() || size.isEmpty() ||
        qint64(size.width()) * size.height() * 4 > maxImageBytes) {
        return QImage();
    }
    const QColor background =
        index < m_pageRecords.size() ? m_pageRecords.at(index).background : QColor();
    return drawPage(m_pages.at(index), size,
                    imageFill(background, m_style.backgroundColor, transparent), dpi);
}

Outcome Typesetter::exportImages(const QString &dirPath, int resolutionIndex, QString fmt) {
    fmt = fmt.toLower();
    if (m_documentTitle.isEmpty()) {
        m_documentTitle = defaultTitle;
    }
    const QString title = safeFileName(m_documentTitle);
    const std::unique_ptr<QTemporaryDir> pending = pendingFolder(dirPath);
    if (!pending) {
        return Outcome::failure(noticeTitle, QStringLiteral("创建目录失败"));
    }
    const Outcome failed = Outcome::failure(noticeTitle, QStringLiteral("导出图片失败！"));
    const Outcome written =
        writeImages(QDir(pending->path()), title, resolutionDpi(resolutionIndex), fmt, failed);
    if (!written) {
        return written;
    }
    const QString done = settle(pending.get(), dirPath, title + QLatin1Char('_') + fmt);
    if (done.isEmpty()) {
        return failed;
    }
    m_lastExportPath = done;
    return Outcome::success(m_lastExportPath);
}

Outcome Typesetter::writeImages(const QDir &dir, const QString &title, int dpi, const QString &fmt,
                                const Outcome &failed) {
    const int count = m_pages.size();
    emit progressUpdate(Task::WriteImages, Progress::Started, 0, count);
    const QSize size = imageSize(dpi);
    const bool transparent = fmt.contains(QLatin1String("png"));
    const QByteArray format = fmt.toLatin1();
    const qint64 imageBytes = qint64(size.width()) * size.height() * 4;
    if (count > 0 && (size.isEmpty() || imageBytes > maxImageBytes)) {
        emit progressUpdate(Task::WriteImages, Progress::Finished, 1, count);
        return failed;
    }

    // The pages are drawn and encoded on a pool of threads, a few pages
    // ahead of the one being written; this thread writes them in order and
    // reports each. Every task gets a copy of its page's SVG and nothing of
    // this object, so what a progress handler does meanwhile cannot reach
    // it. As many pages are drawn at once as there are cores, and no more
    // than fit in the memory one page may take at most (a waiting thread
    // may draw a page it waits for itself).
    std::atomic_bool stop{false};
    QThreadPool pool;
    const qint64 fitting = maxImageBytes / std::max<qint64>(1, imageBytes);
    const int threads =
        fitting < 3 ? 1 : int(std::min<qint64>(QThread::idealThreadCount(), fitting - 1));
    pool.setMaxThreadCount(std::max(1, threads));
    const int ahead = fitting < 3 ? 0 : 2 * threads;
    QVector<QFuture<QByteArray>> encoded(count);
    int queued = 0;
    const auto queueUpTo = [&](int last) {
        for (; queued < count && queued <= last; ++queued) {
            const QColor fill = imageFill(
                queued < m_pageRecords.size() ? m_pageRecords.at(queued).background : QColor(),
                m_style.backgroundColor, transparent);
            encoded[queued] = QtConcurrent::run(
                &pool, [svg = m_pages.at(queued), size, fill, dpi, format, &stop]() {
                    return stop ? QByteArray() : encodePage(svg, size, fill, dpi, format);
                });
        }
    };
    for (int n = 0; n < count; ++n) {
        queueUpTo(n + ahead);
        const QByteArray bytes = encoded[n].result();
        encoded[n] = QFuture<QByteArray>(); // its bytes are not kept longer than needed
        Outcome written = failed;
        if (!bytes.isEmpty()) {
            written =
                AtomicFile::writeWhole(dir.filePath(title + QLatin1Char('_') + QString::number(n) +
                                                    QLatin1Char('.') + fmt),
                                       bytes);
        }
        if (!written) {
            stop = true; // the pages still queued are abandoned
            for (QFuture<QByteArray> &f : encoded) {
                f.waitForFinished();
            }
            emit progressUpdate(Task::WriteImages, Progress::Finished, n + 1, count);
            return written.message() == failed.message() ? failed : pageFailed(failed, written);
        }
        emit progressUpdate(Task::WriteImages, Progress::Advanced, n + 1, count);
    }
    emit progressUpdate(Task::WriteImages, Progress::Finished, count, count);
    return Outcome::success(QString());
}

Outcome Typesetter::exportSvg(const QString &dirPath) {
    if (m_documentTitle.isEmpty()) {
        m_documentTitle = defaultTitle;
    }
    const QString title = safeFileName(m_documentTitle);
    // Written under a temporary name, renamed when whole (as the images).
    const std::unique_ptr<QTemporaryDir> pending = pendingFolder(dirPath);
    if (!pending) {
        return Outcome::failure(errorTitle, QStringLiteral("创建目录失败!"));
    }
    QDir dir(pending->path());
    const Outcome svgFailed = Outcome::failure(errorTitle, QStringLiteral("导出SVG文件失败!"));

    const int count = m_pages.size();
    emit progressUpdate(Task::WriteSvg, Progress::Started, 0, count);
    // The files carry the outlines of their glyphs; the pages in memory (the
    // preview's) go on naming their fonts.
    SelfContainedSvg converter;
    for (int n = 0; n < count; ++n) {
        const QByteArray bytes = converter.convert(m_pages.at(n));
        // A page that cannot be written whole is a failure too, not only one
        // that cannot be opened.
        const Outcome written = AtomicFile::writeWhole(
            dir.filePath(title + QLatin1Char('_') + QString::number(n) + QStringLiteral(".svg")),
            bytes);
        if (!written) {
            emit progressUpdate(Task::WriteSvg, Progress::Finished, n + 1, count);
            return pageFailed(svgFailed, written);
        }
        emit progressUpdate(Task::WriteSvg, Progress::Advanced, n + 1, count);
    }
    emit progressUpdate(Task::WriteSvg, Progress::Finished, count, count);

    // The pages no longer need the score font, but their text still names
    // it: its file travels with them, for editing them elsewhere. The bytes
    // are those of the embedded font.
    QFile embedded(FontRegistry::defaultFontPath());
    const QByteArray font = embedded.open(QIODevice::ReadOnly) ? embedded.readAll() : QByteArray();
    if (!font.isEmpty()) {
        const Outcome written = AtomicFile::writeWhole(
            dir.filePath(safeFileName(m_style.scoreFont.family()) + QStringLiteral(".ttf")), font);
        if (!written) {
            return pageFailed(Outcome::failure(errorTitle, QStringLiteral("导出字体文件失败!")),
                              written);
        }
    }

    const Outcome readMe = AtomicFile::writeWhole(
        dir.filePath(QStringLiteral("说明文件.txt")),
        QStringLiteral("Qorvel工尺谱导出曲谱说明：SVG文件已内含所用字形，无需安装字体即可"
                       "正常显示，文字仍可选择和搜索。如需在其他软件中编辑文字，"
                       "请安装“Qorvel工尺谱字体.ttf”。")
            .toUtf8());
    if (!readMe) {
        return pageFailed(svgFailed, readMe);
    }
    const QString done = settle(pending.get(), dirPath, title + QStringLiteral("_svg"));
    if (done.isEmpty()) {
        return svgFailed;
    }
    m_lastExportPath = done;
    return Outcome::success(m_lastExportPath);
}
