#include "shell/commandlineexport.h"

#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "typeset/typesetter.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char *const program = "qorvel";

void printLine(FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int usageError(const QString &problem) {
    printLine(stderr,
              QStringLiteral("%1: %2 (see %1 --help)").arg(QLatin1String(program), problem));
    return CommandLineExport::UsageError;
}

int failure(const QString &reason) {
    printLine(stderr, QStringLiteral("%1: %2").arg(QLatin1String(program), reason));
    return CommandLineExport::Failure;
}

// A progress bar on standard error, redrawn in place.
class ProgressBar {
public:
    void update(Typesetter::Progress progress, int value, int maxValue, const QString &title) {
        using Progress = Typesetter::Progress;
        if (progress == Progress::Started) {
            m_title = title;
            m_max = maxValue;
        }
        if (m_max <= 0) {
            return;
        }
        const int shown =
            progress == Progress::Finished ? m_max : std::min(std::max(value, 0), m_max);
        constexpr int width = 30;
        const int filled = shown * width / m_max;
        const QString bar = QStringLiteral("\r%1 [%2%3] %4/%5")
                                .arg(m_title, QString(filled, QLatin1Char('#')),
                                     QString(width - filled, QLatin1Char('-')))
                                .arg(shown)
                                .arg(m_max);
        const QByteArray bytes = bar.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        if (progress == Progress::Finished) {
            std::fputc('\n', stderr);
        }
        std::fflush(stderr);
    }

private:
    QString m_title;
    int m_max = 0;
};

int resolutionIndexOf(int dpi) {
    switch (dpi) {
    case 160:
        return 1;
    case 300:
        return 2;
    case 600:
        return 3;
    default:
        return 0;
    }
}

// Standard error carries the progress and the one line of a failure; the
// toolkit's notes and complaints (a missing runtime directory, say) would
// only clutter it. Its own failures reach the user as the run's result.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message) {
    if (type == QtFatalMsg) {
        printLine(stderr, message);
    }
}

} // namespace

bool CommandLineExport::wanted(int argc, char **argv) {
    bool wanted = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--") == 0) {
            break;
        }
        if (std::strcmp(a, "--export") == 0 || std::strncmp(a, "--export=", 9) == 0 ||
            std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0 ||
            std::strcmp(a, "-?") == 0 || std::strcmp(a, "--help-all") == 0) {
            wanted = true;
            break;
        }
    }
    if (wanted) {
        qInstallMessageHandler(quietMessages);
    }
    if (wanted && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The layout measures text with the screen's font metrics; offscreen
        // would report 100 dpi where a desktop has 96.
        if (qEnvironmentVariableIsEmpty("QT_FONT_DPI")) {
            qputenv("QT_FONT_DPI", "96");
        }
    }
    return wanted;
}

