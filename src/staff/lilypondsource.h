#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

// Where a note of a LilyPond source came from: the pitch sign of a sung
// character. LilyPond's point-and-click links ("textedit://FILE:LINE:COLUMN:
// END") name a position in the .ly text; this is the table that maps such a
// position back to the document.
struct LilyPondLink {
    int line = 0;       // 1-based line of the .ly text, as LilyPond counts
    int column = 0;     // 0-based character column of the note's pitch in that line
    int character = -1; // the sung character (its score line)
    int symbol = -1;    // the pitch sign's index in the character's score line

    bool operator==(const LilyPondLink &o) const {
        return line == o.line && column == o.column && character == o.character &&
               symbol == o.symbol;
    }
};

// One .ly file to engrave: a complete LilyPond input with its version,
// paper, header and scores, and the links of its notes.
struct LilyPondSource {
    QString text;
    QVector<LilyPondLink> links; // in the order of the text
    // The sung characters the source holds: [firstCharacter, endCharacter).
    int firstCharacter = 0;
    int endCharacter = 0;
    // The title and tune headings it sets, as the page list names them
    // ("牡丹亭·游园", "【皂罗袍】"): the first page of the source carries them.
    QString title;
    QStringList headings;

    bool operator==(const LilyPondSource &o) const {
        return text == o.text && links == o.links && firstCharacter == o.firstCharacter &&
               endCharacter == o.endCharacter && title == o.title && headings == o.headings;
    }
};

Q_DECLARE_METATYPE(LilyPondSource)
