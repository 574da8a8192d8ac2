// Scheme import: any bytes as a JSON scheme file, then a one-page preview
// with the imported settings. Import may refuse the file; the typesetter must
// lay out whatever it accepted in bounded time and memory.
#include "export/exportconfig.h"
#include "typeset/typesetter.h"
#include "fuzz_common.h"
#include "model/linegrammar.h"

#include <QFile>
#include <QTemporaryDir>

QORVEL_FUZZ_INIT

namespace {

DocumentLines sampleDocument() {
    const QString score = QString::fromUcs4(U"\U000F0010\U000F0003\U000F0020");
    DocumentLines lines;
    lines.append({QStringLiteral("游园"), {}, LineKind::Title});
    lines.append({QStringLiteral("【皂罗袍】(仙吕)"), {}, LineKind::QuPai});
    lines.append({QStringLiteral("原来姹紫嫣红，开遍"),
                  {score, score, score, score, score, score, QString(), score, score},
                  LineKind::Lyric});
    lines.append({QStringLiteral("白"), {}, LineKind::LianBai});
    lines.append({QStringLiteral("夹白"), {}, LineKind::JiaBai});
    lines.append({QString(), {}, LineKind::LineBreak});
    lines.append({QStringLiteral("似这般"), {score, score, score}, LineKind::Lyric});
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    static QTemporaryDir dir;
    static const DocumentLines lines = sampleDocument();
    ExportConfig *config = ExportConfig::instance();
    config->restoreDefaults();

    const QString path = dir.filePath(QStringLiteral("scheme.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return 0;
    }
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    if (config->importScheme(path)) {
        Typesetter engine;
        engine.generate(ExportConfig::instance()->pageStyle(), lines, true);
        if (engine.pages().isEmpty()) {
            fuzz::fail("a preview without pages");
        }
    }
    config->restoreDefaults();
    fuzz::endRun();
    return 0;
}
