#include "dialogs/helpdialog.h"

#include "fonts/fontregistry.h"
#include "fonts/symboltable.h"

#include <QAction>
#include <QFile>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

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

// A menu or action text as read: without its mnemonic marks.
QString plainText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    // "文件(F)" reads "文件".
    if (text.size() > 3 && text.endsWith(QLatin1Char(')')) &&
        text.at(text.size() - 3) == QLatin1Char('(')) {
        text.chop(3);
    }
    return text;
}

void addMenu(const QMenu *menu, const QString &path, QList<QAction *> *actions,
             QHash<QAction *, QString> *paths) {
    for (QAction *a : menu->actions()) {
        if (a->isSeparator()) {
            continue;
        }
        if (a->menu()) {
            addMenu(a->menu(), path + QStringLiteral(" › ") + plainText(a->menu()->title()),
                    actions, paths);
        } else if (!a->shortcuts().isEmpty() && !actions->contains(a)) {
            actions->append(a);
            paths->insert(a, path);
        }
    }
}

// The menu each action of window is found in, by the menu bar's order.
QHash<QAction *, QString> menuPaths(const QWidget *window, QList<QAction *> *actions) {
    QHash<QAction *, QString> paths;
    if (const auto *menuBar = window ? window->findChild<QMenuBar *>() : nullptr) {
        for (QAction *a : menuBar->actions()) {
            if (a->menu()) {
                addMenu(a->menu(), plainText(a->menu()->title()), actions, &paths);
            }
        }
    }
    return paths;
}

} // namespace

Help::Help(QWidget *parent)
    : PageDialog(QStringLiteral("Help"), QStringLiteral("帮助"), QSize(720, 620), parent) {
    setPage(QStringLiteral("helpBrowser"), html(parent ? parent->window() : nullptr));
}

QList<QAction *> Help::shortcutActions(const QWidget *window) {
    QList<QAction *> actions;
    if (!window) {
        return actions;
    }
    menuPaths(window, &actions);
    QList<QAction *> others;
    for (const QToolBar *bar : window->findChildren<QToolBar *>()) {
        others += bar->actions();
    }
    others += window->actions();
    // Any other action whose shortcut works: one shown in some widget.
    for (QAction *a : window->findChildren<QAction *>()) {
        if (!a->associatedWidgets().isEmpty()) {
            others.append(a);
        }
    }
    for (QAction *a : others) {
        if (!a->isSeparator() && !a->shortcuts().isEmpty() && !actions.contains(a)) {
            actions.append(a);
        }
    }
    return actions;
}

QString Help::shortcutTableHtml(const QWidget *window) {
    QList<QAction *> actions;
    const QHash<QAction *, QString> paths = menuPaths(window, &actions);
    QString html =
        QStringLiteral("<table id=\"shortcuts\" border=\"0\" cellspacing=\"0\" cellpadding=\"3\">");
    for (QAction *a : shortcutActions(window)) {
        QStringList keys;
        for (const QKeySequence &k : a->shortcuts()) {
            keys.append(k.toString(QKeySequence::NativeText));
        }
        const QString path = paths.value(a);
        const QString text = plainText(a->text());
        html += keyRow(keys.join(QStringLiteral(" / ")),
                       path.isEmpty() ? text : path + QStringLiteral(" › ") + text);
    }
    html += QStringLiteral("</table>");
    return html;
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
        // Two octaves up is 倍高音 (written with 彳), not a sixteenth.
        QString name = symbol.name;
        name.replace(QStringLiteral("高十六度"), QStringLiteral("倍高音"));
        html += cell(name.toHtmlEscaped());
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

    html += QStringLiteral("<h3>查找与替换栏</h3>"
                           "<table border=\"0\" cellspacing=\"0\" cellpadding=\"3\">");
    html += keyRow(QStringLiteral("回车 / Shift+回车"), QStringLiteral("查找下一个 / 上一个"));
    html +=
        keyRow(QStringLiteral("回车（替换栏中）"), QStringLiteral("替换当前匹配，并查找下一个"));
    html += keyRow(QStringLiteral("Esc"), QStringLiteral("关闭查找栏"));
    html += QStringLiteral("</table>");
    return html;
}

