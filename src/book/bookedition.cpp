#include "book/bookedition.h"

#include "book/bookpages.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "staff/staffedition.h"

#include <QFileInfo>
#include <QTimer>
#include <algorithm>

namespace {

const QString defaultBookTitle = QStringLiteral("曲谱集");

QString lineError(int line, const QString &what) {
    return QStringLiteral("第%1行：%2").arg(line).arg(what);
}

} // namespace

// A run of the book: what it was given, how far it has come, and the pages
// of the pieces read so far.
struct BookEdition::Run {
    QPointer<Typesetter> typesetter;
    BookFile book;
    PageStyle style;
    bool waiting = false; // build() waits for the run
    quint64 generation = 0;
    int item = 0; // the next item of the book
    int total = 0;
    QString part;
    // The contents in book order; a piece's entry points at its index in
    // pieces until the pages are numbered.
    QVector<ContentsEntry> order;
    QVector<Piece> pieces;
    QVector<QVector<Typesetter::DrawnPage>> piecePages;
    // The piece being read or engraved.
    Piece pending;
    DocumentLines lines;
    std::unique_ptr<Typesetter> setter;
};

BookEdition::BookEdition(QObject *parent)
    : QObject(parent) {}

BookEdition::~BookEdition() = default;

QString BookEdition::pageNumberText(int number, PageStyle::Notation notation) {
    if (notation != PageStyle::Notation::Gongche) {
        return QString::number(number);
    }
    static const QString digits = QStringLiteral("〇一二三四五六七八九");
    if (number <= 0 || number >= 10000) {
        // Digit by digit, as years are written.
        QString out;
        for (QChar c : QString::number(std::max(0, number))) {
            out += digits.at(c.digitValue());
        }
        return out;
    }
    static const QString units = QStringLiteral("千百十");
    static const QString zeroWord = QStringLiteral("零"); // a zero inside a number
    const int values[] = {1000, 100, 10};
    QString out;
    bool zero = false; // a zero digit waits to be written before the next
    int rest = number;
    for (int i = 0; i < 3; ++i) {
        const int d = rest / values[i];
        rest %= values[i];
        if (d == 0) {
            zero = !out.isEmpty();
            continue;
        }
        if (zero) {
            out += zeroWord;
            zero = false;
        }
        // 十 alone for ten to nineteen.
        if (!(i == 2 && d == 1 && out.isEmpty())) {
            out += digits.at(d);
        }
        out += units.at(i);
    }
    if (rest > 0) {
        if (zero) {
            out += zeroWord;
        }
        out += digits.at(rest);
    }
    return out;
}

int BookEdition::pieceAt(int page) const {
    for (int i = 0; i < m_pieces.size(); ++i) {
        const Piece &p = m_pieces.at(i);
        if (page >= p.firstPage && page < p.firstPage + p.pageCount) {
            return i;
        }
    }
    return -1;
}

bool BookEdition::isRunning() const {
    return m_run != nullptr;
}

Outcome BookEdition::build(Typesetter *typesetter, const BookFile &book, const PageStyle &style) {
    start(typesetter, book, style);
    m_run->waiting = true;
    while (m_run) {
        step();
    }
    return m_lastOutcome;
}

void BookEdition::start(Typesetter *typesetter, const BookFile &book, const PageStyle &style) {
    static quint64 generations = 0;
    if (m_run) {
        cancel();
    }
    m_run = std::make_unique<Run>();
    m_run->typesetter = typesetter;
    m_run->book = book;
    m_run->style = style.bounded();
    m_run->style.pageNumbers = false;
    m_run->total = book.scoreCount();
    m_run->generation = ++generations;
    if (typesetter) {
        typesetter->reset();
    }
    scheduleStep();
}

void BookEdition::scheduleStep() {
    const quint64 generation = m_run->generation;
    QTimer::singleShot(0, this, [this, generation]() {
        if (m_run && m_run->generation == generation && !m_run->waiting) {
            step();
        }
    });
}

void BookEdition::cancel() {
    if (!m_run) {
        return;
    }
    // The run ends first: the engraving, cancelled, finishes with no run to
    // report to.
    finish(Outcome::failure(BookFile::failureTitle(), QString()));
    if (m_staff && m_staff->isRunning()) {
        m_staff->cancel();
    }
}

