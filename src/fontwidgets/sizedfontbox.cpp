#include "fontwidgets/sizedfontbox.h"

#include "fontwidgets/chooserstyle.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>

SizedFontBox::SizedFontBox(QWidget *familyChooser, QWidget *parent)
    : QWidget(parent)
    , m_sizeEdit(new QLineEdit(this))
    , m_validator(new QIntValidator(5, 300, this)) {
    // Sizes follow the height the box has when it is built (30 pixels for a
    // child the toolkit has just created).
    const int h = height();
    familyChooser->setParent(this);
    familyChooser->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_sizeEdit->setValidator(m_validator);
    m_sizeEdit->setText(QString::number(m_validator->bottom()));
    m_sizeEdit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_sizeEdit->setMinimumWidth(int(h * 1.2));
    m_sizeEdit->setMaximumWidth(int(h * 1.6));
    m_sizeEdit->setStyleSheet(ChooserStyle::lineEdit());

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(familyChooser, 1);
    layout->addWidget(m_sizeEdit, 0);

    connect(m_sizeEdit, &QLineEdit::editingFinished, this, &SizedFontBox::onLineEditChanged);
}

void SizedFontBox::setRange(int min, int max) {
    m_validator->setRange(min, max);
    m_sizeEdit->setPlaceholderText(QStringLiteral("%1~%2").arg(min).arg(max));
}

void SizedFontBox::setFontSize(int size) {
    m_sizeEdit->setText(QString::number(size));
}

int SizedFontBox::fontSize() const {
    const QString text = m_sizeEdit->text();
    return text.isEmpty() ? m_validator->bottom() : text.toInt();
}

QFont SizedFontBox::withSize(QFont font) const {
    const int size = fontSize();
    if (size > 0) {
        font.setPointSize(size);
    }
    return font;
}

void SizedFontBox::onLineEditChanged() {
    if (!m_sizeEdit->text().isEmpty()) {
        const int size = m_sizeEdit->text().toInt();
        const int clamped = qBound(m_validator->bottom(), size, m_validator->top());
        if (clamped != size) {
            m_sizeEdit->setText(QString::number(clamped));
        }
    }
    onFontChanged();
}

void SizedFontBox::onFontChanged() {
    emit fontChanged(currentFont(), fontSize());
}
