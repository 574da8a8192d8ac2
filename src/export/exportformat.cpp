#include "export/exportformat.h"

#include "export/exportconfig.h"
#include "music/melodybuilder.h"
#include "music/midiwriter.h"
#include "music/musicxmlwriter.h"
#include "music/synthesizer.h"
#include "music/wavwriter.h"
#include "typeset/typesetter.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

ExportFormat imageFormat(const QString &id) {
    ExportFormat f;
    f.id = id;
    f.label = id;
    f.icon = QStringLiteral(":/icons/resources/icons/%1.png").arg(id);
    f.suffix = QLatin1Char('.') + id;
    f.toFolder = true;
    f.usesResolution = true;
    f.chooserTitle = QStringLiteral("导出为%1文件").arg(id.toUpper());
    f.progressText = QStringLiteral("正在导出%1文件···").arg(id);
    f.write = [id](const ExportFormat::Job &job) {
        return job.typesetter.exportImages(job.path, job.resolutionIndex, id);
    };
    return f;
}

QVector<ExportFormat> makeFormats() {
    ExportFormat pdf;
    pdf.id = QStringLiteral("pdf");
    pdf.label = pdf.id;
    pdf.icon = QStringLiteral(":/icons/resources/icons/pdf.png");
    pdf.suffix = QStringLiteral(".pdf");
    pdf.chooserTitle = QStringLiteral("导出为PDF文件");
    pdf.fileFilter = QStringLiteral("PDF文件 (*.pdf)");
    pdf.progressText = QStringLiteral("正在导出PDF文件···");
    pdf.write = [](const ExportFormat::Job &job) { return job.typesetter.exportPdf(job.path); };

    ExportFormat svg;
    svg.id = QStringLiteral("svg");
    svg.label = svg.id;
    svg.icon = QStringLiteral(":/icons/resources/icons/svg.png");
    svg.suffix = QStringLiteral(".svg");
    svg.toFolder = true;
    svg.chooserTitle = QStringLiteral("导出为SVG文件");
    svg.progressText = QStringLiteral("正在导出SVG文件···");
    svg.write = [](const ExportFormat::Job &job) { return job.typesetter.exportSvg(job.path); };

    // The melody, from the document itself: no pages are typeset for it.
    ExportFormat midi;
    midi.id = QStringLiteral("midi");
    midi.label = midi.id;
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
        const music::Melody melody = music::MelodyBuilder().build(job.lines);
        return music::WavWriter::write(synthesizer.renderAll(melody, {}), job.path);
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
            title = sungText(line.text);
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

QString ExportFormat::idList() {
    QStringList ids;
    for (const ExportFormat &f : all()) {
        ids.append(f.id);
    }
    const QString last = ids.takeLast();
    return ids.isEmpty() ? last : ids.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
