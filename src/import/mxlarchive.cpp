#include "import/mxlarchive.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <memory>
#include <zip.h>

namespace music {

namespace {

// A real score deflates to a tenth or a fiftieth of its size; beyond this
// ratio (deflate itself stops near 1032) an entry is taken for a zip bomb
// once it has inflated past bombFloor.
constexpr qint64 maxRatio = 500;
constexpr qint64 bombFloor = 1024 * 1024;
// The container is a few lines.
constexpr qint64 maxContainerBytes = 1024 * 1024;
constexpr qint64 chunkBytes = 64 * 1024;

const char containerPath[] = "META-INF/container.xml";

struct ArchiveCloser {
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
struct FileCloser {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using File = std::unique_ptr<zip_file_t, FileCloser>;

QString damaged() {
    return QStringLiteral("压缩乐谱（.mxl）已损坏，无法读取");
}

// A path that stays inside the archive: relative, without "..", backslashes
// or a drive letter.
bool safePath(const QString &path) {
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:"));
    return !path.isEmpty() && !path.startsWith(QLatin1Char('/')) &&
           !path.contains(QLatin1String("..")) && !path.contains(QLatin1Char('\\')) &&
           !path.contains(QChar(0)) && !drive.match(path).hasMatch();
}

// Reads the entry at index whole, or says why not. Never more than limit
// bytes are inflated, whatever the entry's header states.
QString readEntry(zip_t *archive, zip_uint64_t index, qint64 limit, QByteArray *out) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0) {
        return damaged();
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        return QStringLiteral("压缩乐谱已加密，无法读取");
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) &&
        !zip_compression_method_supported(stat.comp_method, 0)) {
        return QStringLiteral("压缩乐谱用了不支持的压缩方式");
    }
    const QString tooLarge =
        QStringLiteral("压缩乐谱中的文件太大（超过%1 MB）").arg(limit / (1024 * 1024));
    const QString bomb = QStringLiteral("压缩乐谱中的文件压缩比异常，不予读取");
    const qint64 compressed = (stat.valid & ZIP_STAT_COMP_SIZE)
                                  ? qint64(std::min<zip_uint64_t>(stat.comp_size, 1ull << 62))
                                  : -1;
    if (stat.valid & ZIP_STAT_SIZE) {
        if (stat.size > zip_uint64_t(limit)) {
            return tooLarge;
        }
        if (compressed >= 0 && qint64(stat.size) > bombFloor &&
            qint64(stat.size) > maxRatio * std::max<qint64>(compressed, 1)) {
            return bomb;
        }
    }
    File file(zip_fopen_index(archive, index, 0));
    if (!file) {
        return damaged();
    }
    out->clear();
    QByteArray chunk(int(chunkBytes), Qt::Uninitialized);
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), chunk.data(), zip_uint64_t(chunk.size()));
        if (n < 0) {
            out->clear();
            return damaged();
        }
        if (n == 0) {
            break;
        }
        if (out->size() + n > limit) {
            out->clear();
            return tooLarge;
        }
        out->append(chunk.constData(), int(n));
        if (compressed >= 0 && out->size() > bombFloor &&
            out->size() > maxRatio * std::max<qint64>(compressed, 1)) {
            out->clear();
            return bomb;
        }
    }
    return QString();
}

// The first rootfile's full-path in container.xml; empty when it names none.
QString rootOfContainer(const QByteArray &container, bool *wellFormed) {
    QXmlStreamReader xml(container);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::EntityReference) {
            break;
        }
        if (xml.isStartElement() && xml.name() == QLatin1String("rootfile")) {
            *wellFormed = true;
            return xml.attributes().value(QLatin1String("full-path")).toString();
        }
    }
    *wellFormed = !xml.hasError() && xml.tokenType() != QXmlStreamReader::EntityReference;
    return QString();
}

} // namespace

bool MxlArchive::looksLikeZip(const QByteArray &bytes) {
    return bytes.startsWith(QByteArray("PK\x03\x04", 4));
}

MxlArchive::Extraction MxlArchive::extract(const QByteArray &bytes, qint64 limit) {
    Extraction result;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        result.error = damaged();
        return result;
    }
    Archive archive(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        result.error = damaged();
        return result;
    }

    QString root;
    const zip_int64_t containerIndex = zip_name_locate(archive.get(), containerPath, 0);
    if (containerIndex >= 0) {
        QByteArray container;
        const QString why = readEntry(archive.get(), zip_uint64_t(containerIndex),
                                      std::min(limit, maxContainerBytes), &container);
        if (!why.isEmpty()) {
            result.error = why;
            return result;
        }
        bool wellFormed = false;
        root = rootOfContainer(container, &wellFormed);
        if (root.isEmpty()) {
            result.error = wellFormed
                               ? QStringLiteral("压缩乐谱的目录（container.xml）没有指明乐谱文件")
                               : QStringLiteral("压缩乐谱的目录（container.xml）有误");
            return result;
        }
    } else {
        const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
        for (zip_int64_t i = 0; i < count && root.isEmpty(); ++i) {
            const char *name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
            const QString path = name ? QString::fromUtf8(name) : QString();
            if (path.startsWith(QLatin1String("META-INF/"), Qt::CaseInsensitive) ||
                path.endsWith(QLatin1Char('/'))) {
                continue;
            }
            if (path.endsWith(QLatin1String(".musicxml"), Qt::CaseInsensitive) ||
                path.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive)) {
                root = path;
            }
        }
        if (root.isEmpty()) {
            result.error = QStringLiteral("压缩乐谱中没有 MusicXML 文件");
            return result;
        }
    }

    if (!safePath(root)) {
        result.error = QStringLiteral("压缩乐谱中的乐谱路径“%1”指向压缩包之外，不予读取").arg(root);
        return result;
    }
    const zip_int64_t index = zip_name_locate(archive.get(), root.toUtf8().constData(), 0);
    if (index < 0) {
        result.error = QStringLiteral("压缩乐谱中找不到“%1”").arg(root);
        return result;
    }
    const QString why = readEntry(archive.get(), zip_uint64_t(index), limit, &result.score);
    if (!why.isEmpty()) {
        result.error = why;
        return result;
    }
    result.rootPath = root;
    return result;
}

} // namespace music
