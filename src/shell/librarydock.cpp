#include "shell/librarydock.h"

#include "dialogs/prompt.h"
#include "editor/documenttab.h"
#include "library/scorelibrary.h"
#include "music/melody.h"
#include "platform/apppaths.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char *const settingsGroup = "Library";
const char *const foldersKey = "folders";

// A hit in two lines: the file and its title, then the line with the
// matched part marked.
class HitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString html = opt.text;
        opt.text.clear();
        QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        QTextDocument doc;
        setUp(&doc, html, opt, opt.state & QStyle::State_Selected);
        painter->save();
        painter->translate(opt.rect.topLeft() + QPoint(2, 1));
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette = opt.palette;
        if (opt.state & QStyle::State_Selected) {
            context.palette.setColor(QPalette::Text, opt.palette.color(QPalette::HighlightedText));
        }
        doc.documentLayout()->draw(painter, context);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        QTextDocument doc;
        setUp(&doc, opt.text, opt, false);
        return QSize(int(doc.idealWidth()) + 4, int(doc.size().height()) + 2);
    }

private:
    static void setUp(QTextDocument *doc, const QString &html, const QStyleOptionViewItem &opt,
                      bool selected) {
        doc->setDefaultFont(opt.font);
        // The file's title and the kind of hit in grey, but readable when selected.
        doc->setDefaultStyleSheet(
            selected ? QStringLiteral(".dim{color:%1}")
                           .arg(opt.palette.color(QPalette::HighlightedText).name())
                     : QStringLiteral(".dim{color:#6a6a6a}"));
        doc->setDocumentMargin(1);
        doc->setHtml(html);
        doc->setTextWidth(std::max(opt.rect.width() - 4, 120));
    }
};

QString hitHtml(const LibraryHit &hit) {
    const QString name = QFileInfo(hit.path).fileName();
    QString head = QStringLiteral("<b>%1</b>").arg(name.toHtmlEscaped());
    if (!hit.title.isEmpty()) {
        head += QStringLiteral(" <span class='dim'>%1</span>").arg(hit.title.toHtmlEscaped());
    }
    const QString &c = hit.context;
    const int start = std::min(std::max(hit.contextStart, 0), c.size());
    const int length = std::min(std::max(hit.contextLength, 0), c.size() - start);
    const QString line =
        c.left(start).toHtmlEscaped() +
        QStringLiteral("<span style='background-color:#ffe08a;color:#000000'>%1</span>")
            .arg(c.mid(start, length).toHtmlEscaped()) +
        c.mid(start + length).toHtmlEscaped();
    QString where = LibraryQuery::fieldLabel(hit.field);
    if (hit.lyricLine >= 0) {
        where += QStringLiteral(" · 第%1行").arg(hit.lyricLine + 1);
    }
    return QStringLiteral("%1<br><span class='dim'>[%2]</span> %3")
        .arg(head, where.toHtmlEscaped(), line);
}

QStringList storedFolders() {
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(settingsGroup));
    return settings.value(QLatin1String(foldersKey)).toStringList();
}

void storeFolders(const QStringList &folders) {
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    settings.beginGroup(QLatin1String(settingsGroup));
    settings.setValue(QLatin1String(foldersKey), folders);
}

} // namespace