void BookEdition::step() {
    Run &run = *m_run;
    // A handler of progress() may cancel the run, or start another.
    const quint64 generation = run.generation;
    const auto ended = [this, generation]() { return !m_run || m_run->generation != generation; };
    const bool staff = run.style.notation == PageStyle::Notation::Staff;
    while (run.item < run.book.items().size()) {
        const BookFile::Item &item = run.book.items().at(run.item++);
        if (item.kind == BookFile::Item::Kind::Part) {
            run.part = item.value;
            run.order.append({ContentsEntry::Kind::Part, item.value, -1});
            continue;
        }
        const Outcome read = readPiece(run.item - 1);
        if (!read) {
            finish(read);
            return;
        }
        run.setter = std::make_unique<Typesetter>();
        if (!staff) {
            run.setter->generate(run.style, run.lines, false);
            takePiece(*run.setter);
            if (ended()) {
                return;
            }
            if (!run.waiting) {
                scheduleStep();
                return;
            }
            continue;
        }
        if (!m_staff) {
            m_staff = new StaffEdition(this);
            connect(m_staff, &StaffEdition::finished, this, &BookEdition::onPieceEngraved);
        }
        if (!run.waiting) {
            m_staff->start(run.setter.get(), run.lines, run.style);
            return;
        }
        const Outcome engraved = m_staff->engrave(run.setter.get(), run.lines, run.style);
        if (!engraved) {
            finish(engraved.message().isEmpty() ? engraved : pieceFailure(engraved));
            return;
        }
        takePiece(*run.setter);
        if (ended()) {
            return;
        }
    }
    finish(compose());
}

Outcome BookEdition::pieceFailure(const Outcome &outcome) const {
    const Piece &piece = m_run->pending;
    return Outcome::failure(
        BookFile::failureTitle(),
        lineError(piece.line, QStringLiteral("曲谱文件“%1”：%2")
                                  .arg(QFileInfo(piece.file).fileName(), outcome.message())));
}

void BookEdition::onPieceEngraved(const Outcome &outcome) {
    if (!m_run || m_run->waiting) {
        return;
    }
    if (!outcome) {
        finish(outcome.message().isEmpty() ? outcome : pieceFailure(outcome));
        return;
    }
    takePiece(*m_run->setter);
    if (m_run) {
        scheduleStep();
    }
}

Outcome BookEdition::readPiece(int index) {
    Run &run = *m_run;
    const BookFile::Item &item = run.book.items().at(index);
    const QString path = run.book.resolve(item.value);
    run.pending = Piece();
    run.pending.file = path;
    run.pending.line = item.line;
    run.pending.part = run.part;
    if (!QFileInfo(path).isFile()) {
        return Outcome::failure(
            BookFile::failureTitle(),
            lineError(item.line, QStringLiteral("找不到曲谱文件“%1”").arg(item.value)));
    }
    QString lyric, score;
    ScoreFileDamage damage = ScoreFileDamage::None;
    const Outcome read = readScoreFile(path, &lyric, &score, &damage);
    if (!read) {
        return Outcome::failure(BookFile::failureTitle(),
                                lineError(item.line, QStringLiteral("无法读取曲谱文件“%1”（%2）")
                                                         .arg(item.value, read.message())));
    }
    if (damage != ScoreFileDamage::None) {
        return Outcome::failure(
            BookFile::failureTitle(),
            lineError(item.line, QStringLiteral("曲谱文件“%1”已损坏（%2）")
                                     .arg(item.value, scoreFileDamageReason(damage))));
    }
    run.lines = renderModel(lyric, score);
    return Outcome::success(path);
}

void BookEdition::takePiece(Typesetter &pieceSetter) {
    Run &run = *m_run;
    Piece piece = run.pending;
    piece.title = pieceSetter.documentTitle().trimmed();
    if (piece.title.isEmpty()) {
        piece.title = QFileInfo(piece.file).completeBaseName();
    }
    piece.pageCount = pieceSetter.pages().size();
    QVector<Typesetter::DrawnPage> pages(piece.pageCount);
    for (int i = 0; i < piece.pageCount; ++i) {
        pages[i].canvas = pieceSetter.pageCanvas(i);
        pages[i].areas = pieceSetter.sourceAreas(i);
    }
    for (Typesetter::Heading heading : pieceSetter.headings()) {
        if (heading.kind != Typesetter::Heading::Kind::QuPai || heading.page < 0 ||
            heading.page >= pages.size()) {
            continue;
        }
        pages[heading.page].headings.append(heading);
        piece.quPai.append(heading); // its page is made the book's in compose()
    }
    run.order.append({ContentsEntry::Kind::Piece, piece.title, run.pieces.size()});
    run.pieces.append(piece);
    run.piecePages.append(pages);
    run.setter.reset();
    emit progress(run.pieces.size(), run.total);
}

