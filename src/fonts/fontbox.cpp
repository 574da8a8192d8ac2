#include "fonts/fontbox.h"

#include "fonts/chooserstyle.h"

#include <QFontComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>

FontBox::FontBox(QWidget *parent)
    : QWidget(parent)
    , m_fontCombo(new QFontComboBox(this))
    , m_sizeEdit(new QLineEdit(this))
    , m_validator(new QIntValidator(5, 300, this)) {
    const int h = height();

    m_fontCombo->setEditable(false);
    m_fontCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_sizeEdit->setValidator(m_validator);
    m_sizeEdit->setText(QString::number(m_validator->bottom()));
    m_sizeEdit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_sizeEdit->setMinimumWidth(int(h * 1.2));
    m_sizeEdit->setMaximumWidth(int(h * 1.6));
    m_sizeEdit->setStyleSheet(ChooserStyle::lineEdit());

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_fontCombo, 1);
    layout->addWidget(m_sizeEdit, 0);

    connect(m_sizeEdit, &QLineEdit::editingFinished, this, &FontBox::onLineEditChanged);
    connect(m_fontCombo, &QFontComboBox::currentFontChanged, this, &FontBox::onFontChanged);
}

void FontBox::setRange(int min, int max) {
    m_validator->setRange(min, max);
    m_sizeEdit->setPlaceholderText(QStringLiteral("%1~%2").arg(min).arg(max));
}

void FontBox::setCurrentFont(const QFont &font) {
    m_fontCombo->setCurrentFont(font);
}

void FontBox::setFontSize(int size) {
    m_sizeEdit->setText(QString::number(size));
}

QFont FontBox::currentFont() const {
    QFont font = m_fontCombo->currentFont();
    const int size = fontSize();
    if (size > 0) {
        font.setPointSize(size);
    }
    return font;
}

int FontBox::fontSize() const {
    const QString text = m_sizeEdit->text();
    return text.isEmpty() ? m_validator->bottom() : text.toInt();
}

void FontBox::onLineEditChanged() {
    if (!m_sizeEdit->text().isEmpty()) {
        const int size = m_sizeEdit->text().toInt();
        const int clamped = qBound(m_validator->bottom(), size, m_validator->top());
        if (clamped != size) {
            m_sizeEdit->setText(QString::number(clamped));
        }
    }
    onFontChanged();
}

void FontBox::onFontChanged() {
    emit fontChanged(currentFont(), fontSize());
}