QString Help::guideHtml() {
    return QStringLiteral(
        "<h3>乐谱设置行</h3>"
        "<p>唱词中形如 <code>; 笛色=小工调 板式=一板三眼 速度=60 八度=0</code> 的注释行是设置行"
        "（插入 › 乐谱设置，Alt+D），行号栏标作“设置”，从该行起生效："
        "<b>笛色</b>为调名（小工调、凡字调、六字调、正工调、乙字调、上字调、尺字调，可省“调”字）；"
        "<b>板式</b>为一板三眼、一板一眼、流水板、散板、加赠一板三眼、加赠一板一眼，或“自动”；"
        "<b>速度</b>为每分钟的四分音符拍数；<b>八度</b>为 -1、0 或 1。各项均可省略。</p>"
        "<h3>板眼检查</h3>"
        "<p>输入时程序按笛色、板式和板眼读出旋律，看不懂之处加下划线（如有板眼而无谱字、"
        "似缺一板、超出笛子音域等）；编辑区下方的“板眼检查”列出这些问题，单击即跳到该处，"
        "鼠标停在下划线上可看说明。</p>"
        "<h3>播放</h3>"
        "<p>F5 从光标处播放（光标在行首时从该行第一个唱字起），再按暂停或继续；Shift+F5 停止；"
        "Ctrl+F5 立即循环播放选中的唱字（无选区时为光标所在行），再按一次停止循环。"
        "笛子奏旋律，木鱼和边击打板眼（F7 开关），F8 加一小节预备拍。"
        "速度可设为曲谱所标速度的 50%–200%，笛色、八度可临时改换，均不改动文件。"
        "播放栏显示正在用的笛色和实际速度（♩=每分钟拍数）。播放中打字即停止。"
        "音色库默认用系统的 SoundFont，可在 播放 › 选择音色库… 另选。</p>"
        "<h3>简谱</h3>"
        "<p>导出时“谱式”可选工尺谱竖排或<b>简谱</b>横排：数字加高低音点和减时线，"
        "板眼记号在上，唱词在下；加赠板可整写为 8/4 或在赠板处分为两个 4/4 小节。</p>"
        "<h3>五线谱</h3>"
        "<p>“谱式”选<b>五线谱</b>时，由 LilyPond 排版：音高按笛色和八度，小节按板式，散板不划小节，"
        "每字一音节唱词，腔格写倚音，气口写换气记号，板眼记号可显示在谱表上方。"
        "可设谱表大小和唱词字体。排谱在后台进行，预览下方显示进度，可随时停止；"
        "未改动的曲牌不再重排。点击音符即跳到该字。需要安装 LilyPond（lilypond 软件包），"
        "否则提示“未找到 LilyPond，无法排五线谱”。导出 LilyPond（.ly）文件可在 Frescobaldi 中继续编辑。</p>"
        "<h3>导出与打印</h3>"
        "<p>导出（Ctrl+E）为 PDF、SVG、PNG、JPG 页面，MIDI、MusicXML、WAV 音频，或 LilyPond 源文件。"
        "打印（Ctrl+P）与打印预览（Ctrl+Shift+P）按导出的纸张和方向输出工尺谱、简谱或五线谱。</p>"
        "<h3>导入</h3>"
        "<p>文件 › 导入…（Ctrl+I），或把文件拖到窗口上：MusicXML（.musicxml、.xml、.mxl）或 MIDI"
        "（.mid）文件成为新的未命名文档。调号的大调主音为“上”定笛色，拍号定板式（4/4 一板三眼、"
        "2/4 一板一眼、1/4 流水板、8/4 加赠，无拍号为散板），节奏写成板眼，倚音写小字，换气写气口，"
        "第一段歌词为唱词。导入时改动或未能导入之处，按小节和拍列在“导入报告”中，点击可跳到该字。</p>"
        "<h3>备份与恢复</h3>"
        "<p>每次保存前都会保留被覆盖的版本：文件 › 恢复早期版本… 列出该文件最近的五个版本，"
        "在新标签页中打开所选版本。未保存的修改至多一分钟后写入恢复文件，程序意外退出后"
        "再次启动时可以恢复。</p>"
        "<h3>曲谱集</h3>"
        "<p>文件 › 新建曲谱集… / 打开曲谱集…：把几份曲谱编成一本书。编辑窗口左边是书名、副题、编者、"
        "谱式、导出方案和曲目（添加曲谱、添加卷、移除、上移下移，卷名可双击修改），右边随时排出全书："
        "书名页、目录（各曲及其曲牌、卷的页码）、书眉（工尺谱在版心写书名、曲名和页码）、连续页码，"
        "每曲另起一页，可选从右页起；导出的 PDF 书签按 书 › 卷 › 曲 › 曲牌 排列。曲谱集文件（.gcpbook）"
        "是纯文本，每行一项：<code>书名=</code> <code>副题=</code> <code>编者=</code> "
        "<code>谱式=工尺谱|简谱|五线谱</code> <code>方案=</code> <code>右页起=是|否</code> "
        "<code>卷=</code> <code>曲=相对路径.gcp</code>。读不懂的行、缺失或损坏的曲谱文件都会报出行号，"
        "并且不导出。</p>"
        "<h3>曲库</h3>"
        "<p>视图 › 曲库：添加存放 .gcp 文件的文件夹（连同其中的子文件夹），即可按标题、曲牌、"
        "宫调、笛色、板式、唱词或旋律查找；文件的增删改、改名随时反映出来。直接输入的词在标题、"
        "曲牌和唱词中查找；也可加前缀：<code>标题:</code> <code>曲牌:</code> <code>宫调:</code> "
        "<code>笛色:</code> <code>板式:</code> <code>词:</code>（标点不计），"
        "<code>腔:工尺上</code> 按旋律查找（合即六、四即五、一即乙，不论高低八度、小字、气口，"
        "板眼腔格可夹在其间；也可粘贴工尺符号），<code>音程:工尺上</code> 找任何调上的同一旋律"
        "（如 五六凡）。多个条件用空格分开，须同时满足。双击结果即打开该文件，光标停在该处。"
        "无法读取的文件连同原因列在下方；重建索引会重读所有文件。</p>"
        "<h3>命令行</h3>"
        "<p>不开窗口直接导出：</p>"
        "<pre>qorvel --export pdf --output 曲谱.pdf 曲谱.gcp\n"
        "qorvel --export png --dpi 300 --output 输出目录/ 曲谱.gcp\n"
        "qorvel --export pdf --notation jianpu --output 简谱.pdf 曲谱.gcp\n"
        "qorvel --export pdf --notation staff --output 五线谱.pdf 曲谱.gcp\n"
        "qorvel --import 乐曲.musicxml --output 曲谱.gcp\n"
        "qorvel --import 乐曲.mid --export pdf --notation jianpu --output 简谱.pdf\n"
        "qorvel --book 曲谱集.gcpbook --export pdf --output 曲谱集.pdf\n"
        "qorvel --library-search 曲牌:皂罗袍 --library 曲谱文件夹</pre>"
        "<p><code>--export</code> 可为 pdf、svg、png、jpg、midi、musicxml、wav、ly；"
        "<code>--dpi</code> 为 96、160、300 或 600；<code>--notation gongche|jianpu|staff</code> "
        "选谱式；"
        "<code>--zeng split|whole</code> 选加赠小节的写法；<code>--scheme 方案.json</code> "
        "临时使用一个导出方案。损坏的文件不导出，退出码为 1。"
        "<code>--import</code> 把导入报告写到标准错误，什么也读不出时退出码为 1，"
        "不会覆盖已有的文件。<code>--library-search</code> 在曲库中查找（与曲库面板用同一索引），"
        "每行一处：文件:行:列: [项目] 该行。</p>");
}

QString Help::html(const QWidget *window) {
    QString dictionary;
    QFile file(QStringLiteral(":/resources/wordsdict.csv"));
    if (file.open(QIODevice::ReadOnly)) {
        dictionary = QString::fromUtf8(file.readAll());
    }
    return QStringLiteral("<h2>Qorvel工尺谱 帮助</h2>"
                          "<h3>工尺符号与简拼</h3>"
                          "<p>同一符号可有多个简拼；同一简拼可对应多个符号，在候选框中选择。</p>") +
           symbolTableHtml(dictionary, FontRegistry::instance()->defaultFamily()) +
           QStringLiteral("<p>倍高音：比高音（亻旁）再高一个八度，谱字加彳旁。</p>") + keysHtml() +
           QStringLiteral("<h3>快捷键</h3>") + shortcutTableHtml(window) + guideHtml();
}
