#include "dialogs/helpdialog.h"

#include "fonts/fontregistry.h"
#include "fonts/symboltable.h"

#include <QFile>

namespace {

QString cell(const QString &text, const QString &style = QString()) {
    if (style.isEmpty()) {
        return QStringLiteral("<td valign=\"middle\">%1</td>").arg(text);
    }
    return QStringLiteral("<td valign=\"middle\" style=\"%1\">%2</td>").arg(style, text);
}

QString keyRow(const QString &keys, const QString &effect) {
    return QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
        .arg(keys.toHtmlEscaped(), effect.toHtmlEscaped());
}

} // namespace

Help::Help(QWidget *parent)
    : PageDialog(QStringLiteral("Help"), QStringLiteral("帮助"), QSize(720, 620), parent) {
    setPage(QStringLiteral("helpBrowser"), html());
}

QString Help::symbolTableHtml(const QString &dictionaryText, const QString &glyphFamily) {
    QString glyphStyle = QStringLiteral("font-size:20pt;");
    if (!glyphFamily.isEmpty()) {
        // The family goes into a CSS string inside an attribute.
        QString family = glyphFamily;
        family.remove(QLatin1Char('\'')).remove(QLatin1Char('"')).remove(QLatin1Char(';'));
        glyphStyle.prepend(QStringLiteral("font-family:'%1';").arg(family.toHtmlEscaped()));
    }

    QString html = QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\" "
        "style=\"border-color:#d7d9de;\">"
        "<tr style=\"background-color:#eef2fb;\"><th>符号</th><th>名称</th><th>编码</th>"
        "<th>简拼</th></tr>");
    for (const SymbolEntry &symbol : SymbolTable::entriesOf(dictionaryText)) {
        html += QStringLiteral("<tr>");
        html +=
            cell(symbol.text().toHtmlEscaped(), glyphStyle + QStringLiteral("text-align:center;"));
        html += cell(symbol.name.toHtmlEscaped());
        html += cell(QStringLiteral("U+%1").arg(symbol.code, 5, 16, QLatin1Char('0')).toUpper());
        html += cell(symbol.abbreviations.join(QStringLiteral("、")).toHtmlEscaped(),
                     QStringLiteral("font-family:monospace;"));
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    return html;
}

QString Help::keysHtml() {
    QString html;
    html += QStringLiteral("<h3>曲谱编辑区的输入法</h3>"
                           "<p>在右侧曲谱编辑区输入小写字母，即组成简拼（见上表），"
                           "光标下方弹出候选框，每页六个候选。</p>"
                           "<table border=\"0\" cellspacing=\"0\" cellpadding=\"3\">");
    html += keyRow(QStringLiteral("a–z"), QStringLiteral("输入简拼，可连续输入多个简拼"));
    html += keyRow(QStringLiteral("空格、Tab、回车"), QStringLiteral("上屏当前高亮的候选"));
    html += keyRow(QStringLiteral("1–6"), QStringLiteral("上屏对应编号的候选"));
    html += keyRow(QStringLiteral("逗号 , / 句号 ."), QStringLiteral("上一页 / 下一页"));
    html += keyRow(QStringLiteral("↑ / ↓"), QStringLiteral("上一页 / 下一页"));
    html += keyRow(QStringLiteral("← / →"), QStringLiteral("移动高亮的候选"));
    html += keyRow(QStringLiteral("退格"), QStringLiteral("删除最后一个字母"));
    html += keyRow(QStringLiteral("Esc"), QStringLiteral("取消输入，关闭候选框"));
    html += keyRow(QStringLiteral("空格（无候选框时）"),
                   QStringLiteral("按前面已写的板眼，列出可能的板眼和腔格"));
    html += QStringLiteral("</table>");

    html +=
        QStringLiteral("<h3>快捷键</h3><table border=\"0\" cellspacing=\"0\" cellpadding=\"3\">");
    html += keyRow(QStringLiteral("Alt+B"), QStringLiteral("插入标题"));
    html += keyRow(QStringLiteral("Alt+Q"), QStringLiteral("插入曲牌和调号"));
    html += keyRow(QStringLiteral("Alt+L"), QStringLiteral("插入念白"));
    html += keyRow(QStringLiteral("Alt+J"), QStringLiteral("插入夹白"));
    html += keyRow(QStringLiteral("Alt+Z"), QStringLiteral("插入注释"));
    html += keyRow(QStringLiteral("Alt+Enter"), QStringLiteral("插入换行符"));
    html += keyRow(QStringLiteral("Alt+Shift+Enter"), QStringLiteral("插入分页符"));
    html += keyRow(QStringLiteral("Ctrl+N / Ctrl+O"), QStringLiteral("新建 / 打开文件"));
    html += keyRow(QStringLiteral("Ctrl+S / Ctrl+Shift+S"), QStringLiteral("保存 / 另存为"));
    html += keyRow(QStringLiteral("Ctrl+Z / Ctrl+Shift+Z"), QStringLiteral("撤销 / 重做"));
    html +=
        keyRow(QStringLiteral("Ctrl+X / Ctrl+C / Ctrl+V"), QStringLiteral("剪切 / 复制 / 粘贴"));
    html += keyRow(QStringLiteral("Ctrl+F"), QStringLiteral("搜索"));
    html += keyRow(QStringLiteral("Ctrl+E"), QStringLiteral("导出曲谱"));
    html += keyRow(QStringLiteral("Esc"), QStringLiteral("退出程序（无候选框时）"));
    html += QStringLiteral("</table>");
    return html;
}

QString Help::html() {
    QString dictionary;
    QFile file(QStringLiteral(":/resources/wordsdict.csv"));
    if (file.open(QIODevice::ReadOnly)) {
        dictionary = QString::fromUtf8(file.readAll());
    }
    return QStringLiteral("<h2>Qorvel工尺谱 帮助</h2>"
                          "<h3>工尺符号与简拼</h3>"
                          "<p>同一符号可有多个简拼；同一简拼可对应多个符号，在候选框中选择。</p>") +
           symbolTableHtml(dictionary, FontRegistry::instance()->defaultFamily()) + keysHtml();
}
