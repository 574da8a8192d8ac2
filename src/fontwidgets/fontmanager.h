#pragma once

#include <QDialog>

class FontRegistry;
class QListWidget;
class QPushButton;

// The modal dialog that lists the gongche fonts of the registry, installs a
// font file (.ttf, .otf, .ttc) into the "fonts" directory and deletes an
// installed one. The embedded font is shown first, marked, and cannot be
// deleted.
class FontManager : public QDialog {
    Q_OBJECT

public:
    explicit FontManager(QWidget *parent = nullptr);

    // The installed font file that provides family, or an empty string.
    QString findFontFile(const QString &family) const;

public slots:
    void refreshFontList();
    void installFont();
    void deleteFont();

private slots:
    void updateDeleteButton();

private:
    QListWidget *m_fontList;
    QPushButton *m_installButton;
    QPushButton *m_deleteButton;
    QPushButton *m_closeButton;
    FontRegistry &m_registry;
};
