#pragma once

#include "dialogs/pagedialog.h"

#include <QList>

class QAction;

// The modal "帮助" dialog: the notation symbols with their names and input
// abbreviations, the keys of the input method, the shortcuts of the window
// (read from its actions, so that the page lists exactly the keys there
// are), and how the settings line, the 板眼 check, playback, 简谱, printing,
// backups and the command line work.
class Help : public PageDialog {
    Q_OBJECT

public:
    // The shortcuts are those of parent's window; none without a parent.
    explicit Help(QWidget *parent = nullptr);

    // The table of symbols built from the text of an abbreviation dictionary
    // (the format of "wordsdict.csv": a header line, then rows of code, key,
    // weight and name separated by single spaces). One table row per symbol,
    // in the order of first appearance, with every key of the symbol once.
    // The symbols are drawn in glyphFamily; an empty family leaves the font
    // to the text browser.
    static QString symbolTableHtml(const QString &dictionaryText, const QString &glyphFamily);

    // The actions of window that have a shortcut: those of the menu bar in
    // menu order, then those of the tool bars and of the window itself, then
    // any other in use (added to some widget), each once.
    static QList<QAction *> shortcutActions(const QWidget *window);
    // The table (id "shortcuts") of those actions: the keys as the menus show
    // them, and the menu and the action's text.
    static QString shortcutTableHtml(const QWidget *window);

    // The keys of the score editor and the input method.
    static QString keysHtml();
    // The settings line, the 板眼 check, playback, 简谱, printing, backups
    // and the command line.
    static QString guideHtml();

    // The whole page: the symbol table from the embedded dictionary in the
    // default gongche font, the keys, the shortcuts of window and the guide.
    static QString html(const QWidget *window = nullptr);
};
