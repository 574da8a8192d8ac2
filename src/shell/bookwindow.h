#pragma once

#include "book/bookfile.h"
#include "model/outcome.h"

#include <QTimer>
#include <QWidget>
#include <memory>

namespace Ui {
class BookWindow;
}
class BookEdition;
class QListWidgetItem;
class Typesetter;

// The book editor: a 曲谱集's fields (书名, 副题, 编者, 谱式, 方案, right-hand
// starts), its score files and part headings in order (added, removed,
// renamed in place, moved with the buttons or by dragging), and beside them
// the whole book's pages, set again a moment after every change. The book is
// saved as a ".gcpbook" file and exported as one PDF.
class BookWindow : public QWidget {
    Q_OBJECT

public:
    explicit BookWindow(QWidget *parent = nullptr);
    ~BookWindow() override;

    // Reads the book at path; on failure the window keeps the book it had and
    // the outcome says why.
    Outcome open(const QString &path);
    // The book as the fields and the list make it.
    BookFile book() const;
    bool isModified() const { return m_modified; }
    // Adds score files at the end of the book, or after the current item.
    void addScores(const QStringList &paths);
    void addPart(const QString &heading);

    Typesetter *typesetter() const { return m_typesetter; }
    BookEdition *edition() const { return m_edition; }
    // True while the pages shown are those of the book as it stands.
    bool pagesCurrent() const { return m_pagesCurrent; }

public slots:
    // Sets the book's pages again now.
    void refresh();
    bool save();
    bool saveAs();
    // Asks where and writes the book's pages as one PDF.
    bool exportPdf();

signals:
    // A book was saved or exported to path.
    void saved(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setBook(const BookFile &book);
    void changed();
    void updateTitle();
    void updateButtons();
    void moveCurrent(int by);
    void removeSelected();
    void chooseScheme();
    void onProgress(int done, int total);
    void onFinished(const Outcome &outcome);
    void showStatus(const QString &text, bool failure);
    QListWidgetItem *newItem(const BookFile::Item &item) const;
    QString startFolder() const;

    std::unique_ptr<Ui::BookWindow> ui;
    Typesetter *m_typesetter;
    BookEdition *m_edition;
    QString m_path;
    QTimer m_refreshTimer;
    bool m_modified = false;
    bool m_pagesCurrent = false;
    bool m_loading = false;
};
