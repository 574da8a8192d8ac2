#include "fonts/customfontbox.h"

#include "fonts/chooserstyle.h"
#include "fonts/fontregistry.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>

CustomFontBox::CustomFontBox(QWidget *parent)
    : QWidget(parent)
    , m_fontCombo(new QComboBox(this))
    , m_sizeEdit(new QLineEdit(this))
    , m_validator(new QIntValidator(5, 300, this)) {
    const int h = height();

    m_fontCombo->setEditable(false);
    m_fontCombo->addItems(FontRegistry::instance()->families());
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

    connect(m_sizeEdit, &QLineEdit::editingFinished, this, &CustomFontBox::onLineEditChanged);
    connect(m_fontCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CustomFontBox::onFontChanged);
}

void CustomFontBox::setRange(int min, int max) {
    m_validator->setRange(min, max);
    m_sizeEdit->setPlaceholderText(QStringLiteral("%1~%2").arg(min).arg(max));
}

void CustomFontBox::setCurrentFont(const QFont &font) {
    const int index =
        m_fontCombo->findText(font.family(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        m_fontCombo->setCurrentIndex(index);
    }
}

void CustomFontBox::setFontSize(int size) {
    m_sizeEdit->setText(QString::number(size));
}

QFont CustomFontBox::currentFont() const {
    QFont font;
    font.setFamily(m_fontCombo->currentText());
    const int size = fontSize();
    if (size > 0) {
        font.setPointSize(size);
    }
    return font;
}

int CustomFontBox::fontSize() const {
    const QString text = m_sizeEdit->text();
    return text.isEmpty() ? m_validator->bottom() : text.toInt();
}

void CustomFontBox::onLineEditChanged() {
    if (!m_sizeEdit->text().isEmpty()) {
        const int size = m_sizeEdit->text().toInt();
        const int clamped = qBound(m_validator->bottom(), size, m_validator->top());
        if (clamped != size) {
            m_sizeEdit->setText(QString::number(clamped));
        }
    }
    onFontChanged();
}

void CustomFontBox::onFontChanged() {
    emit fontChanged(currentFont(), fontSize());
}
