#pragma once

#include "book/bookfile.h"
#include "model/documentline.h"
#include "model/outcome.h"
#include "typeset/pagestyle.h"
#include "typeset/typesetter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>
#include <memory>

class StaffEdition;

// The pages of a book (曲谱集): every piece of a BookFile read, typeset in one
// page style and composed into a typesetter's page list, so that the preview,
// printing and every page writer (PDF, PNG/JPG, SVG) show the book as they
// show a single score. No widgets.
//
// The book's pages, in order:
//   - a title page (title, subtitle, editor), page 1;
//   - a blank page when pieces start on right-hand pages, then the contents:
//     each part heading, each piece's title and its 曲牌, with the page on
//     which it begins (vertical columns, right to left, in a gongche book;
//     rows with dotted leaders in a 简谱 or staff book);
//   - the pieces, each from a new page (a blank page inserted before it when
//     it must start on a right-hand, odd, page).
// Pages are numbered continuously from the title page on; the title page
// and blank pages show no number, and the pieces' own numbers are replaced.
// Every page of a piece carries running heads: in a gongche book a 版心 strip
// at the outer edge (book title, piece title and page number set vertically,
// in Chinese numerals), else the book title and the piece's title in the top
// margin and the number at the foot.
//
// The typesetter's headings (and so the PDF outline) run book → part →
// piece → 曲牌: Heading::Kind::Part and Heading::Kind::Piece, the pieces'
// 曲牌 as Heading::Kind::QuPai; the pieces' own title headings are left out.
class BookEdition : public QObject {
    Q_OBJECT

public:
    // One piece of the book as it was composed.
    struct Piece {
        // The score file, absolute, and the book line that names it.
        QString file;
        int line = 0;
        // Its plain title: its title line, else its first 曲牌, else the
        // file's base name.
        QString title;
        // The part heading it stands under; empty before the first part.
        QString part;
        // Its first page in the book's page list (from 0) and its page count.
        int firstPage = -1;
        int pageCount = 0;
        // Its 曲牌 as set, their pages counted in the book's page list.
        QVector<Typesetter::Heading> quPai;
    };
    // A line of the contents: a part heading, a piece or one of its 曲牌,
    // and the page (from 0) it points at.
    struct ContentsEntry {
        enum class Kind { Part, Piece, QuPai };
        Kind kind = Kind::Piece;
        QString text;
        int page = -1;
    };

    explicit BookEdition(QObject *parent = nullptr);
    ~BookEdition() override;

    // Reads every piece of book, typesets it in style (the export settings
    // with the book's scheme and notation applied: its notation is the
    // book's) and composes the book into typesetter, waiting for it. Staff
    // pieces are engraved by LilyPond one after another. On failure the
    // typesetter's page list is left empty and the message says why: a
    // missing or damaged score file names its book line and file
    // ("第5行：找不到曲谱文件“a.gcp”"), so that nothing is written.
    Outcome build(Typesetter *typesetter, const BookFile &book, const PageStyle &style);
    // The same, in steps of the event loop (one piece a step; staff pieces
    // engrave in the background): progress() reports each piece, finished()
    // the outcome. A run under way is given up.
    void start(Typesetter *typesetter, const BookFile &book, const PageStyle &style);
    // Gives up a run under way; it finishes as a failure without a message.
    void cancel();
    bool isRunning() const;

    // The pieces and the contents of the last successful run.
    const QVector<Piece> &pieces() const { return m_pieces; }
    const QVector<ContentsEntry> &contents() const { return m_contents; }
    // The index in pieces() of the piece shown on book page page (from 0);
    // -1 for the title, contents and blank pages.
    int pieceAt(int page) const;
    // The first contents page (from 0) of the last successful run; -1 before one.
    int contentsPage() const { return m_contentsPage; }

    // A page number as a book of notation prints it: Chinese numerals in a
    // gongche book (一, 十二, 一百零五), else Arabic digits.
    static QString pageNumberText(int number, PageStyle::Notation notation);

signals:
    // done of total pieces read and typeset (or engraved).
    void progress(int done, int total);
    // The outcome of a run begun with start(); a cancelled run finishes as a
    // failure without a message.
    void finished(const Outcome &outcome);

private:
    struct Run;
    // Reads and typesets pieces: all of them while build() waits, else one,
    // or starts the engraving of one; composes the book after the last.
    void step();
    void scheduleStep();
    void onPieceEngraved(const Outcome &outcome);
    // Item index of the book read into the run's pending piece.
    Outcome readPiece(int index);
    // The failure of the pending piece: its book line and file name first.
    Outcome pieceFailure(const Outcome &outcome) const;
    // The pages and 曲牌 of the pending piece, typeset by pieceSetter.
    void takePiece(Typesetter &pieceSetter);
    Outcome compose();
    void finish(const Outcome &outcome);

    std::unique_ptr<Run> m_run;
    StaffEdition *m_staff = nullptr;
    Outcome m_lastOutcome;
    QVector<Piece> m_pieces;
    QVector<ContentsEntry> m_contents;
    int m_contentsPage = -1;
};
