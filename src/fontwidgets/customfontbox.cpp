#include "fontwidgets/customfontbox.h"

#include "fonts/fontregistry.h"

#include <QComboBox>

CustomFontBox::CustomFontBox(QWidget *parent)
    : CustomFontBox(new QComboBox, parent) {}

CustomFontBox::CustomFontBox(QComboBox *combo, QWidget *parent)
    : SizedFontBox(combo, parent)
    , m_fontCombo(combo) {
    m_fontCombo->setEditable(false);
    m_fontCombo->addItems(FontRegistry::instance()->families());
    connect(m_fontCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CustomFontBox::onFontChanged);
}

void CustomFontBox::setCurrentFont(const QFont &font) {
    const int index =
        m_fontCombo->findText(font.family(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        m_fontCombo->setCurrentIndex(index);
    }
}

QFont CustomFontBox::currentFont() const {
    QFont font;
    font.setFamily(m_fontCombo->currentText());
    return withSize(font);
}
