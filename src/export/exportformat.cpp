#include "export/exportformat.h"

#include "export/exportconfig.h"
#include "model/atomicfile.h"
#include "music/melodybuilder.h"
#include "music/midiwriter.h"
#include "music/musicxmlwriter.h"
#include "music/synthesizer.h"
#include "music/wavwriter.h"
#include "staff/lilypondwriter.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

// A format's names, as the file-type list, the chooser and the progress
// dialog show them; a file format has a filter for its file chooser.
ExportFormat named(const QString &id, const QString &label, const QString &suffix, bool toFolder) {
    ExportFormat f;
    f.id = id;
    f.label = label;
    f.suffix = suffix;
    f.toFolder = toFolder;
    f.chooserTitle = QStringLiteral("导出为%1文件").arg(label);
    f.progressText = QStringLiteral("正在导出%1文件···").arg(label);
    if (!toFolder) {
        f.fileFilter = QStringLiteral("%1文件 (*%2)").arg(label, suffix);
    }
    return f;
}

// Pages, typeset before they are written, with an icon of their own.
ExportFormat pageFormat(const QString &id, bool toFolder, ExportFormat::Writer write) {
    ExportFormat f = named(id, id.toUpper(), QLatin1Char('.') + id, toFolder);
    f.icon = QStringLiteral(":/icons/resources/icons/%1.png").arg(id);
    f.write = std::move(write);
    return f;
}

ExportFormat imageFormat(const QString &id) {
    ExportFormat f = pageFormat(id, true, [id](const ExportFormat::Job &job) {
        return job.typesetter.exportImages(job.path, job.resolutionIndex, id);
    });
    f.usesResolution = true;
    return f;
}

// The melody, from the document itself: no pages are typeset for it.
ExportFormat melodyFormat(const QString &id, const QString &label, const QString &suffix,
                          ExportFormat::Writer write) {
    ExportFormat f = named(id, label, suffix, false);
    f.needsPages = false;
    f.write = std::move(write);
    return f;
}

Outcome writeMidi(const ExportFormat::Job &job) {
    music::MidiWriter::Options options;
    options.title = ExportFormat::documentTitle(job.lines);
    return music::MidiWriter::write(music::MelodyBuilder().build(job.lines), job.path, options);
}

Outcome writeMusicXml(const ExportFormat::Job &job) {
    music::MusicXmlWriter::Options options;
    options.title = ExportFormat::documentTitle(job.lines);
    // 加赠 measures as the pages write them: one setting for both.
    options.splitZengMeasures = ExportConfig::instance()->splitZeng();
    return music::MusicXmlWriter::write(music::MelodyBuilder().build(job.lines), job.path, options);
}

// The melody played by the sound font, as playback plays it.
Outcome writeWav(const ExportFormat::Job &job) {
    music::Synthesizer synthesizer;
    const Outcome loaded = synthesizer.load();
    if (!loaded) {
        return loaded;
    }
    // Rendered block by block straight into the file: the memory it takes
    // does not grow with the piece.
    synthesizer.start(music::MelodyBuilder().build(job.lines), {});
    return music::WavWriter::write(
        job.path, synthesizer.lengthFrames(),
        [&synthesizer](int frames, int16_t *out) { synthesizer.render(frames, out); });
}

// The staff edition's source, for LilyPond or Frescobaldi: every tune in one
// file, set as the staff pages are.
Outcome writeLilyPond(const ExportFormat::Job &job) {
    LilyPondWriter::Options options;
    options.title = ExportFormat::documentTitle(job.lines);
    options.style = ExportConfig::instance()->pageStyle();
    options.fileName = QFileInfo(job.path).fileName();
    const LilyPondSource source =
        LilyPondWriter::document(job.lines, music::MelodyBuilder().build(job.lines), options);
    return writeFileAtomically(job.path, source.text.toUtf8());
}

QVector<ExportFormat> makeFormats() {
    return {
        pageFormat(QStringLiteral("pdf"), false,
                   [](const ExportFormat::Job &job) { return job.typesetter.exportPdf(job.path); }),
        imageFormat(QStringLiteral("jpg")),
        imageFormat(QStringLiteral("png")),
        pageFormat(QStringLiteral("svg"), true,
                   [](const ExportFormat::Job &job) { return job.typesetter.exportSvg(job.path); }),
        melodyFormat(QStringLiteral("midi"), QStringLiteral("MIDI"), QStringLiteral(".mid"),
                     writeMidi),
        melodyFormat(QStringLiteral("musicxml"), QStringLiteral("MusicXML"),
                     QStringLiteral(".musicxml"), writeMusicXml),
        melodyFormat(QStringLiteral("wav"), QStringLiteral("WAV"), QStringLiteral(".wav"),
                     writeWav),
        melodyFormat(QStringLiteral("ly"), QStringLiteral("LilyPond"), QStringLiteral(".ly"),
                     writeLilyPond),
    };
}

} // namespace

const QVector<ExportFormat> &ExportFormat::all() {
    static const QVector<ExportFormat> formats = makeFormats();
    return formats;
}

const ExportFormat *ExportFormat::find(const QString &id) {
    for (const ExportFormat &f : all()) {
        if (f.id.compare(id, Qt::CaseInsensitive) == 0) {
            return &f;
        }
    }
    return nullptr;
}

QString ExportFormat::documentTitle(const DocumentLines &lines) {
    static const QRegularExpression quPaiName(QStringLiteral("【(.+?)】"));
    QString title;
    for (const DocumentLine &line : lines) {
        if (line.kind == LineKind::Title) {
            title = titleText(line.text).trimmed();
        }
    }
    if (title.isEmpty()) {
        for (const DocumentLine &line : lines) {
            if (line.kind == LineKind::QuPai) {
                return sungText(quPaiName.match(line.text).captured(1));
            }
        }
    }
    return title;
}

QString ExportFormat::refusedOutput(const QString &output, const QStringList &scores) {
    const QFileInfo target(output);
    const QString canonical = target.canonicalFilePath();
    const QString absolute = QDir::cleanPath(target.absoluteFilePath());
    for (const QString &score : scores) {
        const QFileInfo info(score);
        const QString same = info.canonicalFilePath();
        if ((!same.isEmpty() && same == canonical) ||
            QDir::cleanPath(info.absoluteFilePath()) == absolute) {
            return QStringLiteral("不能导出到“%1”：这是正在编辑的曲谱文件，导出会覆盖它。")
                .arg(target.fileName());
        }
    }
    if (target.isFile() &&
        target.suffix().compare(QLatin1String("gcp"), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("不能导出到“%1”：这是曲谱文件，导出会覆盖它。")
            .arg(target.fileName());
    }
    return QString();
}

QString ExportFormat::idList() {
    QStringList ids;
    for (const ExportFormat &f : all()) {
        ids.append(f.id);
    }
    const QString last = ids.takeLast();
    return ids.isEmpty() ? last : ids.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
