#pragma once

#include <QFont>
#include <QWidget>

class QIntValidator;
class QLineEdit;

// What the font boxes share: a family chooser (given by the subclass) beside
// an edit for the point size, and one signal for every change of either.
class SizedFontBox : public QWidget {
    Q_OBJECT

public:
    // Sets the size range and shows it as the size edit's placeholder.
    void setRange(int min, int max);
    void setFontSize(int size);
    // The size edit's number, or the lower end of the range when it is empty.
    int fontSize() const;
    // The chosen family with the size of the size edit.
    virtual QFont currentFont() const = 0;
    virtual void setCurrentFont(const QFont &font) = 0;

    QLineEdit *sizeEdit() const { return m_sizeEdit; }

signals:
    void fontChanged(QFont font, int size);

public slots:
    void onLineEditChanged();
    void onFontChanged();

protected:
    // Lays out familyChooser (stretching) and the size edit (fixed).
    SizedFontBox(QWidget *familyChooser, QWidget *parent);
    // Gives font the size of the size edit, when there is one.
    QFont withSize(QFont font) const;

private:
    QLineEdit *m_sizeEdit;
    QIntValidator *m_validator;
};
