#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QVector>

class ColorBox;
class ExportConfig;
struct ExportFormat;
class QCheckBox;
class QComboBox;
class QLineEdit;
class SizedFontBox;

namespace Ui {
class ExportSettingsForm;
}

// The export settings, as a window of their own beside the preview: the
// notation first (with 简谱 chosen, the 简谱 settings show and those of
// gongche columns hide), the 加赠 choice, paper, spacings, colours and fonts,
// parameter schemes, and the kind of file to export. It edits the one
// ExportConfig in place, tells every change that alters the pages by
// changed(), and saves the settings when it is hidden or destroyed. It
// remembers its size; shown, it fits its screen.
class ExportSettingsForm : public QDialog {
    Q_OBJECT

public:
    explicit ExportSettingsForm(QWidget *parent = nullptr);
    ~ExportSettingsForm() override;

    // The format chosen in the file-type list.
    const ExportFormat *currentFormat() const;
    // The image resolution chosen: 0 to 3, from 96 to 600 dpi.
    int resolutionIndex() const;
    // Shows the settings as they are now (changed elsewhere).
    void reload();

signals:
    // A setting that alters the pages changed; force says the preview must
    // be typeset again even with live preview off (defaults restored, a
    // scheme imported, live preview turned on).
    void changed(bool force);
    // The 导出 button of the form.
    void exportRequested();

public slots:
    void onBgTransparentChanged(int transparent);
    void onPageSizeChanged(int index);
    void onIsLandscapeChanged(int index);
    void onIsLineBreakScoreOverflowChanged(int index);
    void onTitlePosChanged(int index);
    void onNotationChanged(int index);
    void onZengChanged(int index);
    void onFileTypeChanged(int index);
    void onLivePreviewChanged(int state);
    void onRestoreBtnClicked();
    void onSaveBtnClicked();
    void onImportBtnClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fillComboBoxes();
    void installValidators();
    void loadForm();
    void loadChoices();
    void loadPaperSize();
    void connectSignals();
    void connectSettingTables();
    void connectPaperSize();
    void connectChoices();
    // The lists that a turn of the wheel over them leaves as they are.
    QList<QComboBox *> wheelProofBoxes() const;
    // Shows the settings of the notation chosen: the 简谱 group for 简谱
    // pages; the column spacings, score font and 腔格 colour for gongche ones.
    void showNotationSettings();
    void fitPageSizeList();
    void saveSize();

    // Shared by the handlers of one kind: compare, store, tell.
    using FontGetter = const QFont &(ExportConfig::*)() const;
    using SizeGetter = int (ExportConfig::*)() const;
    using FontSetter = void (ExportConfig::*)(const QFont &);
    using SizeSetter = void (ExportConfig::*)(int);
    void fontChanged(const QFont &font, int size, FontGetter getFont, SizeGetter getSize,
                     FontSetter setFont, SizeSetter setSize);
    using ColorGetter = const QColor &(ExportConfig::*)() const;
    using ColorSetter = void (ExportConfig::*)(const QColor &);
    void colorChanged(const QColor &c, ColorGetter get, ColorSetter set);
    using IntGetter = int (ExportConfig::*)() const;
    using IntSetter = void (ExportConfig::*)(int);
    void lineEditChanged(const QLineEdit *edit, IntGetter get, IntSetter set);
    using BoolGetter = bool (ExportConfig::*)() const;
    using BoolSetter = void (ExportConfig::*)(bool);
    void boolChanged(bool value, BoolGetter get, BoolSetter set);

    // The settings edited alike, a table for each kind: its box, the
    // setting's getter and its setter. The form is loaded from them and
    // tells its changes through them.
    struct FontSetting {
        SizedFontBox *box;
        FontGetter getFont;
        SizeGetter getSize;
        FontSetter setFont;
        SizeSetter setSize;
    };
    struct ColorSetting {
        ColorBox *box;
        ColorGetter get;
        ColorSetter set;
    };
    struct SwitchSetting {
        QCheckBox *box;
        BoolGetter get;
        BoolSetter set;
    };
    struct NumberSetting {
        QLineEdit *edit;
        IntGetter get;
        IntSetter set;
    };
    QVector<FontSetting> fontSettings() const;
    QVector<ColorSetting> colorSettings() const;
    QVector<SwitchSetting> switchSettings() const;
    QVector<NumberSetting> numberSettings() const;

    Ui::ExportSettingsForm *ui;
    ExportConfig &m_config;
    bool m_loading = false;
    bool m_shown = false;
};
