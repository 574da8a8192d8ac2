#pragma once

#include <QFont>
#include <QWidget>

class QComboBox;
class QIntValidator;
class QLineEdit;

// One of the registered gongche font families plus a point size. The list is
// read from the font registry once, when the box is built.
class CustomFontBox : public QWidget {
    Q_OBJECT

public:
    explicit CustomFontBox(QWidget *parent = nullptr);

    // Sets the size range and shows it as the size edit's placeholder.
    void setRange(int min, int max);
    // Selects the item of exactly font.family(); keeps the selection when
    // there is none.
    void setCurrentFont(const QFont &font);
    void setFontSize(int size);
    // The chosen family with the size of the size edit.
    QFont currentFont() const;
    // The size edit's number, or the lower end of the range when it is empty.
    int fontSize() const;

    QComboBox *fontCombo() const { return m_fontCombo; }
    QLineEdit *sizeEdit() const { return m_sizeEdit; }

signals:
    void fontChanged(QFont font, int size);

public slots:
    void onLineEditChanged();
    void onFontChanged();

private:
    QComboBox *m_fontCombo;
    QLineEdit *m_sizeEdit;
    QIntValidator *m_validator;
};
