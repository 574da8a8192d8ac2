#pragma once

#include "model/documentline.h"
#include "model/outcome.h"
#include "staff/lilypondsource.h"
#include "typeset/pagestyle.h"

#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QVector>

class StaffEngraver;
class Typesetter;

// The staff edition of a document: its tunes written as LilyPond sources,
// engraved, and taken into a typesetter's page list, so that the preview,
// printing and the page writers show staff pages as they show the others.
// The engraving runs in LilyPond's own process; the tunes engraved before
// come from its cache. No widgets.
class StaffEdition : public QObject {
    Q_OBJECT

public:
    explicit StaffEdition(QObject *parent = nullptr);
    ~StaffEdition() override;

    StaffEngraver *engraver() const { return m_engraver; }

    // The LilyPond sources of lines in style, one per tune.
    static QVector<LilyPondSource> sources(const DocumentLines &lines, const PageStyle &style);

    // Starts engraving lines in style for typesetter; a run under way is
    // given up. finished() tells the outcome; on success the typesetter's
    // page list holds the pages.
    void start(Typesetter *typesetter, const DocumentLines &lines, const PageStyle &style);
    void cancel();
    bool isRunning() const;

    // Engraves and waits: for the command line and for an export.
    Outcome engrave(Typesetter *typesetter, const DocumentLines &lines, const PageStyle &style);

signals:
    // done of total tunes engraved.
    void progress(int done, int total);
    // A failure carries the message to show; a cancelled run finishes as
    // a failure without a message.
    void finished(const Outcome &outcome);

private:
    void prepare(Typesetter *typesetter, const DocumentLines &lines, const PageStyle &style);
    void onEngraved();
    Outcome take();

    StaffEngraver *m_engraver;
    QPointer<Typesetter> m_typesetter;
    DocumentLines m_lines;
    PageStyle m_style;
    QVector<LilyPondSource> m_sources;
    bool m_waiting = false; // engrave() waits for the run
};
