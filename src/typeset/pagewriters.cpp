// The writers of Typesetter: the generated pages as one PDF file, as a
// folder of PNG or JPG images, or as a folder of SVG files with the gongche
// font and a read-me.
#include "fonts/fontregistry.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgRenderer>

namespace {

const QString defaultTitle = QStringLiteral("Qorvel工尺谱导出曲谱");
const QString errorTitle = QStringLiteral("错误");
const QString noticeTitle = QStringLiteral("提示");

// A file name component: at most this many bytes of UTF-8, leaving room for
// the suffixes ("_png_12", "_123.png") within the usual limit of 255.
constexpr int maxNameBytes = 180;

// The largest image a page is rendered into. B1 at 600 dpi would take 1.6 GB.
constexpr qint64 maxImageBytes = qint64(1) << 30;

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

// The page size as the writers use it: the configured paper in points,
// matched to a standard size when it is close to one.
QPageSize configuredPageSize(const PageStyle &style) {
    return QPageSize(QSize(style.pageWidth, style.pageHeight), QPageSize::Point, QString(),
                     QPageSize::FuzzyMatch);
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
    const QDir dir = info.absoluteDir();
    const bool dirExisted = dir.exists();
    if (!dirExisted) {
        QDir().mkpath(dir.absolutePath());
    }
    const QString cannotWrite = QStringLiteral("文件无写入权限或文件已被占用!");
    if (dirExisted && info.exists()) {
        // Opened without truncating: a file that cannot be written keeps its content.
        QFile probe(info.absoluteFilePath());
        if (!info.isWritable() || !probe.open(QIODevice::ReadWrite)) {
            return Outcome::failure(errorTitle, cannotWrite);
        }
        probe.close();
    }

    // Written beside the target and renamed over it at the end, so that a
    // failed write leaves no half a document in its place.
    QSaveFile file(info.absoluteFilePath());
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        return Outcome::failure(errorTitle, cannotWrite);
    }

    const int count = m_pages.size();
    bool ok = true;
    {
        QPdfWriter writer(&file);
        // At 72 dpi the writer's user unit is the point, the pages' own unit.
        writer.setResolution(72);
        writer.setPageLayout(
            QPageLayout(configuredPageSize(m_style),
                        m_style.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                        QMarginsF(0, 0, 0, 0)));
        writer.setCreator(QStringLiteral("Qorvel工尺谱"));
        writer.setTitle(m_documentTitle.isEmpty() ? defaultTitle : m_documentTitle.trimmed());
        QPainter painter;
        if (!painter.begin(&writer)) {
            ok = false;
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
            ok = painter.end();
        }
    }
    if (!ok || !file.commit()) {
        file.cancelWriting();
        return Outcome::failure(errorTitle, cannotWrite);
    }
    m_lastExportPath = info.absoluteFilePath();
    return Outcome::success(m_lastExportPath);
}

Outcome Typesetter::exportImages(const QString &dirPath, int resolutionIndex, QString fmt) {
    fmt = fmt.toLower();
    if (m_documentTitle.isEmpty()) {
        m_documentTitle = defaultTitle;
    }
    if (!QDir(dirPath).exists() && !QDir().mkpath(dirPath)) {
        return Outcome::failure(noticeTitle, QStringLiteral("创建目录失败"));
    }
    QDir dir(dirPath);
    const QString title = safeFileName(m_documentTitle);
    const QString folder = freeName(dir, title + QLatin1Char('_') + fmt);
    if (!dir.mkdir(folder)) {
        return Outcome::failure(noticeTitle, QStringLiteral("创建目录失败"));
    }
    dir.cd(folder);

    const int dpi = resolutionDpi(resolutionIndex);
    const int count = m_pages.size();
    emit progressUpdate(Task::WriteImages, Progress::Started, 0, count);
    const QSize size = imageSize(dpi);
    const bool transparent = fmt.contains(QLatin1String("png"));
    const QColor background =
        m_style.backgroundColor.isValid() ? m_style.backgroundColor : QColor(Qt::white);
    for (int n = 0; n < count; ++n) {
        bool written = false;
        if (!size.isEmpty() && qint64(size.width()) * size.height() * 4 <= maxImageBytes) {
            QImage image(size, QImage::Format_ARGB32);
            if (!image.isNull()) {
                image.fill(transparent ? QColor(Qt::transparent) : background);
                {
                    QSvgRenderer renderer(m_pages.at(n));
                    QPainter painter(&image);
                    renderer.render(&painter);
                }
                QImageWriter writer(dir.filePath(title + QLatin1Char('_') + QString::number(n) +
                                                 QLatin1Char('.') + fmt),
                                    fmt.toLatin1());
                writer.setQuality(100);
                written = writer.write(image);
            }
        }
        if (!written) {
            emit progressUpdate(Task::WriteImages, Progress::Finished, n + 1, count);
            return Outcome::failure(noticeTitle, QStringLiteral("导出图片失败！"));
        }
        emit progressUpdate(Task::WriteImages, Progress::Advanced, n + 1, count);
    }
    emit progressUpdate(Task::WriteImages, Progress::Finished, count, count);
    m_lastExportPath = dir.absolutePath();
    return Outcome::success(m_lastExportPath);
}

