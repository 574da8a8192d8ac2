#pragma once

#include "dialogs/pagedialog.h"

// The modal "帮助" dialog: the notation symbols with their names and input
// abbreviations, and the keys of the editor and of the input method.
class Help : public PageDialog {
    Q_OBJECT

public:
    explicit Help(QWidget *parent = nullptr);

    // The table of symbols built from the text of an abbreviation dictionary
    // (the format of "wordsdict.csv": a header line, then rows of code, key,
    // weight and name separated by single spaces). One table row per symbol,
    // in the order of first appearance, with every key of the symbol once.
    // The symbols are drawn in glyphFamily; an empty family leaves the font
    // to the text browser.
    static QString symbolTableHtml(const QString &dictionaryText, const QString &glyphFamily);

    // The keys of the score editor, the input method and the main window.
    static QString keysHtml();

    // The whole page: the symbol table from the embedded dictionary in the
    // default gongche font, then the keys.
    static QString html();
};