Outcome BookEdition::compose() {
    Run &run = *m_run;
    if (!run.typesetter) {
        return Outcome::failure(BookFile::failureTitle(), QString());
    }
    const BookPages drawing(run.style);
    const QString bookTitle =
        run.book.title().isEmpty() ? defaultBookTitle : run.book.title().trimmed();
    const bool rightPage = run.book.rightPageStart();

    // The contents, its page count known before any page is numbered: it
    // depends on the number of entries only.
    QVector<ContentsEntry> contents;
    for (const ContentsEntry &entry : qAsConst(run.order)) {
        contents.append(entry);
        if (entry.kind == ContentsEntry::Kind::Piece) {
            for (const Typesetter::Heading &h : run.pieces.at(entry.page).quPai) {
                contents.append({ContentsEntry::Kind::QuPai, h.text.simplified(), entry.page});
            }
        }
    }
    const QVector<QVector<int>> contentsPages = drawing.contentsPages(contents);

    // The page list: title, (blank), contents, then each piece, on an odd
    // page when asked.
    QVector<Typesetter::DrawnPage> pages;
    QVector<QString> heads; // the piece title of each page's running heads; null for none
    pages.append({QByteArray(),
                  {},
                  {},
                  drawing.titlePage(bookTitle, run.book.subtitle(), run.book.editor())});
    heads.append(QString());
    const auto blankTo = [&](bool oddNumber) {
        // A page number is odd when its index is even.
        if (oddNumber && pages.size() % 2 == 1) {
            pages.append(Typesetter::DrawnPage());
            heads.append(QString());
        }
    };
    blankTo(rightPage);
    const int contentsPage = pages.size();
    for (int k = 0; k < contentsPages.size(); ++k) {
        pages.append(Typesetter::DrawnPage());
        heads.append(BookPages::contentsHeading());
    }
    for (int i = 0; i < run.pieces.size(); ++i) {
        blankTo(rightPage);
        Piece &piece = run.pieces[i];
        piece.firstPage = pages.size();
        for (Typesetter::Heading &h : piece.quPai) {
            h.page += piece.firstPage;
        }
        for (Typesetter::DrawnPage page : run.piecePages.at(i)) {
            PageCanvas canvas;
            canvas.drawCanvas(page.canvas);
            page.canvas = canvas;
            pages.append(page);
            heads.append(piece.title);
        }
        Typesetter::Heading pieceHeading;
        pieceHeading.kind = Typesetter::Heading::Kind::Piece;
        pieceHeading.text = piece.title;
        if (piece.firstPage < pages.size()) {
            pages[piece.firstPage].headings.prepend(pieceHeading);
        }
    }

    // Now that every piece has its page: the contents' pages, the parts'
    // headings, the running heads.
    for (int i = 0; i < contents.size(); ++i) {
        ContentsEntry &entry = contents[i];
        if (entry.kind == ContentsEntry::Kind::Piece) {
            entry.page = run.pieces.at(entry.page).firstPage;
        } else if (entry.kind == ContentsEntry::Kind::QuPai) {
            const Piece &piece = run.pieces.at(entry.page);
            int k = 0; // which of the piece's 曲牌 this is
            for (int j = i - 1; j >= 0 && contents.at(j).kind == ContentsEntry::Kind::QuPai; --j) {
                ++k;
            }
            entry.page = piece.quPai.at(k).page;
        }
    }
    for (int i = contents.size() - 1; i >= 0; --i) {
        ContentsEntry &entry = contents[i];
        if (entry.kind == ContentsEntry::Kind::Part) {
            // The page of the first piece after it, else the last page.
            entry.page = i + 1 < contents.size() ? contents.at(i + 1).page : pages.size() - 1;
            Typesetter::Heading partHeading;
            partHeading.kind = Typesetter::Heading::Kind::Part;
            partHeading.text = entry.text;
            pages[entry.page].headings.prepend(partHeading);
        }
    }
    for (int k = 0; k < contentsPages.size(); ++k) {
        pages[contentsPage + k].canvas =
            drawing.contentsPage(contents, contentsPages.at(k), k == 0);
    }
    for (int p = 0; p < pages.size(); ++p) {
        if (!heads.at(p).isNull()) {
            drawing.drawRunningHeads(pages[p].canvas, p + 1, bookTitle, heads.at(p));
        }
    }

    DocumentLine titleLine;
    titleLine.kind = LineKind::Title;
    titleLine.text = QStringLiteral("# ") + bookTitle;
    run.typesetter->setDrawnPages(run.style, {titleLine}, pages);
    m_pieces = run.pieces;
    m_contents = contents;
    m_contentsPage = contentsPage;
    return Outcome::success();
}

void BookEdition::finish(const Outcome &outcome) {
    const std::unique_ptr<Run> run = std::move(m_run);
    if (!outcome && run->typesetter) {
        run->typesetter->reset();
    }
    m_lastOutcome = outcome;
    if (!run->waiting) {
        emit finished(outcome);
    }
}
