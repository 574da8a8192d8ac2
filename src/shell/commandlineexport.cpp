#include "shell/commandlineexport.h"

#include "book/bookedition.h"
#include "book/bookfile.h"
#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "import/musicimport.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "shell/librarysearchcommand.h"
#include "staff/staffedition.h"
#include "staff/staffengraver.h"
#include "typeset/typesetter.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <optional>
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

    // done of total pieces of work (tunes engraved, pieces set), the first
    // report starting the bar.
    void count(int done, int total, const QString &title) {
        using Progress = Typesetter::Progress;
        update(!m_counting     ? Progress::Started
               : done >= total ? Progress::Finished
                               : Progress::Advanced,
               done, total, title);
        m_counting = true;
    }

private:
    QString m_title;
    int m_max = 0;
    bool m_counting = false;
};

// The index of a resolution among those of the pages, -1 for any other.
int resolutionIndexOf(int dpi) {
    switch (dpi) {
    case 96:
        return 0;
    case 160:
        return 1;
    case 300:
        return 2;
    case 600:
        return 3;
    default:
        return -1;
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
            std::strcmp(a, "--import") == 0 || std::strncmp(a, "--import=", 9) == 0 ||
            std::strcmp(a, "--book") == 0 || std::strncmp(a, "--book=", 7) == 0 ||
            std::strcmp(a, "--library-search") == 0 ||
            std::strncmp(a, "--library-search=", 17) == 0 || std::strcmp(a, "-h") == 0 ||
            std::strcmp(a, "--help") == 0 || std::strcmp(a, "-?") == 0 ||
            std::strcmp(a, "--help-all") == 0) {
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

namespace {

// The options of the command line, in the order of the help text.
struct Options {
    QCommandLineOption help;
    QCommandLineOption format;
    QCommandLineOption output;
    QCommandLineOption dpi;
    QCommandLineOption scheme;
    QCommandLineOption notation;
    QCommandLineOption zeng;
    QCommandLineOption importFile;
    QCommandLineOption book;
    QCommandLineOption librarySearch;
    QCommandLineOption library;
};

Options describeOptions(QCommandLineParser &parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Qorvel工尺谱: editor and typesetter of Kunqu opera scores in gongche notation.\n"
        "\n"
        "  qorvel [FILE.gcp]\n"
        "      Opens the editor (with the score, if one is given).\n"
        "  qorvel --export FORMAT -o|--output PATH [--dpi DPI] [--scheme SCHEME.json]\n"
        "         [--notation gongche|jianpu|staff] [--zeng split|whole] FILE.gcp\n"
        "      Typesets the score and writes it without opening a window, with the\n"
        "      export settings of settings.ini. Prints what it wrote.\n"
        "  qorvel --import MUSIC -o|--output OUT.gcp\n"
        "      Reads MusicXML (.musicxml, .xml, .mxl) or a MIDI file and writes it as\n"
        "      a gongche score; what the import changed is listed on standard error.\n"
        "      With --export, the imported score goes straight to pages.\n"
        "  qorvel --book FILE.gcpbook --export pdf|png|jpg|svg -o|--output PATH\n"
        "         [--dpi DPI] [--scheme SCHEME.json] [--notation gongche|jianpu|staff]\n"
        "      Typesets a book of scores (title page, contents, running heads and\n"
        "      continuous page numbers) and writes its pages. The book's own notation\n"
        "      and scheme apply unless --notation or --scheme say otherwise.\n"
        "  qorvel --library-search QUERY --library DIR [--library DIR2 ...]\n"
        "      Searches the score files in the folders (and their subfolders) through\n"
        "      the library's index, brought up to date first. QUERY is as in the 曲库\n"
        "      dock: words, or 标题: 曲牌: 宫调: 笛色: 板式: 词: 腔: 音程: followed by\n"
        "      the text. Prints PATH:LINE:COLUMN: [FIELD] CONTEXT for each hit.\n"
        "      Exit status: 0 success, 1 failure, 2 usage error."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption exportOption(
        QStringLiteral("export"),
        QStringLiteral("Export the score as %1.").arg(ExportFormat::idList()),
        QStringLiteral("FORMAT"));
    const QCommandLineOption outputOption(
        {QStringLiteral("o"), QStringLiteral("output")},
        QStringLiteral(
            "The file to write (pdf, midi, musicxml, wav, ly), or the directory in which a new "
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
        QStringLiteral("Set the pages of pdf, svg, png and jpg in gongche columns, as jianpu "
                       "(numbered notation) or as staff engraved by LilyPond, for this run "
                       "only. Default: the notation of the settings or the scheme, gongche "
                       "unless changed. Ignored by midi, musicxml, wav and ly."),
        QStringLiteral("gongche|jianpu|staff"));
    const QCommandLineOption zengOption(
        QStringLiteral("zeng"),
        QStringLiteral("Write 加赠 measures whole (8/4) or split at the 赠板 into two 4/4 "
                       "measures with a dashed bar line, on jianpu pages and in musicxml, for "
                       "this run only. Default: the settings or the scheme, whole unless "
                       "changed."),
        QStringLiteral("split|whole"));
    const QCommandLineOption importOption(
        QStringLiteral("import"),
        QStringLiteral("Read a MusicXML or MIDI file as the score, instead of FILE.gcp: "
                       "written as a score file to --output, or exported with --export."),
        QStringLiteral("MUSIC"));
    const QCommandLineOption bookOption(
        QStringLiteral("book"),
        QStringLiteral("Export the book (.gcpbook) instead of FILE.gcp, as pdf, png, jpg or svg."),
        QStringLiteral("FILE.gcpbook"));
    const QCommandLineOption librarySearchOption(
        QStringLiteral("library-search"),
        QStringLiteral("Search the score library in the folders given by --library."),
        QStringLiteral("QUERY"));
    const QCommandLineOption libraryOption(
        QStringLiteral("library"),
        QStringLiteral("A folder of score files for --library-search; may be repeated."),
        QStringLiteral("DIR"));
    parser.addOptions({exportOption, outputOption, dpiOption, schemeOption, notationOption,
                       zengOption, importOption, bookOption, librarySearchOption, libraryOption});
    parser.addPositionalArgument(
        QStringLiteral("FILE.gcp"),
        QStringLiteral("The score file to export, or the score and book (.gcpbook) files to "
                       "open in the editor."),
        QStringLiteral("[FILE.gcp|FILE.gcpbook...]"));
    return {helpOption,   exportOption,        outputOption, dpiOption,
            schemeOption, notationOption,      zengOption,   importOption,
            bookOption,   librarySearchOption, libraryOption};
}

// What an export run is asked to do, its options checked.
struct Request {
    const ExportFormat *format = nullptr; // none: an import written as a score file
    QString file;                         // the score file, or the music file imported
    bool imports = false;
    bool book = false; // file is a book (.gcpbook)
    QString output;
    int dpi = 96;
    std::optional<QString> scheme;
    std::optional<PageStyle::Notation> notation;
    std::optional<bool> splitZeng;
};

// A book to export, in request: it is the one file of the run, and it has
// pages. files becomes the book; a usage error names what is wrong.
bool readBookRequest(const QCommandLineParser &parser, const Options &options, Request *request,
                     QStringList *files) {
    if (request->imports) {
        usageError(QStringLiteral("--book and --import at once"));
        return false;
    }
    if (!files->isEmpty()) {
        usageError(QStringLiteral("--book and a score file at once"));
        return false;
    }
    if (request->format && !request->format->needsPages) {
        usageError(QStringLiteral("a book is exported as pdf, png, jpg or svg, not %1")
                       .arg(request->format->id));
        return false;
    }
    request->book = true;
    *files = QStringList{parser.value(options.book)};
    return true;
}

// The request of a parsed command line; a usage error names the first
// option that is missing or wrong, and no request is made.
std::optional<Request> readRequest(const QCommandLineParser &parser, const Options &options) {
    Request request;
    request.imports = parser.isSet(options.importFile);
    if (!parser.isSet(options.format) && !request.imports) {
        usageError(QStringLiteral("--export FORMAT is missing"));
        return std::nullopt;
    }
    request.format =
        parser.isSet(options.format) ? ExportFormat::find(parser.value(options.format)) : nullptr;
    if (!request.format && parser.isSet(options.format)) {
        usageError(QStringLiteral("unknown format \"%1\"; use %2")
                       .arg(parser.value(options.format), ExportFormat::idList()));
        return std::nullopt;
    }
    request.output = parser.value(options.output);
    if (!parser.isSet(options.output) || request.output.isEmpty()) {
        usageError(QStringLiteral("--output PATH is missing"));
        return std::nullopt;
    }
    if (parser.isSet(options.dpi)) {
        bool ok = false;
        request.dpi = parser.value(options.dpi).toInt(&ok);
        if (!ok || resolutionIndexOf(request.dpi) < 0) {
            usageError(QStringLiteral("--dpi must be 96, 160, 300 or 600"));
            return std::nullopt;
        }
    }
    if (parser.isSet(options.notation)) {
        PageStyle::Notation notation = PageStyle::Notation::Gongche;
        if (!ExportConfig::notationFromName(parser.value(options.notation), &notation)) {
            usageError(QStringLiteral("--notation must be gongche, jianpu or staff, not \"%1\"")
                           .arg(parser.value(options.notation)));
            return std::nullopt;
        }
        request.notation = notation;
    }
    if (parser.isSet(options.zeng)) {
        bool splitZeng = false;
        if (!ExportConfig::zengFromName(parser.value(options.zeng), &splitZeng)) {
            usageError(QStringLiteral("--zeng must be split or whole, not \"%1\"")
                           .arg(parser.value(options.zeng)));
            return std::nullopt;
        }
        request.splitZeng = splitZeng;
    }
    QStringList files = parser.positionalArguments();
    if (parser.isSet(options.book) && !readBookRequest(parser, options, &request, &files)) {
        return std::nullopt;
    }
    if (request.imports) {
        if (!files.isEmpty()) {
            usageError(QStringLiteral("a score file and --import at once"));
            return std::nullopt;
        }
        files.append(parser.value(options.importFile));
    }
    if (files.size() != 1) {
        usageError(files.isEmpty() ? QStringLiteral("no score file given")
                                   : QStringLiteral("one score file at a time"));
        return std::nullopt;
    }
    request.file = files.first();
    if (parser.isSet(options.scheme)) {
        request.scheme = parser.value(options.scheme);
    }
    return request;
}

// The export settings of this run: those of the settings file, read but
// never written (what this run changes, a scheme or the values saved at
// exit, goes to a private copy), then the scheme and the options over them.
bool applySettings(const Request &request) {
    ExportConfig &config = *ExportConfig::instance();
    config.detachSettings();
    if (request.scheme && !config.importScheme(*request.scheme)) {
        failure(
            QStringLiteral("%1: %2").arg(*request.scheme, QStringLiteral("导入失败，文件错误！")));
        return false;
    }
    if (request.notation) {
        config.setNotation(*request.notation);
    }
    if (request.splitZeng) {
        config.setSplitZeng(*request.splitZeng);
    }
    return true;
}

// The export settings of a book's run: as applySettings, with the book's
// scheme unless --scheme is given, and its notation unless --notation is.
bool applyBookSettings(const Request &request, const BookFile &book) {
    ExportConfig &config = *ExportConfig::instance();
    config.detachSettings();
    const QString scheme = request.scheme ? *request.scheme : book.schemePath();
    if (!scheme.isEmpty() && !config.importScheme(scheme)) {
        failure(QStringLiteral("%1: %2").arg(scheme, QStringLiteral("导入失败，文件错误！")));
        return false;
    }
    if (request.notation) {
        config.setNotation(*request.notation);
    } else if (book.notation()) {
        config.setNotation(*book.notation());
    }
    if (request.splitZeng) {
        config.setSplitZeng(*request.splitZeng);
    }
    return true;
}

// The render model of the score file; nothing when it cannot be read whole.
std::optional<DocumentLines> readScore(const QString &file) {
    QString lyric, score;
    ScoreFileDamage damage = ScoreFileDamage::None;
    const Outcome read = readScoreFile(file, &lyric, &score, &damage);
    if (!read) {
        failure(QStringLiteral("cannot read %1: %2").arg(file, read.message()));
        return std::nullopt;
    }
    if (damage != ScoreFileDamage::None) {
        // Pages typeset from part of a score are not the score: nothing is written.
        failure(QStringLiteral("cannot read %1: the file is damaged (%2); nothing written")
                    .arg(file, scoreFileDamageText(damage)));
        return std::nullopt;
    }
    return renderModel(lyric, score);
}

// The score a music file makes, what the import changed listed on standard
// error; nothing when the file could not be read.
std::optional<music::ImportedDocument> importMusic(const QString &file) {
    music::ImportedDocument document = music::MusicImport::importFile(file);
    if (!document.ok()) {
        failure(QStringLiteral("cannot import %1: %2").arg(file, document.error));
        return std::nullopt;
    }
    const QString name = QFileInfo(file).fileName();
    for (const music::ImportRemark &remark : qAsConst(document.remarks)) {
        printLine(stderr, QStringLiteral("%1: %2").arg(name, remark.text()));
    }
    return document;
}

// An imported score written as a score file. A file already there is
// someone's work: it is never replaced.
int writeImported(const Request &request, const music::ImportedDocument &document) {
    const QFileInfo target(request.output);
    if (target.exists()) {
        return failure(QStringLiteral("%1 exists; the import writes only a new score file")
                           .arg(request.output));
    }
    const Outcome written = writeScoreFile(request.output, document.lyric, document.score);
    if (!written) {
        return failure(
            QStringLiteral("cannot write to %1: %2").arg(request.output, written.message()));
    }
    printLine(stdout, QDir::toNativeSeparators(request.output));
    return CommandLineExport::Success;
}

// Writes the pages engine holds (of lines) in the requested format and
// prints where; nothing is said to have been written when it was not.
int write(const Request &request, Typesetter &engine, const DocumentLines &lines) {
    const Outcome written =
        request.format->write({engine, lines, request.output, resolutionIndexOf(request.dpi)});
    if (!written) {
        return failure(
            QStringLiteral("cannot write to %1: %2").arg(request.output, written.message()));
    }
    printLine(stdout, QDir::toNativeSeparators(written.path()));
    return CommandLineExport::Success;
}

// Typesets the pages the format needs and writes them, the progress drawn on
// standard error while that is a terminal.
int typesetAndWrite(const Request &request, const DocumentLines &lines) {
    Typesetter engine;
    ProgressBar bar;
    if (isatty(STDERR_FILENO)) {
        QObject::connect(
            &engine, &Typesetter::progressUpdate,
            [&bar](Typesetter::Task task, Typesetter::Progress progress, int value, int maxValue) {
                const QString title = task == Typesetter::Task::Typeset ? QStringLiteral("绘制曲谱")
                                                                        : QStringLiteral("导出");
                bar.update(progress, value, maxValue, title);
            });
    }
    engine.reset();
    const PageStyle style = ExportConfig::instance()->pageStyle();
    if (request.format->needsPages && style.notation == PageStyle::Notation::Staff) {
        // Engraved by LilyPond; nothing is written when it cannot be.
        StaffEdition staff;
        if (isatty(STDERR_FILENO)) {
            QObject::connect(&staff, &StaffEdition::progress, [&bar](int done, int total) {
                bar.count(done, total, QStringLiteral("排五线谱"));
            });
        }
        const Outcome engraved = staff.engrave(&engine, lines, style);
        if (!engraved) {
            return failure(engraved.message());
        }
    } else if (request.format->needsPages) {
        engine.generate(style, lines, false);
    }
    return write(request, engine, lines);
}

// Reads the book, typesets every piece and writes the book's pages; nothing
// is written when a piece cannot be read or engraved.
int exportBook(const Request &request) {
    BookFile book;
    const Outcome read = book.read(request.file);
    if (!read) {
        return failure(QStringLiteral("%1: %2").arg(request.file, read.message()));
    }
    QStringList scores{request.file};
    for (const BookFile::Item &item : book.items()) {
        if (item.kind == BookFile::Item::Kind::Score) {
            scores.append(book.resolve(item.value));
        }
    }
    const QString refused = ExportFormat::refusedOutput(request.output, scores);
    if (!refused.isEmpty()) {
        return failure(refused);
    }
    if (!applyBookSettings(request, book)) {
        return CommandLineExport::Failure;
    }
    Typesetter engine;
    BookEdition edition;
    ProgressBar bar;
    if (isatty(STDERR_FILENO)) {
        QObject::connect(&edition, &BookEdition::progress, [&bar](int done, int total) {
            bar.count(done, total, QStringLiteral("排曲谱集"));
        });
    }
    const Outcome built = edition.build(&engine, book, ExportConfig::instance()->pageStyle());
    if (!built) {
        return failure(built.message());
    }
    return write(request, engine, DocumentLines());
}

// A search of the score library: none of the export's options go with it.
int searchLibrary(const QCommandLineParser &parser, const Options &options) {
    for (const QCommandLineOption &other :
         {options.format, options.output, options.importFile, options.scheme, options.book}) {
        if (parser.isSet(other)) {
            return usageError(QStringLiteral("--library-search goes with --library only"));
        }
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(QStringLiteral("--library-search takes no score file"));
    }
    return LibrarySearchCommand::run(parser.value(options.librarySearch),
                                     parser.values(options.library));
}

} // namespace

int CommandLineExport::run(const QStringList &arguments) {
    QCommandLineParser parser;
    const Options options = describeOptions(parser);
    if (!parser.parse(arguments)) {
        return usageError(parser.errorText());
    }
    if (parser.isSet(options.help)) {
        printLine(stdout, parser.helpText().trimmed());
        return Success;
    }
    if (parser.isSet(options.librarySearch)) {
        return searchLibrary(parser, options);
    }
    const std::optional<Request> request = readRequest(parser, options);
    if (!request) {
        return UsageError;
    }
    if (request->book) {
        return exportBook(*request);
    }
    // Neither the score itself nor any other score is written over.
    const QString refused = ExportFormat::refusedOutput(request->output, {request->file});
    if (!refused.isEmpty()) {
        return failure(refused);
    }
    if (!applySettings(*request)) {
        return Failure;
    }
    if (!request->imports) {
        const std::optional<DocumentLines> lines = readScore(request->file);
        return lines ? typesetAndWrite(*request, *lines) : Failure;
    }
    const std::optional<music::ImportedDocument> imported = importMusic(request->file);
    if (!imported) {
        return Failure;
    }
    if (!request->format) {
        return writeImported(*request, *imported);
    }
    return typesetAndWrite(*request, renderModel(imported->lyric, imported->score));
}
