#pragma once

#include "fontwidgets/sizedfontbox.h"

class QFontComboBox;

// A font family of the system that covers Chinese, plus a point size.
class FontBox : public SizedFontBox {
    Q_OBJECT

public:
    explicit FontBox(QWidget *parent = nullptr);

    void setCurrentFont(const QFont &font) override;
    QFont currentFont() const override;

    QFontComboBox *fontCombo() const { return m_fontCombo; }

private:
    FontBox(QFontComboBox *combo, QWidget *parent);

    QFontComboBox *m_fontCombo;
};
