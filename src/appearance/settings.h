#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Settings;
}

class EditorConfig;

// The modal dialog that edits the editors' fonts and colours. It reads the
// configuration when it opens and after a restore, and writes it on confirm.
// The form scrolls above the buttons when the screen is too small for it.
class Settings : public QDialog {
    Q_OBJECT

public:
    explicit Settings(QWidget *parent = nullptr);
    ~Settings() override;

    // Shows the configuration's current values in the form.
    void loadForm();
    // Hands the form's values to the configuration and saves it.
    void storeForm();

public slots:
    void onRestoreBtnClicked();
    void onCancelBtnClick();
    void onSubmitBtnClick();

private:
    std::unique_ptr<Ui::Settings> ui;
    EditorConfig *m_config;
};