LibraryDock::LibraryDock(QWidget *parent, const QString &indexPath)
    : QDockWidget(QStringLiteral("曲库"), parent)
    , m_library(
          new ScoreLibrary(indexPath.isEmpty() ? LibraryIndex::defaultPath() : indexPath, this))
    , m_typing(new QTimer(this)) {
    setObjectName(QStringLiteral("libraryDock"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);

    m_query = new QLineEdit(body);
    m_query->setObjectName(QStringLiteral("libraryQuery"));
    m_query->setClearButtonEnabled(true);
    m_query->setPlaceholderText(
        QStringLiteral("标题、曲牌、词句；或 腔:工尺上 音程:工尺上 笛色: 板式:"));
    m_query->setToolTip(
        QStringLiteral("直接输入：在标题、曲牌和唱词中查找。\n"
                       "标题:  曲牌:  宫调:  笛色:  板式:  词:  按项目查找。\n"
                       "腔:工尺上  按旋律查找（不论高低八度、小字、气口，板眼腔格可夹在其间）。\n"
                       "音程:工尺上  按音程查找，任何调上的同一旋律（如 五六凡）。\n"
                       "多个条件用空格分开，须同时满足；含空格的词句用引号括起。"));
    layout->addWidget(m_query);

    m_status = new QLabel(body);
    m_status->setObjectName(QStringLiteral("libraryStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto *splitter = new QSplitter(Qt::Vertical, body);
    splitter->setObjectName(QStringLiteral("librarySplitter"));
    splitter->setChildrenCollapsible(false);
    m_results = new QListWidget(splitter);
    m_results->setObjectName(QStringLiteral("libraryResults"));
    m_results->setItemDelegate(new HitDelegate(m_results));
    m_results->setUniformItemSizes(false);
    m_results->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_results->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *lower = new QWidget(splitter);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(2);
    m_unreadableLabel = new QLabel(lower);
    m_unreadableLabel->setObjectName(QStringLiteral("libraryUnreadableLabel"));
    lowerLayout->addWidget(m_unreadableLabel);
    m_unreadable = new QListWidget(lower);
    m_unreadable->setObjectName(QStringLiteral("libraryUnreadable"));
    m_unreadable->setWordWrap(true);
    lowerLayout->addWidget(m_unreadable);
    auto *foldersLabel = new QLabel(QStringLiteral("文件夹"), lower);
    lowerLayout->addWidget(foldersLabel);
    m_folders = new QListWidget(lower);
    m_folders->setObjectName(QStringLiteral("libraryFolders"));
    lowerLayout->addWidget(m_folders);
    auto *buttons = new QHBoxLayout;
    auto *addBtn = new QPushButton(QStringLiteral("添加文件夹…"), lower);
    addBtn->setObjectName(QStringLiteral("libraryAddBtn"));
    m_removeBtn = new QPushButton(QStringLiteral("移除"), lower);
    m_removeBtn->setObjectName(QStringLiteral("libraryRemoveBtn"));
    m_rebuildBtn = new QPushButton(QStringLiteral("重建索引"), lower);
    m_rebuildBtn->setObjectName(QStringLiteral("libraryRebuildBtn"));
    buttons->addWidget(addBtn);
    buttons->addWidget(m_removeBtn);
    buttons->addStretch(1);
    buttons->addWidget(m_rebuildBtn);
    lowerLayout->addLayout(buttons);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    setWidget(body);

    m_typing->setSingleShot(true);
    m_typing->setInterval(250);
    connect(m_typing, &QTimer::timeout, this, &LibraryDock::runSearch);
    connect(m_query, &QLineEdit::textChanged, m_typing, qOverload<>(&QTimer::start));
    connect(m_query, &QLineEdit::returnPressed, this, [this] {
        m_typing->stop();
        runSearch();
        if (!m_hits.isEmpty()) {
            m_results->setFocus();
            m_results->setCurrentRow(0);
        }
    });
    connect(m_results, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { open(m_results->row(item)); });
    connect(addBtn, &QPushButton::clicked, this, &LibraryDock::chooseFolder);
    connect(m_removeBtn, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem *item = m_folders->currentItem()) {
            removeFolder(item->data(Qt::UserRole).toString());
        }
    });
    connect(m_folders, &QListWidget::currentRowChanged, this,
            [this](int row) { m_removeBtn->setEnabled(row >= 0); });
    connect(m_rebuildBtn, &QPushButton::clicked, m_library, &ScoreLibrary::rebuild);

    connect(m_library, &ScoreLibrary::progress, this, [this](int done, int total) {
        m_done = done;
        m_total = total;
        showState();
    });
    connect(m_library, &ScoreLibrary::busyChanged, this, [this] {
        m_done = m_total = 0;
        showState();
    });
    connect(m_library, &ScoreLibrary::updated, this, [this] {
        showUnreadable();
        showState();
        if (!m_query->text().trimmed().isEmpty()) {
            runSearch(); // what changed on disk shows in the hits
        }
    });
    connect(m_library, &ScoreLibrary::failed, this, [this] { showState(); });

    // The folders of the last session, checked once the window is up.
    const QStringList stored = storedFolders();
    for (const QString &folder : stored) {
        auto *item = new QListWidgetItem(QDir::toNativeSeparators(folder), m_folders);
        item->setData(Qt::UserRole, folder);
    }
    m_removeBtn->setEnabled(false);
    showUnreadable();
    showState();
    if (!stored.isEmpty()) {
        QTimer::singleShot(0, this, [this, stored] { m_library->setFolders(stored); });
    }
}

LibraryDock::~LibraryDock() = default;

QStringList LibraryDock::folders() const {
    QStringList out;
    for (int i = 0; i < m_folders->count(); ++i) {
        out.append(m_folders->item(i)->data(Qt::UserRole).toString());
    }
    return out;
}

void LibraryDock::setFolders(const QStringList &folders) {
    m_folders->clear();
    for (const QString &folder : folders) {
        auto *item = new QListWidgetItem(QDir::toNativeSeparators(folder), m_folders);
        item->setData(Qt::UserRole, folder);
    }
    m_removeBtn->setEnabled(false);
    storeFolders(folders);
    m_library->setFolders(folders);
    showState();
}

void LibraryDock::addFolder(const QString &folder) {
    if (folder.isEmpty()) {
        return;
    }
    const QString clean = LibraryIndex::normalised(folder);
    QStringList list = folders();
    if (!list.contains(clean)) {
        list.append(clean);
        setFolders(list);
    }
}

void LibraryDock::removeFolder(const QString &folder) {
    QStringList list = folders();
    if (list.removeAll(folder) > 0) {
        setFolders(list);
        runSearch();
    }
}

void LibraryDock::chooseFolder() {
    addFolder(Prompt::existingDirectory(this, QStringLiteral("添加曲库文件夹"), QDir::homePath()));
}

void LibraryDock::showState() {
    QString text;
    if (m_folders->count() == 0) {
        text = QStringLiteral("添加存放工尺谱文件（.gcp）的文件夹，即可在其中查找。");
    } else if (!m_library->error().isEmpty()) {
        text = m_library->error();
    } else if (m_library->isBusy()) {
        text = m_total > 0 ? QStringLiteral("正在建立索引… %1/%2").arg(m_done).arg(m_total)
                           : QStringLiteral("正在检查文件…");
    } else {
        text = QStringLiteral("曲库共 %1 个文件。").arg(m_library->fileCount());
        if (!m_library->discarded().isEmpty()) {
            text += QStringLiteral("（原索引不可用：%1，已重建。）").arg(m_library->discarded());
        }
    }
    if (!m_searchMessage.isEmpty()) {
        text = m_searchMessage + QLatin1Char(' ') + text;
    }
    m_status->setText(text);
    m_rebuildBtn->setEnabled(m_folders->count() > 0 && !m_library->isBusy());
}

void LibraryDock::showUnreadable() {
    const QVector<LibraryIndex::Unreadable> unreadable = m_library->unreadable();
    m_unreadable->clear();
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (const LibraryIndex::Unreadable &u : unreadable) {
        auto *item = new QListWidgetItem(
            warning, QStringLiteral("%1 — %2").arg(QDir::toNativeSeparators(u.path), u.reason),
            m_unreadable);
        item->setToolTip(u.path);
    }
    m_unreadableLabel->setText(QStringLiteral("无法读取的文件（%1）：").arg(unreadable.size()));
    m_unreadableLabel->setVisible(!unreadable.isEmpty());
    m_unreadable->setVisible(!unreadable.isEmpty());
}

void LibraryDock::search(const QString &query) {
    m_query->setText(query);
    m_typing->stop();
    runSearch();
}

void LibraryDock::runSearch() {
    LibraryIndex::SearchInfo info;
    const QString query = m_query->text();
    m_hits = query.trimmed().isEmpty() ? QVector<LibraryHit>() : m_library->search(query, &info);
    m_results->clear();
    for (const LibraryHit &hit : qAsConst(m_hits)) {
        auto *item = new QListWidgetItem(hitHtml(hit), m_results);
        item->setToolTip(QDir::toNativeSeparators(hit.path));
    }
    if (query.trimmed().isEmpty()) {
        m_searchMessage.clear();
    } else if (!info.error.isEmpty()) {
        m_searchMessage = info.error + QStringLiteral("。");
    } else if (m_hits.isEmpty()) {
        m_searchMessage = QStringLiteral("未找到。");
    } else {
        m_searchMessage = info.truncated ? QStringLiteral("找到 %1 处以上。").arg(m_hits.size())
                                         : QStringLiteral("找到 %1 处。").arg(m_hits.size());
    }
    showState();
}

void LibraryDock::open(int row) {
    if (row >= 0 && row < m_hits.size()) {
        emit openRequested(m_hits.at(row));
    }
}

void LibraryDock::placeCursors(DocumentTab *tab, const LibraryHit &hit) {
    if (!tab) {
        return;
    }
    const bool melody =
        hit.field == LibraryQuery::Field::Melody || hit.field == LibraryQuery::Field::Interval;
    if (melody && hit.scoreLine >= 0) {
        music::Place place;
        place.pane = music::Place::Pane::Score;
        place.line = hit.scoreLine;
        place.column = hit.scoreColumn;
        place.length = hit.scoreLength;
        tab->goTo(place);
        return;
    }
    if (hit.lyricLine >= 0) {
        tab->selectLyric(hit.lyricLine, hit.lyricColumn, hit.lyricLength);
    }
}
