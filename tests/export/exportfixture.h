#pragma once

// Small documents and helpers shared by the writer, dialog and command-line
// tests.

#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "model/rendermodel.h"
#include "testsupport.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/resource.h>

// A short scene with every kind of line: title, tune heading, sung lines with
// scores, a spoken passage, interjected speech, a page break and a second page.
struct SampleScore {
    QString lyric;
    QString score;
};

inline SampleScore sampleScore(bool withTitle = true) {
    const QStringList pitches = {sym(0xF002C), sym(0xF0030), sym(0xF002F),
                                 sym(0xF0031), sym(0xF0033), sym(0xF002E)};
    const QStringList marks = {sym(0xF0000), sym(0xF0001), sym(0xF0002), sym(0xF0006)};
    QStringList lyric;
    if (withTitle) {
        lyric << QStringLiteral("# 游园");
    }
    lyric << QStringLiteral("【皂罗袍】(仙吕)") << QStringLiteral("原来姹紫嫣红开遍，")
          << QStringLiteral("似这般都付与断井颓垣。")
          << QStringLiteral("= 春香，你看这园中景致如何？") << QStringLiteral("> 好景致！")
          << QStringLiteral("@分页符") << QStringLiteral("良辰美景奈何天，赏心乐事谁家院。");
    SampleScore s;
    s.lyric = lyric.join(QLatin1Char('\n'));
    QStringList scores;
    const int sung =
        sungCharCount(QStringLiteral("原来姹紫嫣红开遍似这般都付与断井颓垣良辰美景奈何天赏心"
                                     "乐事谁家院"));
    for (int i = 0; i < sung; ++i) {
        scores << pitches.at(i % pitches.size()) + marks.at(i % marks.size()) +
                      pitches.at((i + 2) % pitches.size());
    }
    s.score = scores.join(QLatin1Char('\n'));
    return s;
}

inline DocumentLines sampleLines(bool withTitle = true) {
    const SampleScore s = sampleScore(withTitle);
    return renderModel(s.lyric, s.score);
}

// A line of that kind with that text, as the document model makes it.
inline DocumentLine lineOf(LineKind kind, const QString &text) {
    DocumentLine line;
    line.text = text;
    line.kind = kind;
    return line;
}

// The preview tests' set-up. Once: a program folder of the test's own and
// the Chinese fonts substituted as on a user's system.
inline bool usePreviewProgramDir() {
    if (!useProgramDir()) {
        return false;
    }
    installChineseFontSubstitutions();
    return true;
}

// Before each test: the export settings as at a first start, the defaults
// in force and none stored.
inline void resetExportSettings() {
    ExportConfig::instance()->restoreDefaults();
    QSettings(AppPaths::settingsFile(), QSettings::IniFormat)
        .remove(QStringLiteral("ExportSettings"));
}

// Lines that fill n pages at the default settings.
inline DocumentLines manyPages(int n) {
    DocumentLines lines;
    const DocumentLines one = sampleLines(false);
    for (int i = 0; i < n; ++i) {
        lines << one << lineOf(LineKind::PageBreak, QStringLiteral("@分页符"));
    }
    return lines;
}

// Limits the size of files this process writes (as a full disk would), with
// the signal that the limit raises ignored, for the lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = m_old;
        small.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool ok() const { return m_ok; }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

inline bool haveTool(const QString &name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

// Runs a tool; returns its standard output, or a null array when it failed.
inline QByteArray
runTool(const QString &program, const QStringList &args,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return QByteArray();
    }
    QByteArray out = p.readAllStandardOutput();
    if (out.isNull()) {
        out = QByteArray("");
    }
    return out;
}

// An SVG page as Qt's renderer draws it on white, at size, moved or scaled
// by transform.
inline QImage renderSvg(const QByteArray &svg, const QSize &size,
                        const QTransform &transform = QTransform()) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QSvgRenderer renderer(svg);
    QPainter painter(&image);
    painter.setTransform(transform);
    renderer.render(&painter);
    return image;
}

// How far two renderings of the same page differ: both are reduced to grey,
// averaged over blocks of block × block pixels (which evens out antialiasing
// and sub-pixel glyph placement), and the mean absolute difference of the
// blocks that hold ink in either image is returned, 0 (same) .. 255. The
// largest difference of one block goes to worst: a glyph missing in one image.
inline double blockDifference(const QImage &a, const QImage &b, int block = 4,
                              double *worst = nullptr) {
    if (a.size() != b.size() || a.isNull()) {
        return 255;
    }
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    int blocks = 0;
    for (int y = 0; y + block <= ga.height(); y += block) {
        for (int x = 0; x + block <= ga.width(); x += block) {
            int sa = 0, sb = 0;
            for (int j = 0; j < block; ++j) {
                const uchar *la = ga.constScanLine(y + j) + x;
                const uchar *lb = gb.constScanLine(y + j) + x;
                for (int i = 0; i < block; ++i) {
                    sa += la[i];
                    sb += lb[i];
                }
            }
            const double ma = sa / double(block * block);
            const double mb = sb / double(block * block);
            if (ma < 250 || mb < 250) {
                sum += std::abs(ma - mb);
                ++blocks;
                if (worst) {
                    *worst = std::max(*worst, std::abs(ma - mb));
                }
            }
        }
    }
    return blocks ? sum / blocks : 0;
}
