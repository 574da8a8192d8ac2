#pragma once

#include "model/outcome.h"
#include "typeset/pagestyle.h"

#include <QString>
#include <QVector>
#include <optional>

// A book (曲谱集): several score files gathered into one set of pages, kept as
// a ".gcpbook" file that a copyist can write by hand. UTF-8 text, one item a
// line, "key=value" with Chinese keys; blank lines and lines beginning with
// "#" are comments. Keys and values are trimmed; "＝" may stand for "=".
//
//   书名=牡丹亭曲选          the title
//   副题=游园·惊梦           a subtitle
//   编者=某某                the editor
//   谱式=工尺谱              the notation: 工尺谱|简谱|五线谱 (or gongche|jianpu|staff)
//   方案=书谱                an export scheme (JSON), relative to the book; ".json" optional
//   右页起=是                each piece starts on a right-hand (odd) page: 是|否
//   卷=第一卷                a part heading over the pieces that follow
//   曲=youyuan.gcp           a score file, relative to the book, in order
//
// Only 卷 and 曲 may repeat. No widgets; failures are returned, never shown.
class BookFile {
public:
    // A part heading or a score file, in the order of the book.
    struct Item {
        enum class Kind { Part, Score };
        Kind kind = Kind::Score;
        // The part's heading, or the score file's path as written.
        QString value;
        // The line of the book file it was read from (from 1); 0 when it was
        // not read from a file.
        int line = 0;
    };

    // The title of every failure's warning.
    static QString failureTitle();

    // Replaces the whole book by the one text describes. On failure the
    // message names the first bad line ("第3行：未知的项目“xx”") and the book
    // is left as it was.
    Outcome parse(const QString &text);
    // Reads and parses the file at path, which becomes the book's path.
    Outcome read(const QString &path);
    // The book as text: the set keys in the order of the table above, then
    // the parts and scores, one a line, each line ending in "\n". Parsing it
    // gives the same book, and writing that again gives the same bytes.
    QString toText() const;
    // Writes toText() to path atomically (UTF-8); path becomes the book's path.
    Outcome write(const QString &path);

    // The book file's path; relative paths inside it are resolved from its
    // folder (the current folder while there is none).
    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    // relative as an absolute path from the book's folder; an absolute path
    // stays as it is.
    QString resolve(const QString &relative) const;

    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString subtitle() const { return m_subtitle; }
    void setSubtitle(const QString &subtitle) { m_subtitle = subtitle; }
    QString editor() const { return m_editor; }
    void setEditor(const QString &editor) { m_editor = editor; }
    // The notation the book asks for; none when it names none.
    std::optional<PageStyle::Notation> notation() const { return m_notation; }
    void setNotation(std::optional<PageStyle::Notation> notation) { m_notation = notation; }
    // The export scheme as written; empty for none.
    QString scheme() const { return m_scheme; }
    void setScheme(const QString &scheme) { m_scheme = scheme; }
    // The scheme file resolved: ".json" added when the name as written has
    // no such suffix and names no file. Empty when the book has no scheme.
    QString schemePath() const;
    bool rightPageStart() const { return m_rightPageStart; }
    void setRightPageStart(bool on) { m_rightPageStart = on; }

    const QVector<Item> &items() const { return m_items; }
    void setItems(const QVector<Item> &items) { m_items = items; }
    // The number of score items.
    int scoreCount() const;

    // The Chinese name of a notation as the file writes it: 工尺谱, 简谱, 五线谱.
    static QString notationText(PageStyle::Notation notation);
    // The notation of a value of 谱式 (Chinese, or the stored English name in
    // any case); false for any other text.
    static bool notationFromText(const QString &text, PageStyle::Notation *notation);

private:
    QString m_path;
    QString m_title;
    QString m_subtitle;
    QString m_editor;
    std::optional<PageStyle::Notation> m_notation;
    QString m_scheme;
    bool m_rightPageStart = false;
    QVector<Item> m_items;
};
