#include "shell/bookwindow.h"

#include "book/bookedition.h"
#include "dialogs/prompt.h"
#include "export/exportconfig.h"
#include "typeset/typesetter.h"
#include "ui_bookwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// What a list item holds besides its text.
constexpr int kindRole = Qt::UserRole;     // BookFile::Item::Kind
constexpr int fileRole = Qt::UserRole + 1; // a score's absolute path

// The pause after a change before the book is set again.
constexpr int refreshDelay = 400;

QString windowTitleText() {
    return QStringLiteral("曲谱集");
}

} // namespace

BookWindow::BookWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::BookWindow>())
    , m_typesetter(new Typesetter(this))
    , m_edition(new BookEdition(this)) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ui->splitter->setStretchFactor(1, 1);
    ui->splitter->setSizes({360, 740});

    ui->notationCombo->addItem(QStringLiteral("按导出设置"));
    for (PageStyle::Notation notation :
         {PageStyle::Notation::Gongche, PageStyle::Notation::Jianpu, PageStyle::Notation::Staff}) {
        ui->notationCombo->addItem(BookFile::notationText(notation), int(notation));
    }

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(refreshDelay);
    connect(&m_refreshTimer, &QTimer::timeout, this, &BookWindow::refresh);

    for (QLineEdit *edit : {ui->titleEdit, ui->subtitleEdit, ui->editorEdit, ui->schemeEdit}) {
        connect(edit, &QLineEdit::textEdited, this, &BookWindow::changed);
    }
    connect(ui->notationCombo, QOverload<int>::of(&QComboBox::activated), this,
            &BookWindow::changed);
    connect(ui->rightPageCheck, &QCheckBox::toggled, this, &BookWindow::changed);
    connect(ui->schemeBtn, &QToolButton::clicked, this, &BookWindow::chooseScheme);

    connect(ui->itemList, &QListWidget::itemChanged, this, &BookWindow::changed);
    connect(ui->itemList->model(), &QAbstractItemModel::rowsMoved, this, &BookWindow::changed);
    connect(ui->itemList, &QListWidget::itemSelectionChanged, this, &BookWindow::updateButtons);
    connect(ui->addScoreBtn, &QPushButton::clicked, this, [this] {
        const QStringList paths = Prompt::openFileNames(
            this, QStringLiteral("添加曲谱"), startFolder(), QStringLiteral("曲谱文件 (*.gcp)"));
        addScores(paths);
    });
    connect(ui->addPartBtn, &QPushButton::clicked, this, [this] {
        addPart(QStringLiteral("新卷"));
        ui->itemList->editItem(ui->itemList->currentItem());
    });
    connect(ui->removeBtn, &QPushButton::clicked, this, &BookWindow::removeSelected);
    connect(ui->upBtn, &QToolButton::clicked, this, [this] { moveCurrent(-1); });
    connect(ui->downBtn, &QToolButton::clicked, this, [this] { moveCurrent(1); });

    connect(ui->saveBtn, &QPushButton::clicked, this, &BookWindow::save);
    connect(ui->saveAsBtn, &QPushButton::clicked, this, &BookWindow::saveAs);
    connect(ui->exportBtn, &QPushButton::clicked, this, &BookWindow::exportPdf);
    connect(ui->cancelBtn, &QPushButton::clicked, m_edition, &BookEdition::cancel);

    connect(m_edition, &BookEdition::progress, this, &BookWindow::onProgress);
    connect(m_edition, &BookEdition::finished, this, &BookWindow::onFinished);
    connect(ui->pageStrip, &PageStrip::currentPageChanged, this, [this](int index) {
        const int count = ui->pageStrip->pageCount();
        ui->pageLabel->setText(
            count == 0 ? QString() : QStringLiteral("第 %1 / %2 页").arg(index + 1).arg(count));
    });

    ui->cancelBtn->hide();
    updateTitle();
    updateButtons();
    showStatus(QStringLiteral("添加曲谱文件，书页即排在右边。"), false);
}

BookWindow::~BookWindow() = default;

