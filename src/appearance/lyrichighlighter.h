#pragma once

#include "appearance/problemhighlighter.h"

#include <QList>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class EditorConfig;

// Colours each line of the lyric text by what its pieces are: punctuation,
// sung characters, whole title / speech / passage / tune-name / comment lines,
// and the line-break and page-break markers. Whatever no rule colours keeps
// the editor's plain text colour, the error colour.
class LyricHighlighter : public ProblemHighlighter {
    Q_OBJECT

public:
    struct HighlightingRule {
        QRegularExpression pattern;
        QTextCharFormat format;
    };

    explicit LyricHighlighter(QTextDocument *document);

    // Rebuilds the eight rules from the colours the configuration holds now.
    void buildRules();
    const QList<HighlightingRule> &rules() const { return m_rules; }

protected:
    void highlightBlock(const QString &text) override;

private:
    EditorConfig *m_config;
    QList<HighlightingRule> m_rules;
    QTextCharFormat m_biaoDianFormat;
    QTextCharFormat m_lyricFormat;
    QTextCharFormat m_titleFormat;
    QTextCharFormat m_jiaBaiFormat;
    QTextCharFormat m_lianBaiFormat;
    QTextCharFormat m_quPaiFormat;
    QTextCharFormat m_commentFormat;
    QTextCharFormat m_breakSymbolFormat;
};
