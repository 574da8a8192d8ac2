#include "fontwidgets/fontbox.h"

#include <QFontComboBox>
#include <QFontDatabase>

FontBox::FontBox(QWidget *parent)
    : FontBox(new QFontComboBox, parent) {}

FontBox::FontBox(QFontComboBox *combo, QWidget *parent)
    : SizedFontBox(combo, parent)
    , m_fontCombo(combo) {
    m_fontCombo->setEditable(false);
    m_fontCombo->setWritingSystem(QFontDatabase::SimplifiedChinese);
    connect(m_fontCombo, &QFontComboBox::currentFontChanged, this, &FontBox::onFontChanged);
}

void FontBox::setCurrentFont(const QFont &font) {
    m_fontCombo->setCurrentFont(font);
}

QFont FontBox::currentFont() const {
    return withSize(m_fontCombo->currentFont());
}
