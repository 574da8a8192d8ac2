#include "fontwidgets/fontmanager.h"

#include "dialogs/prompt.h"
#include "dialogs/screenfit.h"
#include "fonts/fontregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The font files directly inside dir, in the order the file system lists
// them, the suffix matched without regard to case.
QStringList fontFiles(const QDir &dir) {
    QStringList paths;
    const QStringList names = dir.entryList(FontRegistry::fontFilePatterns(), QDir::Files,
                                            QDir::Unsorted | QDir::IgnoreCase);
    for (const QString &name : names) {
        paths.append(dir.filePath(name));
    }
    return paths;
}

} // namespace

FontManager::FontManager(QWidget *parent)
    : QDialog(parent)
    , m_fontList(new QListWidget(this))
    , m_installButton(new QPushButton(tr("安装字体"), this))
    , m_deleteButton(new QPushButton(tr("删除字体"), this))
    , m_closeButton(new QPushButton(tr("关闭"), this))
    , m_registry(*FontRegistry::instance()) {
    setWindowTitle(tr("字体管理"));
    setMinimumSize(320, 240);
    resize(420, 360);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    m_fontList->setObjectName(QStringLiteral("fontList"));
    m_installButton->setObjectName(QStringLiteral("installBtn"));
    m_deleteButton->setObjectName(QStringLiteral("deleteBtn"));
    m_closeButton->setObjectName(QStringLiteral("closeBtn"));
    m_fontList->setSelectionMode(QAbstractItemView::SingleSelection);

    auto *title = new QLabel(tr("已安装字体列表"), this);
    title->setStyleSheet(QStringLiteral("font-weight: bold; font-size: 14px;"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_installButton);
    buttons->addWidget(m_deleteButton);
    buttons->addStretch();
    buttons->addWidget(m_closeButton);

    auto *note =
        new QLabel(tr("安装的字体会复制到程序的 fonts 文件夹，可在曲谱字体中选用。"), this);
    note->setObjectName(QStringLiteral("installNote"));
    note->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(m_fontList);
    layout->addWidget(note);
    layout->addLayout(buttons);

    connect(m_installButton, &QPushButton::clicked, this, &FontManager::installFont);
    connect(m_deleteButton, &QPushButton::clicked, this, &FontManager::deleteFont);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_fontList, &QListWidget::itemSelectionChanged, this, &FontManager::updateDeleteButton);

    refreshFontList();
    ScreenFit::fit(this);
}

void FontManager::refreshFontList() {
    m_fontList->clear();
    const QString defaultFamily = m_registry.defaultFamily();
    for (const QString &family : m_registry.families()) {
        auto *item = new QListWidgetItem(family, m_fontList);
        if (family == defaultFamily) {
            item->setForeground(Qt::blue);
            QFont font = item->font();
            font.setWeight(QFont::Bold);
            item->setFont(font);
            item->setToolTip(tr("默认字体 (不可删除)"));
        }
    }
    m_deleteButton->setEnabled(false);
}

void FontManager::updateDeleteButton() {
    const QList<QListWidgetItem *> selected = m_fontList->selectedItems();
    if (selected.isEmpty()) {
        m_deleteButton->setEnabled(false);
        return;
    }
    m_deleteButton->setEnabled(selected.first()->text() != m_registry.defaultFamily());
}

void FontManager::installFont() {
    const QString source = Prompt::openFileName(
        this, tr("选择字体文件"), QDir::homePath(),
        tr("字体文件 (%1)").arg(FontRegistry::fontFilePatterns().join(QLatin1Char(' '))));
    if (source.isEmpty()) {
        return;
    }
    const QString fontsDir = m_registry.fontsDir();
    QDir().mkpath(fontsDir);
    const QString fileName = QFileInfo(source).fileName();
    const QString target = QDir(fontsDir).filePath(fileName);

    if (QFileInfo::exists(target)) {
        Prompt::warning(this, tr("安装失败"), tr("字体文件\"%1\"已存在。").arg(fileName));
        return;
    }

    const int id = QFontDatabase::addApplicationFont(source);
    if (id < 0) {
        Prompt::warning(this, tr("安装失败"), tr("无法读取字体文件\"%1\"。").arg(fileName));
        return;
    }
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QFontDatabase::removeApplicationFont(id);

    const QStringList known = m_registry.families();
    for (const QString &family : families) {
        if (known.contains(family)) {
            Prompt::warning(this, tr("安装失败"), tr("字体名称\"%1\"已存在。").arg(family));
            return;
        }
    }

    if (!QFile::copy(source, target)) {
        Prompt::critical(this, tr("安装失败"), tr("无法复制字体文件到安装目录。"));
        return;
    }

    m_registry.reload();
    refreshFontList();
    Prompt::information(this, tr("安装成功"), tr("字体\"%1\"已成功安装。").arg(fileName));
}

void FontManager::deleteFont() {
    const QList<QListWidgetItem *> selected = m_fontList->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const QString family = selected.first()->text();

    if (family == m_registry.defaultFamily()) {
        Prompt::warning(this, tr("删除失败"), tr("默认字体不能被删除。"));
        return;
    }

    if (Prompt::question(this, tr("确认删除"), tr("确定要删除字体\"%1\"吗？").arg(family),
                         QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        return;
    }

    const QString path = findFontFile(family);
    if (path.isEmpty()) {
        Prompt::warning(this, tr("删除失败"), tr("无法找到字体\"%1\"的文件。").arg(family));
        return;
    }

    // Registering and releasing the file once more lets the font database
    // let go of it before it is removed.
    const int id = QFontDatabase::addApplicationFont(path);
    if (id >= 0) {
        QFontDatabase::removeApplicationFont(id);
    }

    if (!QFile::remove(path)) {
        Prompt::critical(
            this, tr("删除失败"),
            tr("无法删除字体文件，可能是文件被占用。请关闭使用该字体的应用程序后重试。"));
        return;
    }
    m_registry.reload();
    refreshFontList();
    Prompt::information(this, tr("删除成功"), tr("字体\"%1\"已成功删除。").arg(family));
}

QString FontManager::findFontFile(const QString &family) const {
    const QDir dir(m_registry.fontsDir());
    if (!dir.exists()) {
        return QString();
    }
    for (const QString &path : fontFiles(dir)) {
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            continue;
        }
        // Only asked for its families: the registry keeps its own registration.
        const bool provides = QFontDatabase::applicationFontFamilies(id).contains(family);
        QFontDatabase::removeApplicationFont(id);
        if (provides) {
            return path;
        }
    }
    return QString();
}
