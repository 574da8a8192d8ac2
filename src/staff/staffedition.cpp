#include "staff/staffedition.h"

#include "music/melodybuilder.h"
#include "staff/lilypondwriter.h"
#include "staff/staffengraver.h"
#include "staff/staffpages.h"
#include "typeset/typesetter.h"

#include <QScopedValueRollback>

namespace {

const QString failureTitle = QStringLiteral("五线谱");

// The plain title of a document: its last title line.
QString titleOf(const DocumentLines &lines) {
    QString title;
    for (const DocumentLine &line : lines) {
        if (line.kind == LineKind::Title) {
            title = titleText(line.text).trimmed();
        }
    }
    return title;
}

} // namespace

StaffEdition::StaffEdition(QObject *parent)
    : QObject(parent)
    , m_engraver(new StaffEngraver(this)) {
    connect(m_engraver, &StaffEngraver::progress, this, &StaffEdition::progress);
    connect(m_engraver, &StaffEngraver::finished, this, &StaffEdition::onEngraved);
}

StaffEdition::~StaffEdition() = default;

QVector<LilyPondSource> StaffEdition::sources(const DocumentLines &lines, const PageStyle &style) {
    LilyPondWriter::Options options;
    options.title = titleOf(lines);
    options.style = style.bounded();
    return LilyPondWriter::tunes(lines, music::MelodyBuilder().build(lines), options);
}

void StaffEdition::prepare(Typesetter *typesetter, const DocumentLines &lines,
                           const PageStyle &style) {
    m_typesetter = typesetter;
    m_lines = lines;
    m_style = style.bounded();
    m_sources = sources(lines, m_style);
}

void StaffEdition::start(Typesetter *typesetter, const DocumentLines &lines,
                         const PageStyle &style) {
    prepare(typesetter, lines, style);
    m_engraver->start(m_sources);
}

void StaffEdition::cancel() {
    m_engraver->cancel();
}

bool StaffEdition::isRunning() const {
    return m_engraver->isRunning();
}

Outcome StaffEdition::engrave(Typesetter *typesetter, const DocumentLines &lines,
                              const PageStyle &style) {
    prepare(typesetter, lines, style);
    // The run reports by the value returned, not by finished().
    const QScopedValueRollback<bool> waiting(m_waiting, true);
    m_engraver->engrave(m_sources);
    return take();
}

void StaffEdition::onEngraved() {
    if (m_waiting) {
        return;
    }
    emit finished(take());
}

Outcome StaffEdition::take() {
    const StaffEngraver::Result &result = m_engraver->result();
    if (result.failure != StaffEngraver::Failure::None) {
        return Outcome::failure(failureTitle, result.message);
    }
    if (!m_typesetter) {
        return Outcome::failure(failureTitle, QString());
    }
    const QSize page = m_style.pageSize();
    m_typesetter->setDrawnPages(
        m_style, m_lines,
        StaffPages::pages(m_sources, result.tunes, QSizeF(page.width(), page.height())));
    return Outcome::success();
}
