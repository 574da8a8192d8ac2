#pragma once

#include "library/libraryhit.h"

#include <QDockWidget>
#include <QVector>

class DocumentTab;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class ScoreLibrary;

// The 曲库 dock: the folders of the user's score files (kept in the settings),
// a search field (LibraryQuery's syntax), the hits with their file, title and
// line, the part that matched highlighted, a 重建索引 command, and the files
// that could not be read with the reason. Opening a hit (double-click or
// Enter) asks the window to open its file with the cursors at the match.
class LibraryDock : public QDockWidget {
    Q_OBJECT

public:
    // The library keeps its index at indexPath (by default in the data folder).
    explicit LibraryDock(QWidget *parent = nullptr, const QString &indexPath = QString());
    ~LibraryDock() override;

    ScoreLibrary *library() const { return m_library; }
    QStringList folders() const;
    // Adds or removes a folder, stores the list and indexes it.
    void addFolder(const QString &folder);
    void removeFolder(const QString &folder);
    // Searches at once, as typing in the field does after a pause.
    void search(const QString &query);
    const QVector<LibraryHit> &hits() const { return m_hits; }
    // Asks to open the hit in the row.
    void open(int row);

    // Puts a tab's cursors at a hit: the lyric words selected, or for a
    // melody the character and the first sign matched.
    static void placeCursors(DocumentTab *tab, const LibraryHit &hit);

signals:
    void openRequested(const LibraryHit &hit);

private:
    void setFolders(const QStringList &folders);
    void chooseFolder();
    void showState();
    void showUnreadable();
    void runSearch();

    ScoreLibrary *m_library;
    QLineEdit *m_query;
    QListWidget *m_folders;
    QPushButton *m_removeBtn;
    QPushButton *m_rebuildBtn;
    QLabel *m_status;
    QListWidget *m_results;
    QLabel *m_unreadableLabel;
    QListWidget *m_unreadable;
    QTimer *m_typing;
    QVector<LibraryHit> m_hits;
    QString m_searchMessage;
    int m_done = 0;
    int m_total = 0;
};
