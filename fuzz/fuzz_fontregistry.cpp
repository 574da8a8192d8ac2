// Installed fonts: any bytes as a "*.ttf" in the fonts directory, then a
// reload of the registry. A file that is not a font is skipped; a font is
// listed after the embedded one.
#include "fonts/fontregistry.h"
#include "fuzz_common.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    FontRegistry *registry = FontRegistry::instance();
    QDir().mkpath(registry->fontsDir());
    const QString path = QDir(registry->fontsDir()).filePath(QStringLiteral("fuzzed.ttf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fuzz::fail("cannot write the font file");
    }
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    registry->reload();
    const QStringList families = registry->families();
    if (families.isEmpty() || families.first() != registry->defaultFamily()) {
        fuzz::fail("the embedded font is not listed first");
    }
    for (const QString &family : families) {
        QFont font(family, 16);
        QFontMetrics metrics(font);
        metrics.horizontalAdvance(QString::fromUcs4(U"\U000F0010\U000F0003"));
    }
    QFile::remove(path);
    fuzz::endRun();
    return 0;
}
