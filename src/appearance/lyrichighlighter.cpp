#include "appearance/lyrichighlighter.h"

#include "appearance/editorconfig.h"
#include "model/linegrammar.h"

LyricHighlighter::LyricHighlighter(QTextDocument *document)
    : ProblemHighlighter(document)
    , m_config(EditorConfig::instance()) {
    buildRules();
    connect(m_config, &EditorConfig::configChanged, this, [this] {
        buildRules();
        rehighlight();
    });
}

void LyricHighlighter::buildRules() {
    m_rules.clear();

    // Later rules replace earlier ones where they overlap: punctuation and
    // sung characters first, then the whole-line kinds, the break markers last.
    m_biaoDianFormat = QTextCharFormat();
    m_biaoDianFormat.setForeground(m_config->biaoDianColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::Punctuation)), m_biaoDianFormat});

    m_lyricFormat = QTextCharFormat();
    m_lyricFormat.setForeground(m_config->lyricColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::Lyric)), m_lyricFormat});

    m_titleFormat = QTextCharFormat();
    m_titleFormat.setFontWeight(QFont::Bold);
    m_titleFormat.setForeground(m_config->titleColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::Title)), m_titleFormat});

    m_jiaBaiFormat = QTextCharFormat();
    m_jiaBaiFormat.setForeground(m_config->jiaBaiColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::JiaBai)), m_jiaBaiFormat});

    m_lianBaiFormat = QTextCharFormat();
    m_lianBaiFormat.setForeground(m_config->lianBaiColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::LianBai)), m_lianBaiFormat});

    m_quPaiFormat = QTextCharFormat();
    m_quPaiFormat.setForeground(m_config->quPaiColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::QuPai)), m_quPaiFormat});

    m_commentFormat = QTextCharFormat();
    m_commentFormat.setForeground(m_config->commentColor());
    m_rules.append({QRegularExpression(linePattern(LineKind::Comment)), m_commentFormat});

    m_breakSymbolFormat = QTextCharFormat();
    m_breakSymbolFormat.setForeground(m_config->breakSymbolColor());
    const QString breakPattern =
        QStringLiteral("(%1)|(%2)")
            .arg(linePattern(LineKind::LineBreak), linePattern(LineKind::PageBreak));
    m_rules.append({QRegularExpression(breakPattern), m_breakSymbolFormat});
}

void LyricHighlighter::highlightBlock(const QString &text) {
    for (const HighlightingRule &rule : qAsConst(m_rules)) {
        QRegularExpressionMatchIterator it = rule.pattern.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            setFormat(match.capturedStart(0), match.capturedLength(0), rule.format);
        }
    }
    markProblems(text);
}
