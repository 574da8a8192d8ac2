#pragma once

#include <QDialog>

class QVBoxLayout;

// The frame of the program's reading dialogs (About, Help): a modal window
// whose body is a fixed rich-text page, closed with "关闭". It opens in the
// given size where the screen has room, smaller where it has not. Subclasses
// may put a header above the page before they set it.
class PageDialog : public QDialog {
    Q_OBJECT

protected:
    PageDialog(const QString &objectName, const QString &title, const QSize &size, QWidget *parent);

    QVBoxLayout *bodyLayout() const { return m_layout; }

    // Adds the page, in a text browser named browserName, and the close button.
    void setPage(const QString &browserName, const QString &html);

private:
    QVBoxLayout *m_layout = nullptr;
};
