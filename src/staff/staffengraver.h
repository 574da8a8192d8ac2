#pragma once

#include "staff/lilypondsource.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>
#include <memory>

// Engraves LilyPond sources into SVG pages with LilyPond (Debian's
// `lilypond`), run as a separate process: the caller's thread only starts it
// and collects what it wrote, so a window stays responsive and can cancel.
//
// Every source is engraved on its own (one SVG file per page, point-and-
// click links kept) and its pages are cached by the hash of its text, on
// disk in the cache folder: a source met again, in this run or a later one,
// is not engraved again. The sources not in the cache are engraved in one
// LilyPond run. A run that takes longer than the time limit is stopped.
// LilyPond's error output becomes one readable line; its warnings are kept
// with the pages.
class StaffEngraver : public QObject {
    Q_OBJECT

public:
    // The engraving of one source.
    struct Tune {
        QVector<QByteArray> pages; // SVG documents, in page order
        QString warnings;          // LilyPond's warnings, as it wrote them
    };
    enum class Failure { None, Missing, Error, TimedOut, Cancelled };
    struct Result {
        Failure failure = Failure::None;
        // What the user reads of a failure, one line (Chinese); empty on
        // success and when cancelled.
        QString message;
        QVector<Tune> tunes; // one per source, on success
        int engraved = 0;    // sources LilyPond engraved (the others came from the cache)
    };

    explicit StaffEngraver(QObject *parent = nullptr);
    ~StaffEngraver() override;

    // The LilyPond program: the one QORVEL_LILYPOND names, or `lilypond` on
    // the PATH; empty when there is none.
    static QString program();
    // "未找到 LilyPond，无法排五线谱"
    static QString missingMessage();

    // Where engraved pages are kept; by default "lilypond" in the
    // program's cache folder.
    void setCacheDirectory(const QString &path);
    QString cacheDirectory() const;
    // The longest a LilyPond run may take, in seconds; by default 60 and 20
    // more per source to engrave, or what QORVEL_LILYPOND_TIMEOUT says.
    void setTimeLimit(int seconds);

    // Starts engraving sources; a run under way is cancelled first. The end
    // is told by finished(); sources all in the cache finish at once (still
    // by the signal, from the event loop).
    void start(const QVector<LilyPondSource> &sources);
    // Stops a run under way: it finishes as Cancelled.
    void cancel();
    bool isRunning() const;
    // The result of the last run that finished.
    const Result &result() const;

    // Engraves and waits for the result (with an event loop of its own):
    // for the command line.
    Result engrave(const QVector<LilyPondSource> &sources);

signals:
    // done of total sources engraved (those from the cache count as done).
    void progress(int done, int total);
    void finished();

private:
    struct Run;
    void startLilyPond(const QString &lilypond);
    // LilyPond's error output so far, with its workers' logs.
    QString lilyPondOutput() const;
    void countProgress();
    // The run's end: its pages read, cached, and its messages told.
    void collect(int exitCode);
    void finish(Failure failure, const QString &message);
    void finishLater(Failure failure, const QString &message);

    std::unique_ptr<Run> m_run;
    Result m_result;
    QString m_cacheDirectory;
    int m_timeLimit = -1;
};
