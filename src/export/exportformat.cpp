#include "export/exportformat.h"

#include "export/exportconfig.h"
#include "music/melodybuilder.h"
#include "music/midiwriter.h"
#include "music/musicxmlwriter.h"
#include "music/synthesizer.h"
#include "music/wavwriter.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

ExportFormat imageFormat(const QString &id) {
    ExportFormat f;
    f.id = id;
    f.label = id.toUpper();
    f.icon = QStringLiteral(":/icons/resources/icons/%1.png").arg(id);
    f.suffix = QLatin1Char('.') + id;
    f.toFolder = true;
    f.usesResolution = true;
    f.chooserTitle = QStringLiteral("导出为%1文件").arg(id.toUpper());
    f.progressText = QStringLiteral("正在导出%1文件···").arg(id.toUpper());
    f.write = [id](const ExportFormat::Job &job) {
        return job.typesetter.exportImages(job.path, job.resolutionIndex, id);
    };
    return f;
}

QVector<ExportFormat> makeFormats() {
    ExportFormat pdf;
    pdf.id = QStringLiteral("pdf");
    pdf.label = QStringLiteral("PDF");
    pdf.icon = QStringLiteral(":/icons/resources/icons/pdf.png");
    pdf.suffix = QStringLiteral(".pdf");
    pdf.chooserTitle = QStringLiteral("导出为PDF文件");
    pdf.fileFilter = QStringLiteral("PDF文件 (*.pdf)");
    pdf.progressText = QStringLiteral("正在导出PDF文件···");
    pdf.write = [](const ExportFormat::Job &job) { return job.typesetter.exportPdf(job.path); };

    ExportFormat svg;
    svg.id = QStringLiteral("svg");
    svg.label = QStringLiteral("SVG");
    svg.icon = QStringLiteral(":/icons/resources/icons/svg.png");
    svg.suffix = QStringLiteral(".svg");
    svg.toFolder = true;
    svg.chooserTitle = QStringLiteral("导出为SVG文件");
    svg.progressText = QStringLiteral("正在导出SVG文件···");
    svg.write = [](const ExportFormat::Job &job) { return job.typesetter.exportSvg(job.path); };

    // The melody, from the document itself: no pages are typeset for it.
    ExportFormat midi;
    midi.id = QStringLiteral("midi");
    midi.label = QStringLiteral("MIDI");
    midi.suffix = QStringLiteral(".mid");
    midi.needsPages = false;
    midi.chooserTitle = QStringLiteral("导出为MIDI文件");
    midi.fileFilter = QStringLiteral("MIDI文件 (*.mid)");
    midi.progressText = QStringLiteral("正在导出MIDI文件···");
    midi.write = [](const ExportFormat::Job &job) {
        music::MidiWriter::Options options;
        options.title = ExportFormat::documentTitle(job.lines);
        return music::MidiWriter::write(music::MelodyBuilder().build(job.lines), job.path, options);
    };

    ExportFormat musicXml;
    musicXml.id = QStringLiteral("musicxml");
    musicXml.label = QStringLiteral("MusicXML");
    musicXml.suffix = QStringLiteral(".musicxml");
    musicXml.needsPages = false;
    musicXml.chooserTitle = QStringLiteral("导出为MusicXML文件");
    musicXml.fileFilter = QStringLiteral("MusicXML文件 (*.musicxml)");
    musicXml.progressText = QStringLiteral("正在导出MusicXML文件···");
    musicXml.write = [](const ExportFormat::Job &job) {
        music::MusicXmlWriter::Options options;
        options.title = ExportFormat::documentTitle(job.lines);
        // 加赠 measures as the pages write them: one setting for both.
        options.splitZengMeasures = ExportConfig::instance()->splitZeng();
        return music::MusicXmlWriter::write(music::MelodyBuilder().build(job.lines), job.path,
                                            options);
    };

    // The melody played by the sound font, as playback plays it.
    ExportFormat wav;
    wav.id = QStringLiteral("wav");
    wav.label = QStringLiteral("WAV");
    wav.suffix = QStringLiteral(".wav");
    wav.needsPages = false;
    wav.chooserTitle = QStringLiteral("导出为WAV文件");
    wav.fileFilter = QStringLiteral("WAV文件 (*.wav)");
    wav.progressText = QStringLiteral("正在导出WAV文件···");
    wav.write = [](const ExportFormat::Job &job) {
        music::Synthesizer synthesizer;
        const Outcome loaded = synthesizer.load();
        if (!loaded) {
            return loaded;
        }
        // Rendered block by block straight into the file: the memory it
        // takes does not grow with the piece.
        synthesizer.start(music::MelodyBuilder().build(job.lines), {});
        return music::WavWriter::write(
            job.path, synthesizer.lengthFrames(),
            [&synthesizer](int frames, int16_t *out) { synthesizer.render(frames, out); });
    };

    return {pdf,
            imageFormat(QStringLiteral("jpg")),
            imageFormat(QStringLiteral("png")),
            svg,
            midi,
            musicXml,
            wav};
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
