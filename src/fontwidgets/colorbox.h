#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

// A colour typed as "#" and six (or three) hexadecimal digits, or picked in
// the colour dialog. The button beside the edit shows the colour. A value
// that is no colour is refused with a warning naming the box's field.
class ColorBox : public QWidget {
    Q_OBJECT

public:
    explicit ColorBox(QWidget *parent = nullptr);

    // Stores a valid colour without signalling; an invalid colour is ignored.
    void setColor(const QColor &color);
    QColor color() const { return m_color; }

    // The field's name in messages. Without one set, the text of the label
    // whose buddy the box is, or of the label left of it in its grid or form
    // row, without the closing colon; empty when there is no such label.
    void setFieldName(const QString &name) { m_fieldName = name; }
    QString fieldName() const;

    QLineEdit *lineEdit() const { return m_lineEdit; }
    QPushButton *button() const { return m_button; }

signals:
    void colorChanged(QColor c);

public slots:
    void onPushButtonClicked();
    void onLineEditChanged();

private:
    void applyColor(const QColor &color);
    void restyleButton();

    QString m_fieldName;
    QString m_colorName;
    QColor m_color;
    QLineEdit *m_lineEdit;
    QPushButton *m_button;
    bool m_warning = false;
};
