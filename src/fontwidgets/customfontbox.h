#pragma once

#include "fontwidgets/sizedfontbox.h"

class QComboBox;

// One of the registered gongche font families plus a point size. The list is
// read from the font registry once, when the box is built.
class CustomFontBox : public SizedFontBox {
    Q_OBJECT

public:
    explicit CustomFontBox(QWidget *parent = nullptr);

    // Selects the item of exactly font.family(); keeps the selection when
    // there is none.
    void setCurrentFont(const QFont &font) override;
    QFont currentFont() const override;

    QComboBox *fontCombo() const { return m_fontCombo; }

private:
    CustomFontBox(QComboBox *combo, QWidget *parent);

    QComboBox *m_fontCombo;
};
