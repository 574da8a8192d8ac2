#include "dialogs/recoverydialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

RecoveryDialog::Responder &responder() {
    static RecoveryDialog::Responder r;
    return r;
}

enum Column { NameColumn, PathColumn, TimeColumn, ChoiceColumn };

} // namespace

RecoveryDialog::RecoveryDialog(const QList<RecoveryStore::Entry> &entries, QWidget *parent)
    : QDialog(parent)
    , m_entries(entries)
    , m_list(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("RecoveryDialog"));
    setWindowTitle(QStringLiteral("恢复文档"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    resize(680, 320);

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("程序上次没有正常退出，以下文档的修改尚未保存。\n"
                                            "请为每个文档选择恢复或丢弃；恢复的文档在新标签页中"
                                            "打开，需要您自行保存。"),
                             this);
    intro->setObjectName(QStringLiteral("introLabel"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list->setObjectName(QStringLiteral("recoveryList"));
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({QStringLiteral("文档"), QStringLiteral("原路径"),
                             QStringLiteral("保存时间"), QStringLiteral("处理")});
    m_list->setRootIsDecorated(false);
    m_list->setTextElideMode(Qt::ElideMiddle); // the file name stays in sight
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(ChoiceColumn, QHeaderView::ResizeToContents);
    for (const RecoveryStore::Entry &e : m_entries) {
        auto *item = new QTreeWidgetItem(m_list, {nameOf(e), pathOf(e), timeOf(e), QString()});
        item->setToolTip(PathColumn, pathOf(e));
        if (e.damaged) {
            item->setForeground(NameColumn, QColor(0xc0, 0x39, 0x2b));
        }
        auto *combo = new QComboBox(m_list);
        if (!e.damaged) {
            combo->addItem(QStringLiteral("恢复"), int(Choice::Restore));
        }
        combo->addItem(QStringLiteral("丢弃"), int(Choice::Discard));
        combo->addItem(QStringLiteral("暂不处理"), int(Choice::Keep));
        // A damaged file is kept unless the user discards it.
        combo->setCurrentIndex(combo->findData(int(e.damaged ? Choice::Keep : Choice::Restore)));
        m_list->setItemWidget(item, ChoiceColumn, combo);
    }
    layout->addWidget(m_list, 1);

    auto *buttons = new QHBoxLayout;
    auto *restoreAll = new QPushButton(QStringLiteral("全部恢复"), this);
    restoreAll->setObjectName(QStringLiteral("restoreAllBtn"));
    restoreAll->setAutoDefault(false);
    auto *discardAll = new QPushButton(QStringLiteral("全部丢弃"), this);
    discardAll->setObjectName(QStringLiteral("discardAllBtn"));
    discardAll->setAutoDefault(false);
    auto *submit = new QPushButton(QStringLiteral("确定"), this);
    submit->setObjectName(QStringLiteral("submitBtn"));
    submit->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("稍后处理"), this);
    cancel->setObjectName(QStringLiteral("cancelBtn"));
    cancel->setAutoDefault(false);
    cancel->setToolTip(QStringLiteral("保留全部文档，下次启动时再处理"));
    buttons->addWidget(restoreAll);
    buttons->addWidget(discardAll);
    buttons->addStretch(1);
    buttons->addWidget(submit);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(restoreAll, &QPushButton::clicked, this, &RecoveryDialog::onRestoreAllBtnClicked);
    connect(discardAll, &QPushButton::clicked, this, &RecoveryDialog::onDiscardAllBtnClicked);
    connect(submit, &QPushButton::clicked, this, &RecoveryDialog::onSubmitBtnClicked);
    connect(cancel, &QPushButton::clicked, this, &RecoveryDialog::onCancelBtnClicked);
    submit->setFocus();
}

QComboBox *RecoveryDialog::comboAt(int row) const {
    QTreeWidgetItem *item = m_list->topLevelItem(row);
    return item ? qobject_cast<QComboBox *>(m_list->itemWidget(item, ChoiceColumn)) : nullptr;
}

RecoveryDialog::Choice RecoveryDialog::choice(int row) const {
    QComboBox *combo = comboAt(row);
    return combo ? Choice(combo->currentData().toInt()) : Choice::Keep;
}

void RecoveryDialog::setChoice(int row, Choice choice) {
    if (QComboBox *combo = comboAt(row)) {
        const int index = combo->findData(int(choice));
        if (index >= 0) {
            combo->setCurrentIndex(index);
        }
    }
}

QList<RecoveryDialog::Choice> RecoveryDialog::choices() const {
    QList<Choice> result;
    for (int row = 0; row < m_entries.size(); ++row) {
        result.append(choice(row));
    }
    return result;
}

void RecoveryDialog::onRestoreAllBtnClicked() {
    for (int row = 0; row < m_entries.size(); ++row) {
        setChoice(row, Choice::Restore); // damaged rows have no such choice
    }
}

void RecoveryDialog::onDiscardAllBtnClicked() {
    for (int row = 0; row < m_entries.size(); ++row) {
        setChoice(row, Choice::Discard);
    }
}

void RecoveryDialog::onSubmitBtnClicked() {
    accept();
}

void RecoveryDialog::onCancelBtnClicked() {
    reject();
}

QList<RecoveryDialog::Choice> RecoveryDialog::choose(QWidget *parent,
                                                     const QList<RecoveryStore::Entry> &entries) {
    if (responder()) {
        return responder()(entries);
    }
    RecoveryDialog dialog(entries, parent);
    if (dialog.exec() == QDialog::Accepted) {
        return dialog.choices();
    }
    return QList<Choice>(); // nothing decided: every file stays
}

void RecoveryDialog::setResponder(Responder r) {
    responder() = std::move(r);
}

QString RecoveryDialog::nameOf(const RecoveryStore::Entry &entry) {
    if (entry.damaged) {
        return QStringLiteral("%1（已损坏：%2）")
            .arg(QFileInfo(entry.recoveryFile).fileName(), entry.problem);
    }
    return QFileInfo(entry.filePath).fileName();
}

QString RecoveryDialog::pathOf(const RecoveryStore::Entry &entry) {
    if (entry.damaged) {
        return QString();
    }
    if (!QFileInfo(entry.filePath).isAbsolute()) {
        return QStringLiteral("（尚未保存为文件）");
    }
    return entry.filePath;
}

QString RecoveryDialog::timeOf(const RecoveryStore::Entry &entry) {
    return entry.savedAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
