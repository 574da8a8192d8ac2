#include "dialogs/aboutdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

About::About(QWidget *parent)
    : PageDialog(QStringLiteral("About"), QStringLiteral("关于"), QSize(520, 440), parent) {
    auto *header = new QHBoxLayout;
    auto *logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/icons/resources/icons/logo-qt.png"))
                        .scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto *title =
        new QLabel(QStringLiteral("Qorvel工尺谱 %1").arg(QStringLiteral(QORVEL_VERSION)), this);
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    header->addWidget(logo);
    header->addWidget(title, 1);
    bodyLayout()->addLayout(header);
    setPage(QStringLiteral("aboutBrowser"), html());
}

QString About::html() {
    return QStringLiteral(
               "<p>版本 %1</p>"
               "<p>Qorvel工尺谱是一款编写和排版昆曲工尺谱的桌面程序。唱词与工尺并排输入："
               "左侧为唱词，右侧每个唱字对应一行工尺符号，用内置的简拼输入法输入。"
               "唱词中可插入标题、曲牌与调名、念白、夹白、注释、换行符和分页符。</p>"
               "<p>排版时曲谱自右向左竖排成列，工尺符号与板眼斜列于唱字之旁；"
               "也可排成横排的简谱。可实时预览，导出为 PDF、SVG、PNG、JPG 页面，"
               "或导出旋律为 MIDI、MusicXML 和 WAV 音频，也可直接打印。"
               "输入时即检查板眼，并可按笛色、板式和速度播放。"
               "纸张、边距、间距、字体与颜色均可设置，并可保存为方案文件。</p>"
               "<p>曲谱文件的扩展名为 .gcp。</p>"
               "<h4>字体许可</h4>"
               "<p>内置的工尺谱字体由文鼎 AR PL UKai（文鼎ＰＬ中楷）衍生而来，"
               "依文鼎公众授权（Arphic Public License）发布；"
               "该字体及其衍生作品可自由使用、复制和分发，修改后的版本须沿用同一授权。</p>")
        .arg(QStringLiteral(QORVEL_VERSION));
}
