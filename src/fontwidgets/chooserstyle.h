#pragma once

#include <QString>

// The look shared by the line edits of the font and colour chooser widgets.
namespace ChooserStyle {

inline QString lineEdit() {
    return QStringLiteral("QLineEdit { border: 1px solid #adadad; } QLineEdit:focus, "
                          "QLineEdit:hover { border: 1px solid #608dfa; }");
}

} // namespace ChooserStyle
