#include "fonts/colorbox.h"

#include "dialogs/prompt.h"
#include "fonts/chooserstyle.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>

ColorBox::ColorBox(QWidget *parent)
    : QWidget(parent)
    , m_colorName(QStringLiteral("#ffffff"))
    , m_color(Qt::white)
    , m_lineEdit(new QLineEdit(this))
    , m_button(new QPushButton(this)) {
    const int h = height();

    m_lineEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^#[0-9a-fA-F]{0,6}$")), m_lineEdit));
    m_lineEdit->setText(m_colorName);
    m_lineEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_lineEdit->setStyleSheet(ChooserStyle::lineEdit());

    m_button->setAutoDefault(false);
    m_button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    const int side = h - 4 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    m_button->setFixedSize(side, side);
    restyleButton();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lineEdit, 1);
    layout->addWidget(m_button, 0);

    connect(m_button, &QPushButton::clicked, this, &ColorBox::onPushButtonClicked);
    connect(m_lineEdit, &QLineEdit::editingFinished, this, &ColorBox::onLineEditChanged);
}

void ColorBox::setColor(const QColor &color) {
    if (!color.isValid()) {
        return;
    }
    applyColor(color);
    m_lineEdit->setText(m_colorName);
}

void ColorBox::onPushButtonClicked() {
    const QColor chosen = Prompt::color(m_color, this, QStringLiteral("选择颜色"));
    if (!chosen.isValid()) {
        return;
    }
    setColor(chosen);
    emit colorChanged(m_color);
}

void ColorBox::onLineEditChanged() {
    // The warning box takes the focus from the edit, which finishes the edit
    // a second time; that second report must not raise a second warning.
    if (m_warning) {
        return;
    }
    QColor parsed;
    parsed.setNamedColor(m_lineEdit->text());
    if (parsed.isValid()) {
        applyColor(parsed);
        emit colorChanged(m_color);
        return;
    }
    m_warning = true;
    Prompt::warning(this, QStringLiteral("警告"), QStringLiteral("错误的颜色值!"));
    m_lineEdit->setText(m_colorName);
    m_lineEdit->setFocus();
    m_warning = false;
}

void ColorBox::applyColor(const QColor &color) {
    m_color = color;
    m_colorName = color.name();
    restyleButton();
}

void ColorBox::restyleButton() {
    m_button->setStyleSheet(QStringLiteral("QPushButton{ background-color: ") + m_colorName +
                            QStringLiteral(";}"));
}
