#include "dialogs/backupdialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

BackupDialog::Responder &responder() {
    static BackupDialog::Responder r;
    return r;
}

enum Column { NameColumn, TimeColumn, SizeColumn };

} // namespace

BackupDialog::BackupDialog(const QList<Version> &versions, QWidget *parent)
    : QDialog(parent)
    , m_versions(versions)
    , m_list(new QTreeWidget(this))
    , m_open(new QPushButton(QStringLiteral("打开"), this)) {
    setObjectName(QStringLiteral("BackupDialog"));
    setWindowTitle(QStringLiteral("恢复早期版本"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    resize(560, 320);

    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("每次保存前，文件原有的内容都会留作早期版本。\n"
                                            "选中的版本在新标签页中打开，需要您自行保存。"),
                             this);
    intro->setObjectName(QStringLiteral("introLabel"));
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_list->setObjectName(QStringLiteral("versionList"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QStringLiteral("文件"), QStringLiteral("保存时间"), QStringLiteral("大小")});
    m_list->setRootIsDecorated(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(TimeColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(SizeColumn, QHeaderView::ResizeToContents);
    for (const Version &v : m_versions) {
        auto *item = new QTreeWidgetItem(m_list, {v.originalName, timeOf(v), sizeOf(v.size)});
        item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        const QString tip = v.originalPath.isEmpty() ? v.originalName : v.originalPath;
        for (int column = NameColumn; column <= SizeColumn; ++column) {
            item->setToolTip(column, tip);
        }
    }
    if (m_versions.isEmpty()) {
        auto *item = new QTreeWidgetItem(m_list, {QStringLiteral("没有早期版本")});
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        item->setFirstColumnSpanned(true);
    }
    layout->addWidget(m_list, 1);

    auto *buttons = new QHBoxLayout;
    m_open->setObjectName(QStringLiteral("openBtn"));
    m_open->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelBtn"));
    cancel->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(m_open);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_open, &QPushButton::clicked, this, &BackupDialog::onOpenBtnClicked);
    connect(cancel, &QPushButton::clicked, this, &BackupDialog::onCancelBtnClicked);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &BackupDialog::onItemDoubleClicked);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &BackupDialog::updateOpenButton);

    // The newest version is the likeliest choice.
    setSelectedRow(m_versions.isEmpty() ? -1 : 0);
    updateOpenButton();
    m_list->setFocus();
}

int BackupDialog::selectedRow() const {
    const QList<QTreeWidgetItem *> selected = m_list->selectedItems();
    if (m_versions.isEmpty() || selected.isEmpty()) {
        return -1;
    }
    return m_list->indexOfTopLevelItem(selected.first());
}

void BackupDialog::setSelectedRow(int row) {
    if (row < 0 || row >= m_versions.size()) {
        m_list->clearSelection();
        return;
    }
    QTreeWidgetItem *item = m_list->topLevelItem(row);
    m_list->setCurrentItem(item);
    item->setSelected(true);
}

BackupDialog::Version BackupDialog::selectedVersion() const {
    const int row = selectedRow();
    return row < 0 ? Version() : m_versions.at(row);
}

void BackupDialog::updateOpenButton() {
    m_open->setEnabled(selectedRow() >= 0);
}

void BackupDialog::onItemDoubleClicked(QTreeWidgetItem *item) {
    const int row = m_list->indexOfTopLevelItem(item);
    if (!m_versions.isEmpty() && row >= 0) {
        setSelectedRow(row);
        accept();
    }
}

void BackupDialog::onOpenBtnClicked() {
    if (selectedRow() >= 0) {
        accept();
    }
}

void BackupDialog::onCancelBtnClicked() {
    reject();
}

bool BackupDialog::choose(QWidget *parent, const QList<Version> &versions, Version *chosen) {
    int row = -1;
    if (responder()) {
        row = responder()(versions);
    } else {
        BackupDialog dialog(versions, parent);
        if (dialog.exec() == QDialog::Accepted) {
            row = dialog.selectedRow();
        }
    }
    if (row < 0 || row >= versions.size()) {
        return false;
    }
    *chosen = versions.at(row);
    return true;
}

void BackupDialog::setResponder(Responder r) {
    responder() = std::move(r);
}

QString BackupDialog::timeOf(const Version &version) {
    return version.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString BackupDialog::sizeOf(qint64 bytes) {
    if (bytes < 1024) {
        return QStringLiteral("%1 字节").arg(bytes);
    }
    if (bytes < 1024 * 1024) {
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024, 0, 'f', 1);
    }
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}