Outcome Typesetter::exportSvg(const QString &dirPath) {
    if (m_documentTitle.isEmpty()) {
        m_documentTitle = defaultTitle;
    }
    if (!QDir(dirPath).exists() && !QDir().mkpath(dirPath)) {
        return Outcome::failure(errorTitle, QStringLiteral("创建目录失败!"));
    }
    QDir dir(dirPath);
    const QString title = safeFileName(m_documentTitle);
    const QString folder = freeName(dir, title + QStringLiteral("_svg"));
    if (!dir.mkdir(folder)) {
        return Outcome::failure(errorTitle, QStringLiteral("创建目录失败!"));
    }
    dir.cd(folder);

    const int count = m_pages.size();
    emit progressUpdate(Task::WriteSvg, Progress::Started, 0, count);
    for (int n = 0; n < count; ++n) {
        QFile file(
            dir.filePath(title + QLatin1Char('_') + QString::number(n) + QStringLiteral(".svg")));
        const QByteArray &bytes = m_pages.at(n);
        // A page that cannot be written whole is a failure too, not only one
        // that cannot be opened.
        const bool written = file.open(QIODevice::WriteOnly | QIODevice::Text) &&
                             file.write(bytes) == bytes.size() && file.flush();
        file.close();
        if (!written || file.error() != QFileDevice::NoError) {
            emit progressUpdate(Task::WriteSvg, Progress::Finished, n + 1, count);
            return Outcome::failure(errorTitle, QStringLiteral("导出SVG文件失败!"));
        }
        emit progressUpdate(Task::WriteSvg, Progress::Advanced, n + 1, count);
    }
    emit progressUpdate(Task::WriteSvg, Progress::Finished, count, count);

    // The pages name the score font's family; its file travels with them. The
    // bytes are those of the embedded font.
    QFile embedded(FontRegistry::defaultFontPath());
    const QByteArray font = embedded.open(QIODevice::ReadOnly) ? embedded.readAll() : QByteArray();
    if (!font.isEmpty()) {
        QFile file(dir.filePath(safeFileName(m_style.scoreFont.family()) + QStringLiteral(".ttf")));
        const bool written =
            file.open(QIODevice::WriteOnly) && file.write(font) == font.size() && file.flush();
        file.close();
        if (!written || file.error() != QFileDevice::NoError) {
            return Outcome::failure(errorTitle, QStringLiteral("导出字体文件失败!"));
        }
    }

    QFile readMe(dir.filePath(QStringLiteral("说明文件.txt")));
    if (readMe.open(QIODevice::WriteOnly | QIODevice::Text)) {
        readMe.write(
            QStringLiteral("Qorvel工尺谱导出曲谱说明：SVG文件需要安装“Qorvel工尺谱字体.ttf”"
                           "才能正常显示。")
                .toUtf8());
        readMe.close();
    }
    m_lastExportPath = dir.absolutePath();
    return Outcome::success(m_lastExportPath);
}
