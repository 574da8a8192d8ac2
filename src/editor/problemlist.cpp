#include "editor/problemlist.h"

#include "appearance/problemmarks.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ProblemList::ProblemList(QWidget *parent)
    : QDockWidget(titleFor(0), parent) {
    setObjectName(QStringLiteral("problemDock"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto *body = new QWidget(this);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    m_list = new QListWidget(body);
    m_list->setObjectName(QStringLiteral("problemList"));
    m_list->setWordWrap(true);
    layout->addWidget(m_list);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(4, 0, 4, 4);
    m_fix = new QPushButton(body);
    m_fix->setObjectName(QStringLiteral("insertSettingsLine"));
    m_fix->hide();
    row->addWidget(m_fix);
    row->addStretch(1);
    layout->addLayout(row);
    setWidget(body);

    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        const int index = m_list->row(item);
        if (index >= 0 && index < m_problems.size()) {
            emit goTo(m_problems.at(index).place);
        }
    });
    connect(m_list, &QListWidget::currentRowChanged, this, &ProblemList::updateFixButton);
    connect(m_fix, &QPushButton::clicked, this, [this] {
        const int index = m_list->currentRow();
        if (index >= 0 && index < m_problems.size() && !m_problems.at(index).fix.isEmpty()) {
            emit insertLine(m_problems.at(index).fixLine, m_problems.at(index).fix);
        }
    });
}

QString ProblemList::titleFor(int count) {
    return count > 0 ? QStringLiteral("板眼检查（%1）").arg(count) : QStringLiteral("板眼检查");
}

void ProblemList::setProblems(const QVector<music::Problem> &problems, const QStringList &where) {
    if (problems == m_problems && m_list->count() == problems.size()) {
        return;
    }
    m_problems = problems;
    m_list->clear();
    for (int i = 0; i < problems.size(); ++i) {
        const music::Problem &p = problems.at(i);
        auto *item = new QListWidgetItem(where.value(i) + QStringLiteral("：") + p.text(), m_list);
        item->setForeground(ProblemMarks::colorOf(p.severity));
        item->setToolTip(p.text());
    }
    setWindowTitle(titleFor(problems.size()));
    // The first problem a settings line answers is offered at once.
    for (int i = 0; i < problems.size(); ++i) {
        if (!problems.at(i).fix.isEmpty()) {
            m_list->setCurrentRow(i);
            break;
        }
    }
    updateFixButton();
    setVisible(!problems.isEmpty());
}

void ProblemList::updateFixButton() {
    const int index = m_list->currentRow();
    const bool fix = index >= 0 && index < m_problems.size() && !m_problems.at(index).fix.isEmpty();
    if (fix) {
        m_fix->setText(QStringLiteral("插入设置行“%1”").arg(m_problems.at(index).fix));
    }
    m_fix->setVisible(fix);
}
