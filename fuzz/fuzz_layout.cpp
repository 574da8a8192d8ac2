// The layout engine on random documents: lines of every kind with random
// characters (sung characters, punctuation, gongche symbols, stray and broken
// code units) and random scores, under random configurations both inside the
// export dialog's ranges and far outside them.
#include "export/exportconfig.h"
#include "typeset/typesetter.h"
#include "fuzz_common.h"
#include "model/documentline.h"

#include <QXmlStreamReader>

QORVEL_FUZZ_INIT

namespace {

// One character: most often something a real document holds.
QString randomChar(fuzz::Bytes &in) {
    static const QString common = QStringLiteral("春香原来姹紫嫣红开遍 ，。、！？（）【】()#@=;白");
    switch (in.below(8)) {
    case 0:
    case 1:
    case 2:
        return QString(common.at(int(in.below(uint32_t(common.size())))));
    case 3:
        return QString::fromUcs4(std::u32string(1, char32_t(0xF0000 + in.below(0xA0))).c_str());
    case 4:
        return QString(QChar(ushort(0x4E00 + in.below16(0x51A6))));
    case 5:
        return QString(QChar(ushort(in.below16(0x10000)))); // lone surrogates included
    case 6:
        return QString(QChar(ushort(0x20 + in.below(0x5F))));
    default:
        return QString::fromUcs4(
            std::u32string(1, char32_t(0x10000 + in.below16(0xFFFF) * 16)).c_str());
    }
}

QString randomScore(fuzz::Bytes &in) {
    QString s;
    const int n = int(in.below(7));
    for (int i = 0; i < n; ++i) {
        if (in.below(6) == 0) {
            s += randomChar(in);
        } else {
            s += QString::fromUcs4(std::u32string(1, char32_t(0xF0000 + in.below(0xA0))).c_str());
        }
    }
    return s;
}

// The characters of s, a surrogate pair kept whole.
int characterCount(const QString &s) {
    int n = 0;
    for (int i = 0; i < s.size(); ++i, ++n) {
        if (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            ++i;
        }
    }
    return n;
}

int value(fuzz::Bytes &in, int lo, int hi) {
    // Mostly in range, sometimes anywhere at all.
    if (in.below(8) == 0) {
        return int(in.u32());
    }
    return in.range(lo, hi);
}

void configure(fuzz::Bytes &in, ExportConfig *c) {
    c->restoreDefaults();
    const int changes = int(in.below(12));
    for (int i = 0; i < changes; ++i) {
        switch (in.below(20)) {
        case 0:
            // Every size the enumeration holds; stored ids outside it are
            // checked where the settings are read.
            c->setPageSizeId(QPageSize::PageSizeId(in.range(0, int(QPageSize::LastPageSize))));
            break;
        case 1:
            c->setPageWidth(value(in, 10, 3000));
            break;
        case 2:
            c->setPageHeight(value(in, 10, 3000));
            break;
        case 3:
            c->setMarginTop(value(in, 0, 500));
            break;
        case 4:
            c->setMarginBottom(value(in, 0, 500));
            break;
        case 5:
            c->setMarginLeft(value(in, 0, 500));
            break;
        case 6:
            c->setMarginRight(value(in, 0, 500));
            break;
        case 7:
            c->setColWidth(value(in, 10, 400));
            break;
        case 8:
            c->setMColWidth(value(in, 10, 400));
            break;
        case 9:
            c->setTitleWidth(value(in, 10, 400));
            break;
        case 10:
            c->setLyricSpace(value(in, -50, 100));
            break;
        case 11:
            c->setScoreSpace(value(in, -50, 100));
            break;
        case 12:
            c->setBanYanSpace(value(in, -50, 100));
            break;
        case 13:
            c->setScoreAngle(value(in, -90, 90));
            break;
        case 14:
            c->setLyricScoreSpace(value(in, -50, 100));
            break;
        case 15:
            c->setScoreBanYanSpace(value(in, -50, 100));
            break;
        case 16:
            c->setTitlePos(value(in, 0, 2));
            break;
        case 17: {
            const int size = value(in, 5, 80);
            switch (in.below(7)) {
            case 0:
                c->setTitleFontSize(size);
                break;
            case 1:
                c->setLyricFontSize(size);
                break;
            case 2:
                c->setScoreFontSize(size);
                break;
            case 3:
                c->setQuPaiFontSize(size);
                break;
            case 4:
                c->setDiaoMingFontSize(size);
                break;
            case 5:
                c->setLianBaiFontSize(size);
                break;
            default:
                c->setJiaBaiFontSize(size);
                break;
            }
            break;
        }
        case 18: {
            const uint8_t b = in.byte();
            c->setIsLandscape(b & 1);
            c->setIsLineBreakScoreOverflow(b & 2);
            c->setIsHiddenSymbol(b & 4);
            c->setIsBgTransparent(b & 8);
            break;
        }
        default:
            c->setScoreColor(in.below(4) ? QColor(QRgb(in.u32())) : QColor());
            c->setBanColor(QColor(QRgb(in.u32())));
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    fuzz::Bytes in(data, size);
    ExportConfig *config = ExportConfig::instance();
    configure(in, config);
    const bool previewOnly = in.below(4) != 0;

    DocumentLines lines;
    const int lineCount = int(in.below(24));
    for (int i = 0; i < lineCount && !in.empty(); ++i) {
        DocumentLine line;
        static const LineKind kinds[] = {
            LineKind::Title, LineKind::Comment,   LineKind::JiaBai,    LineKind::LianBai,
            LineKind::QuPai, LineKind::LineBreak, LineKind::PageBreak, LineKind::Lyric,
            LineKind::Lyric, LineKind::Lyric,     LineKind::Other};
        line.kind = kinds[in.below(sizeof kinds / sizeof kinds[0])];
        const int length = int(in.below(line.kind == LineKind::Lyric ? 24 : 12));
        for (int k = 0; k < length; ++k) {
            line.text += randomChar(in);
        }
        if (line.kind == LineKind::Lyric) {
            const int n = characterCount(line.text);
            for (int k = 0; k < n; ++k) {
                line.scores.append(in.below(5) ? randomScore(in) : QString());
            }
        }
        lines.append(line);
    }

    Typesetter engine;
    engine.generate(ExportConfig::instance()->pageStyle(), lines, previewOnly);
    if (engine.pages().isEmpty()) {
        fuzz::fail("no page generated");
    }
    for (const QByteArray &page : engine.pages()) {
        QXmlStreamReader xml(page);
        while (!xml.atEnd()) {
            xml.readNext();
        }
        if (xml.hasError()) {
            fuzz::fail("a page that is not well-formed XML");
        }
    }
    if (previewOnly) {
        // A preview stops at the first line after its second page began, so
        // a single long line may still carry it further; but its first page
        // must be exactly the first page of the whole score.
        Typesetter full;
        full.generate(ExportConfig::instance()->pageStyle(), lines, false);
        if (full.pages().size() < engine.pages().size()) {
            fuzz::fail("a preview with more pages than the whole score");
        }
        if (full.pages().constFirst() != engine.pages().constFirst()) {
            fuzz::fail("a preview whose first page differs from the score's");
        }
    }
    config->restoreDefaults();
    fuzz::endRun();
    return 0;
}
