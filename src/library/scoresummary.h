#pragma once

#include <QPair>
#include <QString>
#include <QVector>

// What the score library keeps of one score file: its title, its tunes with
// their 曲牌, 宫调, 笛色 and 板式, its lyric lines, and its melody as pitch
// classes with the place of every pitch sign. Read from the two texts through
// the render model and the melody builder; no widgets, no database.
class ScoreSummary {
public:
    struct Tune {
        QString
            heading; // the heading line as written, e.g. 【皂罗袍】(仙吕); empty before the first
        QString quPai;      // 皂罗袍
        QString gongDiao;   // 仙吕, or empty
        QString diSe;       // the 笛色 in force: stated or the default, e.g. 小工调
        QString banShi;     // the 板式: stated or detected, e.g. 加赠一板三眼
        int lyricLine = -1; // of the heading; the first line for the part before one
    };
    // A line with words: a sung line, or a spoken one (念白, 夹白).
    struct Line {
        int lyricLine = 0;
        QString text;            // as written
        int firstCharacter = -1; // sung index of its first sung character; -1 for spoken lines
    };
    // Where a pitch sign stands: score line (the sung character's index) and
    // UTF-16 column in it.
    struct NotePlace {
        int scoreLine = -1;
        int column = 0;
    };

    // Reads a score file. A file that cannot be opened gives an empty
    // summary and the reason; a damaged one gives what could be read and the
    // reason all the same.
    static ScoreSummary read(const QString &path, QString *problem);
    // The summary of a document's two texts.
    static ScoreSummary fromTexts(const QString &lyric, const QString &score);

    // The title: the first title line (without its "#"), else the first tune
    // name, else empty; titleLine is its lyric line, -1 when none.
    QString title;
    int titleLine = -1;
    QVector<Tune> tunes;
    QVector<Line> lines;
    // One letter per pitch sign (PitchPhrase's pitch key), tunes separated by
    // PitchPhrase::Separator; places holds the place of each letter (-1 for
    // a separator).
    QString pitches;
    QVector<NotePlace> places;

    // The lyric line and column of each sung character, by sung index.
    QVector<QPair<int, int>> characters;

    // The words of a text as the library compares them: letters and digits
    // only, punctuation and spaces left out; offsets (when given) receives
    // the position in text of each character kept.
    static QString searchable(const QString &text, QVector<int> *offsets = nullptr);
};
