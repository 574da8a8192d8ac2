#include "editor/importreportdock.h"

#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

ImportReportDock::ImportReportDock(QWidget *parent)
    : QDockWidget(titleFor(0), parent) {
    setObjectName(QStringLiteral("importReportDock"));
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(2);
    m_source = new QLabel(body);
    m_source->setObjectName(QStringLiteral("importSource"));
    m_source->setWordWrap(true);
    layout->addWidget(m_source);
    m_list = new QListWidget(body);
    m_list->setObjectName(QStringLiteral("importRemarkList"));
    m_list->setWordWrap(true);
    layout->addWidget(m_list);
    setWidget(body);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int index = m_list->row(item);
        if (index >= 0 && index < m_remarks.size() && m_remarks.at(index).character >= 0) {
            emit goToCharacter(m_remarks.at(index).character);
        }
    });
}

QString ImportReportDock::titleFor(int count) {
    return count > 0 ? QStringLiteral("导入报告（%1）").arg(count) : QStringLiteral("导入报告");
}

void ImportReportDock::setReport(const QString &source,
                                 const QVector<music::ImportRemark> &remarks) {
    m_remarks = remarks;
    m_list->clear();
    for (const music::ImportRemark &remark : remarks) {
        auto *item = new QListWidgetItem(remark.text(), m_list);
        item->setToolTip(remark.text());
    }
    const QString name = QFileInfo(source).fileName();
    m_source->setText(remarks.isEmpty()
                          ? QStringLiteral("“%1”已导入，音乐没有改动。").arg(name)
                          : QStringLiteral("“%1”已导入。以下各处有改动或未能导入：").arg(name));
    setWindowTitle(titleFor(remarks.size()));
    show();
    raise();
}
