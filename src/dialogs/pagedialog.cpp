#include "dialogs/pagedialog.h"

#include "dialogs/screenfit.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

PageDialog::PageDialog(const QString &objectName, const QString &title, const QSize &size,
                       QWidget *parent)
    : QDialog(parent)
    , m_layout(new QVBoxLayout(this)) {
    setObjectName(objectName);
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    resize(size);
    ScreenFit::fit(this);
}

void PageDialog::setPage(const QString &browserName, const QString &html) {
    auto *browser = new QTextBrowser(this);
    browser->setObjectName(browserName);
    browser->setOpenLinks(false);
    browser->setHtml(html);
    m_layout->addWidget(browser, 1);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_layout->addWidget(buttons);
}
