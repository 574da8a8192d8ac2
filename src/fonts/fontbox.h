#pragma once

#include <QFont>
#include <QWidget>

class QFontComboBox;
class QIntValidator;
class QLineEdit;

// Any font family of the system plus a point size.
class FontBox : public QWidget {
    Q_OBJECT

public:
    explicit FontBox(QWidget *parent = nullptr);

    // Sets the size range and shows it as the size edit's placeholder.
    void setRange(int min, int max);
    void setCurrentFont(const QFont &font);
    void setFontSize(int size);
    // The chosen family with the size of the size edit.
    QFont currentFont() const;
    // The size edit's number, or the lower end of the range when it is empty.
    int fontSize() const;

    QFontComboBox *fontCombo() const { return m_fontCombo; }
    QLineEdit *sizeEdit() const { return m_sizeEdit; }

signals:
    void fontChanged(QFont font, int size);

public slots:
    void onLineEditChanged();
    void onFontChanged();

private:
    QFontComboBox *m_fontCombo;
    QLineEdit *m_sizeEdit;
    QIntValidator *m_validator;
};
