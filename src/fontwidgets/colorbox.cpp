#include "fontwidgets/colorbox.h"

#include "dialogs/prompt.h"
#include "fontwidgets/chooserstyle.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>

namespace {

// The label left of widget in its grid or form row, searched in layout and
// the layouts nested in it.
QLabel *labelBeside(const QLayout *layout, const QWidget *widget) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (const QLayout *inner = item->layout()) {
            if (QLabel *label = labelBeside(inner, widget)) {
                return label;
            }
            continue;
        }
        if (item->widget() != widget) {
            continue;
        }
        QLayoutItem *left = nullptr;
        if (auto *grid = qobject_cast<const QGridLayout *>(layout)) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            left = column > 0 ? grid->itemAtPosition(row, column - 1) : nullptr;
        } else if (auto *form = qobject_cast<const QFormLayout *>(layout)) {
            int row = 0;
            QFormLayout::ItemRole role = QFormLayout::LabelRole;
            form->getItemPosition(i, &row, &role);
            left = role == QFormLayout::FieldRole ? form->itemAt(row, QFormLayout::LabelRole)
                                                  : nullptr;
        }
        return left ? qobject_cast<QLabel *>(left->widget()) : nullptr;
    }
    return nullptr;
}

} // namespace

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
    const QString field = fieldName();
    const QString message = QStringLiteral("错误的颜色值!");
    Prompt::warning(this, QStringLiteral("警告"),
                    field.isEmpty() ? message : QStringLiteral("“%1”：%2").arg(field, message));
    m_lineEdit->setText(m_colorName);
    m_lineEdit->setFocus();
    m_warning = false;
}

QString ColorBox::fieldName() const {
    if (!m_fieldName.isEmpty()) {
        return m_fieldName;
    }
    const QLabel *label = nullptr;
    const QList<QLabel *> labels = window()->findChildren<QLabel *>();
    for (const QLabel *candidate : labels) {
        if (candidate->buddy() == this) {
            label = candidate;
            break;
        }
    }
    if (!label && parentWidget() && parentWidget()->layout()) {
        label = labelBeside(parentWidget()->layout(), this);
    }
    if (!label) {
        return QString();
    }
    QString text = label->text().trimmed();
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xff1a))) {
        text.chop(1);
    }
    return text.trimmed();
}

void ColorBox::applyColor(const QColor &color) {
    m_color = color;
    m_colorName = color.name();
    restyleButton();
}

void ColorBox::restyleButton() {
    // With a border of its own the swatch is drawn by the style sheet alone,
    // in exactly the colour; the platform style would shade it as a button.
    m_button->setStyleSheet(QStringLiteral("QPushButton{ background-color: ") + m_colorName +
                            QStringLiteral("; border: 1px solid #adadad; }"
                                           "QPushButton:hover{ border-color: #608dfa; }"));
}
