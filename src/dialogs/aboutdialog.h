#pragma once

#include "dialogs/pagedialog.h"

// The modal "关于" dialog: what the program is, its version and the licence of
// the embedded gongche font, as fixed rich text.
class About : public PageDialog {
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);

    // The page shown in the dialog.
    static QString html();
};