Outcome BookWindow::open(const QString &path) {
    BookFile book;
    const Outcome outcome = book.read(path);
    if (!outcome) {
        return outcome;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    setBook(book);
    m_modified = false;
    updateTitle();
    refresh();
    return outcome;
}

void BookWindow::setBook(const BookFile &book) {
    m_loading = true;
    ui->titleEdit->setText(book.title());
    ui->subtitleEdit->setText(book.subtitle());
    ui->editorEdit->setText(book.editor());
    const std::optional<PageStyle::Notation> notation = book.notation();
    ui->notationCombo->setCurrentIndex(notation ? ui->notationCombo->findData(int(*notation)) : 0);
    ui->schemeEdit->setText(book.scheme());
    ui->rightPageCheck->setChecked(book.rightPageStart());
    ui->itemList->clear();
    for (const BookFile::Item &item : book.items()) {
        BookFile::Item resolved = item;
        if (item.kind == BookFile::Item::Kind::Score) {
            resolved.value = book.resolve(item.value);
        }
        ui->itemList->addItem(newItem(resolved));
    }
    m_loading = false;
    updateButtons();
}

BookFile BookWindow::book() const {
    BookFile book;
    book.setPath(m_path);
    book.setTitle(ui->titleEdit->text().trimmed());
    book.setSubtitle(ui->subtitleEdit->text().trimmed());
    book.setEditor(ui->editorEdit->text().trimmed());
    const QVariant notation = ui->notationCombo->currentData();
    book.setNotation(notation.isValid()
                         ? std::optional<PageStyle::Notation>(PageStyle::Notation(notation.toInt()))
                         : std::nullopt);
    book.setScheme(ui->schemeEdit->text().trimmed());
    book.setRightPageStart(ui->rightPageCheck->isChecked());

    // Scores are written relative to the book's folder, as a book that moves
    // with its scores needs them.
    const QDir folder = m_path.isEmpty() ? QDir() : QFileInfo(m_path).absoluteDir();
    QVector<BookFile::Item> items;
    for (int i = 0; i < ui->itemList->count(); ++i) {
        const QListWidgetItem *row = ui->itemList->item(i);
        BookFile::Item item;
        item.kind = BookFile::Item::Kind(row->data(kindRole).toInt());
        if (item.kind == BookFile::Item::Kind::Score) {
            const QString file = row->data(fileRole).toString();
            item.value = m_path.isEmpty() ? file : folder.relativeFilePath(file);
        } else {
            item.value = row->text().trimmed();
        }
        items.append(item);
    }
    book.setItems(items);
    return book;
}

QListWidgetItem *BookWindow::newItem(const BookFile::Item &item) const {
    auto *row = new QListWidgetItem;
    row->setData(kindRole, int(item.kind));
    if (item.kind == BookFile::Item::Kind::Score) {
        row->setData(fileRole, item.value);
        row->setText(QFileInfo(item.value).fileName());
        row->setToolTip(QDir::toNativeSeparators(item.value));
        row->setFlags(row->flags() & ~Qt::ItemIsEditable);
    } else {
        row->setText(item.value);
        row->setToolTip(QStringLiteral("卷：双击改名"));
        QFont bold = ui->itemList->font();
        bold.setBold(true);
        row->setFont(bold);
        row->setFlags(row->flags() | Qt::ItemIsEditable);
    }
    return row;
}

void BookWindow::addScores(const QStringList &paths) {
    if (paths.isEmpty()) {
        return;
    }
    int at =
        ui->itemList->currentRow() < 0 ? ui->itemList->count() : ui->itemList->currentRow() + 1;
    for (const QString &path : paths) {
        BookFile::Item item;
        item.value = QFileInfo(path).absoluteFilePath();
        ui->itemList->insertItem(at++, newItem(item));
    }
    ui->itemList->setCurrentRow(at - 1);
    changed();
}

void BookWindow::addPart(const QString &heading) {
    BookFile::Item item;
    item.kind = BookFile::Item::Kind::Part;
    item.value = heading;
    const int at =
        ui->itemList->currentRow() < 0 ? ui->itemList->count() : ui->itemList->currentRow() + 1;
    ui->itemList->insertItem(at, newItem(item));
    ui->itemList->setCurrentRow(at);
    changed();
}

void BookWindow::removeSelected() {
    const QList<QListWidgetItem *> selected = ui->itemList->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    qDeleteAll(selected);
    changed();
}

void BookWindow::moveCurrent(int by) {
    const int from = ui->itemList->currentRow();
    const int to = from + by;
    if (from < 0 || to < 0 || to >= ui->itemList->count()) {
        return;
    }
    QListWidgetItem *row = ui->itemList->takeItem(from);
    ui->itemList->insertItem(to, row);
    ui->itemList->setCurrentRow(to);
    changed();
}

void BookWindow::chooseScheme() {
    const QString path = Prompt::openFileName(this, QStringLiteral("选择导出方案"), startFolder(),
                                              QStringLiteral("导出方案 (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    ui->schemeEdit->setText(
        m_path.isEmpty() ? path : QFileInfo(m_path).absoluteDir().relativeFilePath(path));
    changed();
}

void BookWindow::changed() {
    if (m_loading) {
        return;
    }
    m_modified = true;
    m_pagesCurrent = false;
    updateTitle();
    updateButtons();
    m_refreshTimer.start();
}

void BookWindow::updateTitle() {
    const QString name =
        m_path.isEmpty() ? QStringLiteral("新曲谱集") : QFileInfo(m_path).fileName();
    setWindowTitle(QStringLiteral("%1%2 - %3")
                       .arg(name, m_modified ? QStringLiteral("*") : QString(), windowTitleText()));
}

void BookWindow::updateButtons() {
    const int row = ui->itemList->currentRow();
    const bool selected = !ui->itemList->selectedItems().isEmpty();
    ui->removeBtn->setEnabled(selected);
    ui->upBtn->setEnabled(selected && row > 0);
    ui->downBtn->setEnabled(selected && row >= 0 && row < ui->itemList->count() - 1);
    ui->exportBtn->setEnabled(m_pagesCurrent && !m_typesetter->pages().isEmpty());
}

void BookWindow::refresh() {
    m_refreshTimer.stop();
    const BookFile current = book();
    if (current.scoreCount() == 0) {
        m_edition->cancel();
        m_typesetter->reset();
        ui->pageStrip->setTypesetter(m_typesetter);
        showStatus(QStringLiteral("添加曲谱文件，书页即排在右边。"), false);
        return;
    }
    // The export settings in force, or the book's scheme over them, in the
    // book's notation.
    ExportConfig *config = ExportConfig::instance();
    PageStyle style = config->pageStyle();
    if (!current.scheme().isEmpty() && !config->pageStyleWithScheme(current.schemePath(), &style)) {
        showStatus(QStringLiteral("无法读取导出方案“%1”").arg(current.scheme()), true);
        return;
    }
    if (current.notation()) {
        style.notation = *current.notation();
    }
    m_pagesCurrent = false;
    updateButtons();
    ui->cancelBtn->show();
    showStatus(QStringLiteral("正在排版···"), false);
    m_edition->start(m_typesetter, current, style);
}

void BookWindow::onProgress(int done, int total) {
    showStatus(QStringLiteral("正在排版（%1/%2）···").arg(done).arg(total), false);
}

void BookWindow::onFinished(const Outcome &outcome) {
    ui->cancelBtn->hide();
    ui->pageStrip->setTypesetter(m_typesetter);
    if (!outcome) {
        // A cancelled run says nothing; the pages shown are not the book's.
        showStatus(outcome.message().isEmpty() ? QStringLiteral("已停止") : outcome.message(),
                   !outcome.message().isEmpty());
        updateButtons();
        return;
    }
    m_pagesCurrent = true;
    // Each score by its piece's title, as the contents name it.
    {
        const QSignalBlocker quiet(ui->itemList);
        for (int i = 0; i < ui->itemList->count(); ++i) {
            QListWidgetItem *row = ui->itemList->item(i);
            const QString file = row->data(fileRole).toString();
            for (const BookEdition::Piece &piece : m_edition->pieces()) {
                if (!file.isEmpty() && piece.file == file) {
                    row->setText(
                        QStringLiteral("%1（%2）").arg(piece.title, QFileInfo(file).fileName()));
                }
            }
        }
    }
    showStatus(QStringLiteral("共 %1 页").arg(m_typesetter->pages().size()), false);
    updateButtons();
}

void BookWindow::showStatus(const QString &text, bool failure) {
    ui->statusLabel->setText(text);
    ui->statusLabel->setStyleSheet(failure ? QStringLiteral("color: #c00000;") : QString());
}

QString BookWindow::startFolder() const {
    if (!m_path.isEmpty()) {
        return QFileInfo(m_path).absolutePath();
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool BookWindow::save() {
    if (m_path.isEmpty()) {
        return saveAs();
    }
    BookFile current = book();
    const Outcome outcome = current.write(m_path);
    if (!outcome) {
        Prompt::warning(this, outcome.title(), outcome.message());
        return false;
    }
    m_modified = false;
    updateTitle();
    emit saved(m_path);
    return true;
}

bool BookWindow::saveAs() {
    const QString name = ui->titleEdit->text().trimmed().isEmpty()
                             ? QStringLiteral("曲谱集")
                             : Typesetter::safeFileName(ui->titleEdit->text().trimmed());
    QString path =
        Prompt::saveFileName(this, QStringLiteral("保存曲谱集"),
                             QDir(startFolder()).filePath(name + QStringLiteral(".gcpbook")),
                             QStringLiteral("曲谱集 (*.gcpbook)"));
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".gcpbook");
    }
    // The scores keep their files; only how the book names them changes.
    m_path = QFileInfo(path).absoluteFilePath();
    return save();
}

bool BookWindow::exportPdf() {
    if (!m_pagesCurrent) {
        return false;
    }
    const QString name = Typesetter::safeFileName(ui->titleEdit->text().trimmed().isEmpty()
                                                      ? QStringLiteral("曲谱集")
                                                      : ui->titleEdit->text().trimmed());
    const QString path =
        Prompt::saveFileName(this, QStringLiteral("导出PDF"),
                             QDir(startFolder()).filePath(name + QStringLiteral(".pdf")),
                             QStringLiteral("PDF 文件 (*.pdf)"));
    if (path.isEmpty()) {
        return false;
    }
    const Outcome outcome = m_typesetter->exportPdf(path);
    if (!outcome) {
        Prompt::warning(this, outcome.title(), outcome.message());
        return false;
    }
    emit saved(outcome.path());
    return true;
}

void BookWindow::closeEvent(QCloseEvent *event) {
    if (m_modified && ui->itemList->count() > 0) {
        const QMessageBox::StandardButton answer = Prompt::question(
            this, windowTitleText(), QStringLiteral("曲谱集已修改，是否保存？"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !save())) {
            event->ignore();
            return;
        }
    }
    m_edition->cancel();
    event->accept();
}