int CommandLineExport::run(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Qorvel工尺谱: editor and typesetter of Kunqu opera scores in gongche notation.\n"
        "\n"
        "  qorvel [FILE.gcp]\n"
        "      Opens the editor (with the score, if one is given).\n"
        "  qorvel --export FORMAT -o|--output PATH [--dpi DPI] [--scheme SCHEME.json]\n"
        "         [--notation gongche|jianpu] [--zeng split|whole] FILE.gcp\n"
        "      Typesets the score and writes it without opening a window, with the\n"
        "      export settings of settings.ini. Prints what it wrote.\n"
        "      Exit status: 0 success, 1 failure, 2 usage error."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption exportOption(
        QStringLiteral("export"),
        QStringLiteral("Export the score as %1.").arg(ExportFormat::idList()),
        QStringLiteral("FORMAT"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral(
            "The file to write (pdf, midi, musicxml, wav), or the directory in which a new "
            "folder of pages is made (png, jpg, svg)."),
        QStringLiteral("PATH"));
    const QCommandLineOption dpiOption(
        QStringLiteral("dpi"),
        QStringLiteral("Resolution of png and jpg pages: 96, 160, 300 or 600 (default 96)."),
        QStringLiteral("DPI"));
    const QCommandLineOption schemeOption(
        QStringLiteral("scheme"),
        QStringLiteral("Export settings from a scheme file, for this run only."),
        QStringLiteral("SCHEME.json"));
    const QCommandLineOption notationOption(
        QStringLiteral("notation"),
        QStringLiteral("Set the pages of pdf, svg, png and jpg in gongche columns or as jianpu "
                       "(numbered notation), for this run only. Default: the notation of the "
                       "settings or the scheme, gongche unless changed. Ignored by midi, "
                       "musicxml and wav."),
        QStringLiteral("gongche|jianpu"));
    const QCommandLineOption zengOption(
        QStringLiteral("zeng"),
        QStringLiteral("Write 加赠 measures whole (8/4) or split at the 赠板 into two 4/4 "
                       "measures with a dashed bar line, on jianpu pages and in musicxml, for "
                       "this run only. Default: the settings or the scheme, whole unless "
                       "changed."),
        QStringLiteral("split|whole"));
    parser.addOptions(
        {exportOption, outputOption, dpiOption, schemeOption, notationOption, zengOption});
    parser.addPositionalArgument(QStringLiteral("FILE.gcp"),
                                 QStringLiteral("The score file to open or to export."));

    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(helpOption)) {
        printLine(stdout, parser.helpText().trimmed());
        return Success;
    }
    if (!parser.isSet(exportOption)) {
        return usageError(QStringLiteral("--export FORMAT is missing"));
    }
    const ExportFormat *format = ExportFormat::find(parser.value(exportOption));
    if (!format) {
        return usageError(QStringLiteral("unknown format \"%1\"; use %2")
                              .arg(parser.value(exportOption), ExportFormat::idList()));
    }
    if (!parser.isSet(outputOption) || parser.value(outputOption).isEmpty()) {
        return usageError(QStringLiteral("--output PATH is missing"));
    }
    int dpi = 96;
    if (parser.isSet(dpiOption)) {
        bool ok = false;
        dpi = parser.value(dpiOption).toInt(&ok);
        if (!ok || (dpi != 96 && dpi != 160 && dpi != 300 && dpi != 600)) {
            return usageError(QStringLiteral("--dpi must be 96, 160, 300 or 600"));
        }
    }
    PageStyle::Notation notation = PageStyle::Notation::Gongche;
    const bool notationGiven = parser.isSet(notationOption);
    if (notationGiven && !ExportConfig::notationFromName(parser.value(notationOption), &notation)) {
        return usageError(QStringLiteral("--notation must be gongche or jianpu, not \"%1\"")
                              .arg(parser.value(notationOption)));
    }
    bool splitZeng = false;
    const bool zengGiven = parser.isSet(zengOption);
    if (zengGiven && !ExportConfig::zengFromName(parser.value(zengOption), &splitZeng)) {
        return usageError(QStringLiteral("--zeng must be split or whole, not \"%1\"")
                              .arg(parser.value(zengOption)));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(files.isEmpty() ? QStringLiteral("no score file given")
                                          : QStringLiteral("one score file at a time"));
    }
    const QString file = files.first();
    const QString output = parser.value(outputOption);
    // Neither the score itself nor any other score is written over.
    const QString refused = ExportFormat::refusedOutput(output, {file});
    if (!refused.isEmpty()) {
        return failure(refused);
    }

    // The settings file is read, never written: what this run changes (a
    // scheme, the values saved at exit) goes to a private copy.
    ExportConfig &config = *ExportConfig::instance();
    config.detachSettings();
    if (parser.isSet(schemeOption)) {
        const QString scheme = parser.value(schemeOption);
        if (!config.importScheme(scheme)) {
            return failure(
                QStringLiteral("%1: %2").arg(scheme, QStringLiteral("导入失败，文件错误！")));
        }
    }
    if (notationGiven) {
        config.setNotation(notation);
    }
    if (zengGiven) {
        config.setSplitZeng(splitZeng);
    }

    QString lyric, score;
    ScoreFileDamage damage = ScoreFileDamage::None;
    const Outcome read = readScoreFile(file, &lyric, &score, &damage);
    if (!read) {
        return failure(QStringLiteral("cannot read %1: %2").arg(file, read.message()));
    }
    if (damage != ScoreFileDamage::None) {
        // Pages typeset from part of a score are not the score: nothing is written.
        return failure(QStringLiteral("cannot read %1: the file is damaged (%2); nothing written")
                           .arg(file, scoreFileDamageText(damage)));
    }
    const DocumentLines lines = renderModel(lyric, score);

    Typesetter engine;
    ProgressBar bar;
    if (isatty(STDERR_FILENO)) {
        QObject::connect(&engine, &Typesetter::progressUpdate,
                         [&bar, format](Typesetter::Task task, Typesetter::Progress progress,
                                        int value, int maxValue) {
                             const QString title = task == Typesetter::Task::Typeset
                                                       ? QStringLiteral("绘制曲谱")
                                                       : QStringLiteral("导出");
                             bar.update(progress, value, maxValue, title);
                         });
    }
    engine.reset();
    if (format->needsPages) {
        engine.generate(config.pageStyle(), lines, false);
    }

    const Outcome written = format->write({engine, lines, output, resolutionIndexOf(dpi)});
    if (!written) {
        return failure(QStringLiteral("cannot write to %1: %2").arg(output, written.message()));
    }
    printLine(stdout, QDir::toNativeSeparators(written.path()));
    return Success;
}
