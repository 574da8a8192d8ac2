#include "import/midifilereader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QTextCodec>
#include <algorithm>

namespace music {

namespace {

// The grid a performance's onsets and ends are brought onto: an eighth of a
// beat.
constexpr qint64 gridTicks = ticksPerBeat / 8;
// No piece is longer than this (in the melody model's ticks)...
constexpr qint64 maxPieceTicks = qint64(1) << 31;
// ...and a track is not read past this many ticks of its own, so that no sum
// of delta times can overflow.
constexpr qint64 maxFileTicks = qint64(1) << 40;
// General MIDI's percussion channel, counted from 0.
constexpr int drumChannel = 9;
// The time signature's denominator is 2 to this power at most (a 64th).
constexpr int maxDenominatorPower = 6;

enum MetaType : int {
    TextEvent = 0x01,
    TrackName = 0x03,
    LyricEvent = 0x05,
    MarkerEvent = 0x06,
    CuePoint = 0x07,
    EndOfTrack = 0x2f,
    TempoEvent = 0x51,
    TimeSignature = 0x58,
    KeySignature = 0x59,
};

// A note as a track plays it, in the file's ticks.
struct PlayedNote {
    qint64 on = 0;
    qint64 off = -1; // -1 while it sounds
    int key = 0;
    int channel = 0;
};

struct MetaEvent {
    qint64 tick = 0; // the file's ticks
    int type = 0;
    QByteArray data;
};

// How a track chunk ended.
enum class TrackEnd { Complete, Truncated, Damaged, TooLong };

struct Track {
    QVector<PlayedNote> notes; // in the order they begin
    QVector<MetaEvent> metas;
    TrackEnd end = TrackEnd::Complete;
};

quint32 bigEndian(const char *p, int bytes) {
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | quint8(p[i]);
    }
    return v;
}

// The events of one track chunk's body. Reads at most `size` bytes at `data`
// and allocates nothing that the bytes do not hold.
class TrackParser {
public:
    TrackParser(const char *data, int size)
        : m_data(data)
        , m_size(size) {}

    Track parse() {
        QHash<int, QVector<int>> sounding; // channel * 128 + key → notes, oldest first
        qint64 time = 0;
        int status = 0;
        while (m_pos < m_size) {
            quint32 delta = 0;
            if (!variableLength(&delta)) {
                break;
            }
            time += delta;
            if (time > maxFileTicks) {
                m_track.end = TrackEnd::TooLong;
                break;
            }
            if (m_pos >= m_size) {
                m_track.end = TrackEnd::Truncated;
                break;
            }
            const quint8 first = quint8(m_data[m_pos]);
            if (first == 0xff) {
                ++m_pos;
                if (!meta(time)) {
                    break;
                }
                continue;
            }
            if (first == 0xf0 || first == 0xf7) {
                ++m_pos;
                quint32 length = 0;
                if (!variableLength(&length) || !skip(length)) {
                    break;
                }
                continue;
            }
            if (first >= 0xf0) {
                // System common and real-time messages have no place in a file.
                m_track.end = TrackEnd::Damaged;
                break;
            }
            if (first & 0x80) {
                status = first;
                ++m_pos;
            } else if (status == 0) {
                m_track.end = TrackEnd::Damaged; // data without a status
                break;
            }
            const int kind = status & 0xf0;
            const int dataBytes = kind == 0xc0 || kind == 0xd0 ? 1 : 2;
            if (m_size - m_pos < dataBytes) {
                m_track.end = TrackEnd::Truncated;
                break;
            }
            const int a = quint8(m_data[m_pos]) & 0x7f;
            const int b = dataBytes > 1 ? quint8(m_data[m_pos + 1]) & 0x7f : 0;
            m_pos += dataBytes;
            const int channel = status & 0x0f;
            const int slot = channel * 128 + a;
            if (kind == 0x90 && b > 0) {
                sounding[slot].append(m_track.notes.size());
                m_track.notes.append({time, -1, a, channel});
            } else if (kind == 0x80 || kind == 0x90) {
                auto it = sounding.find(slot);
                if (it != sounding.end() && !it->isEmpty()) {
                    m_track.notes[it->takeFirst()].off = time;
                }
            }
        }
        // Notes the track never ends end with it.
        for (PlayedNote &n : m_track.notes) {
            if (n.off < 0) {
                n.off = time;
            }
        }
        return m_track;
    }

private:
    // A variable-length quantity of at most four bytes.
    bool variableLength(quint32 *value) {
        *value = 0;
        for (int i = 0; i < 4; ++i) {
            if (m_pos >= m_size) {
                m_track.end = TrackEnd::Truncated;
                return false;
            }
            const quint8 c = quint8(m_data[m_pos++]);
            *value = (*value << 7) | (c & 0x7f);
            if (!(c & 0x80)) {
                return true;
            }
        }
        m_track.end = TrackEnd::Damaged;
        return false;
    }

    bool skip(quint32 length) {
        if (length > quint32(m_size - m_pos)) {
            m_track.end = TrackEnd::Truncated;
            return false;
        }
        m_pos += int(length);
        return true;
    }

    // A meta event after its 0xff; false when the track ends with it.
    bool meta(qint64 time) {
        if (m_pos >= m_size) {
            m_track.end = TrackEnd::Truncated;
            return false;
        }
        const int type = quint8(m_data[m_pos++]);
        quint32 length = 0;
        if (!variableLength(&length)) {
            return false;
        }
        const int at = m_pos;
        if (!skip(length)) {
            return false;
        }
        if (type == EndOfTrack) {
            m_pos = m_size;
            return false;
        }
        switch (type) {
        case TextEvent:
        case TrackName:
        case LyricEvent:
        case MarkerEvent:
        case CuePoint:
        case TempoEvent:
        case TimeSignature:
        case KeySignature:
            m_track.metas.append({time, type, QByteArray(m_data + at, int(length))});
            break;
        default:
            break;
        }
        return true;
    }

    const char *m_data;
    int m_size;
    int m_pos = 0;
    Track m_track;
};

QString zh(const char *utf8) {
    return QString::fromUtf8(utf8);
}

// The tracks of a file whose header has been read, and what was wrong with
// their chunks.
struct Chunks {
    QVector<Track> tracks;
    bool truncated = false;
    bool damaged = false;
    bool tooLong = false;
};

Chunks readChunks(const QByteArray &bytes, int from) {
    Chunks chunks;
    const int size = bytes.size();
    int pos = from;
    while (pos < size) {
        if (size - pos < 8) {
            chunks.truncated = chunks.truncated || chunks.tracks.isEmpty();
            break;
        }
        const QByteArray type = bytes.mid(pos, 4);
        const quint32 length = bigEndian(bytes.constData() + pos + 4, 4);
        const int available = size - pos - 8;
        const int body = length > quint32(available) ? available : int(length);
        if (type == "MTrk") {
            Track track = TrackParser(bytes.constData() + pos + 8, body).parse();
            chunks.truncated =
                chunks.truncated || quint32(body) < length || track.end == TrackEnd::Truncated;
            chunks.damaged = chunks.damaged || track.end == TrackEnd::Damaged;
            chunks.tooLong = chunks.tooLong || track.end == TrackEnd::TooLong;
            chunks.tracks.append(track);
        }
        // Chunks of other types are skipped, as the format asks.
        pos += 8 + body;
    }
    return chunks;
}

// Whether the bytes are well-formed GB18030: ASCII, or a lead byte 0x81–0xfe
// followed by a trail byte 0x40–0xfe (not 0x7f), or by a digit, a byte
// 0x81–0xfe and a digit. (Qt's codec drops a sequence cut short silently.)
bool isGb18030(const QByteArray &b) {
    const auto in = [](quint8 c, int lo, int hi) { return c >= lo && c <= hi; };
    for (int i = 0; i < b.size();) {
        const quint8 c = quint8(b.at(i));
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (!in(c, 0x81, 0xfe) || i + 1 >= b.size()) {
            return false;
        }
        const quint8 d = quint8(b.at(i + 1));
        if (in(d, 0x40, 0xfe) && d != 0x7f) {
            i += 2;
        } else if (in(d, 0x30, 0x39) && i + 3 < b.size() && in(quint8(b.at(i + 2)), 0x81, 0xfe) &&
                   in(quint8(b.at(i + 3)), 0x30, 0x39)) {
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

bool isUtf8(const QByteArray &b) {
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(b.constData(), b.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// How the file's texts are encoded: UTF-8 when every one of them is valid
// UTF-8, else GB18030 (Chinese karaoke files) when every one is valid there,
// else Latin-1.
QTextCodec *textCodec(const QVector<Track> &tracks) {
    const auto all = [&](bool (*valid)(const QByteArray &)) {
        for (const Track &t : tracks) {
            for (const MetaEvent &m : t.metas) {
                if (m.type <= CuePoint && !valid(m.data)) {
                    return false;
                }
            }
        }
        return true;
    };
    if (all(isUtf8)) {
        return QTextCodec::codecForMib(106);
    }
    QTextCodec *gb = QTextCodec::codecForName("GB18030");
    if (gb && all(isGb18030)) {
        return gb;
    }
    return QTextCodec::codecForMib(4); // Latin-1
}

qint64 snap(qint64 t) {
    return (t + gridTicks / 2) / gridTicks * gridTicks;
}

// What the reader builds the score from, and the score as it grows.
class ScoreBuilder {
public:
    ScoreBuilder(const Chunks &chunks, int division)
        : m_tracks(chunks.tracks)
        , m_division(division)
        , m_codec(textCodec(chunks.tracks)) {
        if (chunks.truncated) {
            fileProblem(zh("MIDI文件不完整，只读入了其中完整的部分"));
        }
        if (chunks.damaged) {
            fileProblem(zh("MIDI文件中有损坏的音轨，其后的部分未读入"));
        }
    }

    SourceReading build() {
        m_score.title = title();
        if (!chooseVoice()) {
            return SourceReading::failure(zh("MIDI文件中没有可读入的音符"));
        }
        QString error = melodyLine();
        if (error.isEmpty()) {
            error = bars();
        }
        if (!error.isEmpty()) {
            return SourceReading::failure(error);
        }
        signatures();
        sections();
        notes();
        words();
        std::stable_sort(m_score.problems.begin(), m_score.problems.end(),
                         [](const SourceProblem &a, const SourceProblem &b) {
                             return a.measure != b.measure ? a.measure < b.measure
                                                           : a.time < b.time;
                         });
        SourceReading reading;
        reading.score = m_score;
        return reading;
    }

private:
    // A note of the voice on the melody model's ticks, and whether the grid
    // moved it.
    struct GridNote {
        qint64 on = 0;
        qint64 off = 0;
        int key = 0;
        bool moved = false;
    };

    qint64 ticks(qint64 fileTicks) const {
        return (fileTicks * ticksPerBeat + m_division / 2) / m_division;
    }

    QString text(const QByteArray &data) const { return m_codec->toUnicode(data).trimmed(); }

    void fileProblem(const QString &message) { m_score.problems.append({-1, -1, message}); }
    void problem(int measure, qint64 time, const QString &message) {
        m_score.problems.append({measure, time, message});
    }

    // The first track's first name that is not empty.
    QString title() const {
        if (m_tracks.isEmpty()) {
            return {};
        }
        for (const MetaEvent &m : m_tracks.first().metas) {
            if (m.type == TrackName) {
                const QString name = text(m.data);
                if (!name.isEmpty()) {
                    return name;
                }
            }
        }
        return {};
    }

    // The first track with notes that are not drums, and in it the first
    // channel.
    bool chooseVoice() {
        bool others = false;
        for (int t = 0; t < m_tracks.size(); ++t) {
            for (const PlayedNote &n : m_tracks.at(t).notes) {
                if (n.channel == drumChannel) {
                    continue;
                }
                if (m_track < 0) {
                    m_track = t;
                    m_channel = n.channel;
                } else if (t != m_track || n.channel != m_channel) {
                    others = true;
                }
            }
        }
        if (others) {
            fileProblem(zh("只读第一个声部，其余声部未读入"));
        }
        return m_track >= 0;
    }

    // The voice's notes on the grid, one at a time: of notes beginning
    // together the highest, each ending at the latest where the next begins.
    QString melodyLine() {
        QVector<GridNote> all;
        for (const PlayedNote &n : m_tracks.at(m_track).notes) {
            if (n.channel != m_channel) {
                continue;
            }
            GridNote g;
            const qint64 on = ticks(n.on);
            const qint64 off = ticks(n.off);
            if (off > maxPieceTicks) {
                return tooLong();
            }
            g.on = snap(on);
            g.off = std::max(snap(off), g.on + gridTicks);
            g.moved = g.on != on || g.off != off;
            g.key = n.key;
            all.append(g);
        }
        std::stable_sort(all.begin(), all.end(), [](const GridNote &a, const GridNote &b) {
            return a.on != b.on ? a.on < b.on : a.key > b.key;
        });
        for (int i = 0; i < all.size(); ++i) {
            if (!m_line.isEmpty() && m_line.last().on == all.at(i).on) {
                m_chords.append(all.at(i).on);
                continue;
            }
            if (!m_line.isEmpty()) {
                m_line.last().off = std::min(m_line.last().off, all.at(i).on);
            }
            m_line.append(all.at(i));
        }
        m_end = 0;
        for (const GridNote &g : m_line) {
            m_end = std::max(m_end, g.off);
        }
        if (m_end > maxPieceTicks) {
            return tooLong();
        }
        return {};
    }

    static QString tooLong() {
        return zh("乐曲太长（超过%1小节），无法读入").arg(MidiFileReader::maxMeasures);
    }

    // Every meta event of one type (or two) in all tracks, on the melody model's
    // ticks, in time order (at one time, in track order).
    QVector<MetaEvent> metas(int type, int otherType = -1) const {
        QVector<MetaEvent> out;
        for (const Track &t : m_tracks) {
            for (const MetaEvent &m : t.metas) {
                if (m.type == type || m.type == otherType) {
                    out.append({ticks(m.tick), m.type, m.data});
                }
            }
        }
        std::stable_sort(out.begin(), out.end(),
                         [](const MetaEvent &a, const MetaEvent &b) { return a.tick < b.tick; });
        return out;
    }

    // The bars, by the time signatures, up to the end of the last note. A time
    // signature begins a bar: one stated inside a bar cuts it short.
    QString bars() {
        struct Meter {
            qint64 tick = 0;
            int beats = 4;
            int power = 2;
        };
        QVector<Meter> meters;
        for (const MetaEvent &m : metas(TimeSignature)) {
            const int beats = m.data.size() >= 2 ? quint8(m.data.at(0)) : 0;
            const int power = m.data.size() >= 2 ? quint8(m.data.at(1)) : 0;
            if (beats < 1 || power > maxDenominatorPower) {
                m_badMeters.append(m.tick);
                continue;
            }
            meters.append({m.tick, beats, power});
        }
        Meter meter;
        int next = 0;
        qint64 start = 0;
        while (start < m_end) {
            SourceMeasure measure;
            measure.start = start;
            while (next < meters.size() && meters.at(next).tick <= start) {
                meter = meters.at(next++);
                measure.meterStated = true;
            }
            measure.beats = meter.beats;
            measure.beatType = 1 << meter.power;
            qint64 end = start + qint64(meter.beats) * 4 * ticksPerBeat / measure.beatType;
            if (next < meters.size()) {
                end = std::min(end, meters.at(next).tick);
            }
            measure.length = std::min(end, m_end) - start;
            measure.number = QString::number(m_score.measures.size() + 1);
            if (m_score.measures.size() >= MidiFileReader::maxMeasures) {
                return tooLong();
            }
            m_score.measures.append(measure);
            start = end;
        }
        return {};
    }

    // The bar that holds time t; -1 past the last.
    int measureAt(qint64 t) const {
        const auto &ms = m_score.measures;
        auto it = std::upper_bound(ms.begin(), ms.end(), t,
                                   [](qint64 t, const SourceMeasure &m) { return t < m.start; });
        if (it == ms.begin()) {
            return -1;
        }
        const int i = int(it - ms.begin()) - 1;
        return t < ms.at(i).start + ms.at(i).length ? i : -1;
    }

    // Keys, tempi, markers and unreadable time signatures in their bars.
    void signatures() {
        for (qint64 t : m_badMeters) {
            const int m = measureAt(t);
            if (m >= 0) {
                problem(m, t, zh("无法识别的拍号，已忽略"));
            }
        }
        for (const MetaEvent &e : metas(KeySignature)) {
            const int m = measureAt(e.tick);
            if (m < 0) {
                continue;
            }
            const int fifths = e.data.size() >= 2 ? qint8(e.data.at(0)) : 99;
            const int mode = e.data.size() >= 2 ? quint8(e.data.at(1)) : 99;
            if (fifths < -7 || fifths > 7 || mode > 1) {
                problem(m, e.tick, zh("无法识别的调号，已忽略"));
                continue;
            }
            SourceMeasure &measure = m_score.measures[m];
            measure.fifths = fifths;
            measure.minor = mode == 1;
            measure.keyStated = true;
        }
        for (int i = 1; i < m_score.measures.size(); ++i) {
            SourceMeasure &measure = m_score.measures[i];
            if (!measure.keyStated) {
                measure.fifths = m_score.measures.at(i - 1).fifths;
                measure.minor = m_score.measures.at(i - 1).minor;
            }
        }
        // A bar's tempo is the first stated in it that changes the one in
        // force.
        int inForce = 0;
        for (const MetaEvent &e : metas(TempoEvent)) {
            const quint32 perQuarter = e.data.size() >= 3 ? bigEndian(e.data.constData(), 3) : 0;
            const int m = measureAt(e.tick);
            if (perQuarter == 0 || m < 0) {
                continue;
            }
            const int bpm = int((60000000 + perQuarter / 2) / perQuarter);
            SourceMeasure &measure = m_score.measures[m];
            if (measure.tempo == 0 && bpm != inForce) {
                measure.tempo = bpm;
            }
            inForce = bpm;
        }
        for (const MetaEvent &e : metas(MarkerEvent, CuePoint)) {
            const int m = measureAt(e.tick);
            const QString mark = text(e.data);
            if (m < 0 || mark.isEmpty()) {
                continue;
            }
            QString &rehearsal = m_score.measures[m].rehearsal;
            rehearsal += (rehearsal.isEmpty() ? QString() : QStringLiteral(" ")) + mark;
        }
    }

    // A file has no double bars: a change of key or meter is where one tune
    // ends and the next begins. A single short bar at a tune's start, in a
    // meter of its own, is its pickup: the longer meter after it is still
    // the same tune's.
    void sections() {
        auto &ms = m_score.measures;
        bool pickup = ms.size() > 1 && isPickup(ms.at(0), ms.at(1));
        for (int i = 1; i < ms.size(); ++i) {
            const SourceMeasure &before = ms.at(i - 1);
            SourceMeasure &measure = ms[i];
            const bool key = measure.keyStated &&
                             (measure.fifths != before.fifths || measure.minor != before.minor);
            const bool meter = measure.meterStated && !sameMeter(measure, before);
            if ((!key && !meter) || (pickup && !key)) {
                pickup = false;
                continue;
            }
            measure.doubleBarBefore = true;
            pickup = i + 1 < ms.size() && isPickup(measure, ms.at(i + 1));
        }
    }

    static bool isPickup(const SourceMeasure &bar, const SourceMeasure &next) {
        return qint64(bar.beats) * next.beatType < qint64(next.beats) * bar.beatType;
    }

    static bool sameMeter(const SourceMeasure &a, const SourceMeasure &b) {
        return a.beats == b.beats && a.beatType == b.beatType;
    }

    // The voice as notes and rests from the start, rests split at the bars.
    // A gap of an eighth of a beat or less between two notes is a breath
    // (气口), as players and our own files leave one: the note before it
    // takes its time.
    void notes() {
        QMap<int, int> moved; // bar → notes the grid moved
        QMap<int, qint64> chords;
        for (qint64 t : m_chords) {
            const int m = measureAt(t);
            if (!chords.contains(m)) {
                chords.insert(m, t);
            }
        }
        qint64 now = 0;
        for (const GridNote &g : m_line) {
            if (g.on > now && g.on - now <= gridTicks && !m_score.notes.isEmpty() &&
                !m_score.notes.last().isRest()) {
                m_score.notes.last().duration += g.on - now;
                m_score.notes.last().breathAfter = true;
                now = g.on;
            }
            rest(now, g.on);
            SourceNote n;
            n.onset = g.on;
            n.duration = g.off - g.on;
            n.midi = g.key;
            n.measure = measureAt(g.on);
            if (g.moved) {
                ++moved[n.measure];
            }
            m_score.notes.append(n);
            now = g.off;
        }
        for (auto it = chords.cbegin(); it != chords.cend(); ++it) {
            problem(it.key(), it.value(), zh("和弦只取最高音"));
        }
        for (auto it = moved.cbegin(); it != moved.cend(); ++it) {
            problem(it.key(), -1, zh("%1个音已对齐到⅛拍").arg(it.value()));
        }
    }

    void rest(qint64 from, qint64 to) {
        while (from < to) {
            const int m = measureAt(from);
            const SourceMeasure &measure = m_score.measures.at(m);
            const qint64 end = std::min(to, measure.start + measure.length);
            SourceNote r;
            r.onset = from;
            r.duration = end - from;
            r.measure = m;
            m_score.notes.append(r);
            from = end;
        }
    }

    // A lyric or karaoke text without its markers: line and paragraph marks,
    // a leading "@" or "%" and the hyphen that joins it to the next syllable.
    static QString syllable(QString s) {
        s.remove(QLatin1Char('\r'));
        s.remove(QLatin1Char('\n'));
        s.remove(QLatin1Char('/'));
        s.remove(QLatin1Char('\\'));
        s = s.trimmed();
        while (s.startsWith(QLatin1Char('@')) || s.startsWith(QLatin1Char('%'))) {
            s.remove(0, 1);
        }
        if (s.endsWith(QLatin1Char('-'))) {
            s.chop(1);
        }
        return s.trimmed();
    }

    // The lyric events, or the text events of a file without any, each on
    // the note that begins at its time or within an eighth of a beat after.
    // The words come from the voice's track when it has them, else from the
    // first track that does.
    void words() {
        int type = LyricEvent;
        if (!hasMeta(-1, LyricEvent)) {
            type = TextEvent;
        }
        int source = hasMeta(m_track, type) ? m_track : -1;
        for (int t = 0; source < 0 && t < m_tracks.size(); ++t) {
            if (hasMeta(t, type)) {
                source = t;
            }
        }
        if (source < 0) {
            return;
        }
        QVector<int> sounding; // indices into notes of those that are not rests
        for (int i = 0; i < m_score.notes.size(); ++i) {
            if (!m_score.notes.at(i).isRest()) {
                sounding.append(i);
            }
        }
        const qint64 first = m_line.first().on;
        for (const MetaEvent &m : m_tracks.at(source).metas) {
            if (m.type != type) {
                continue;
            }
            const qint64 t = ticks(m.tick);
            const QString raw = text(m.data);
            const bool beforeFirst = snap(t) + gridTicks < first;
            if (snap(t) <= first &&
                (raw.startsWith(QLatin1Char('@')) || raw.startsWith(QLatin1Char('%')))) {
                continue; // a karaoke file's header
            }
            const QString word = syllable(raw);
            if (word.isEmpty()) {
                continue;
            }
            const qint64 at = snap(t);
            auto it = std::lower_bound(sounding.begin(), sounding.end(), at, [&](int i, qint64 v) {
                return m_score.notes.at(i).onset < v;
            });
            if (it != sounding.end() && m_score.notes.at(*it).onset <= at + gridTicks) {
                m_score.notes[*it].lyric += word;
            } else if (!(type == TextEvent && beforeFirst)) {
                problem(measureAt(std::min(t, m_end - 1)), t,
                        zh("唱词“%1”没有对应的音，未读入").arg(word));
            }
        }
    }

    // Whether track t (every track for -1) has meta events of the type.
    bool hasMeta(int t, int type) const {
        for (int i = 0; i < m_tracks.size(); ++i) {
            if (t >= 0 && i != t) {
                continue;
            }
            for (const MetaEvent &m : m_tracks.at(i).metas) {
                if (m.type == type) {
                    return true;
                }
            }
        }
        return false;
    }

    const QVector<Track> &m_tracks;
    const int m_division;
    QTextCodec *m_codec;
    int m_track = -1;
    int m_channel = -1;
    QVector<GridNote> m_line;
    QVector<qint64> m_chords;
    QVector<qint64> m_badMeters;
    qint64 m_end = 0;
    SourceScore m_score;
};

} // namespace

SourceReading MidiFileReader::read(const QByteArray &bytes) {
    if (bytes.size() > maxFileSize) {
        return SourceReading::failure(zh("文件太大，不是可以读入的MIDI文件"));
    }
    if (bytes.size() < 14 || !bytes.startsWith("MThd")) {
        return SourceReading::failure(zh("不是MIDI文件"));
    }
    const quint32 headerLength = bigEndian(bytes.constData() + 4, 4);
    if (headerLength < 6 || headerLength > quint32(bytes.size() - 8)) {
        return SourceReading::failure(zh("MIDI文件头已损坏"));
    }
    const int format = int(bigEndian(bytes.constData() + 8, 2));
    const int division = int(bigEndian(bytes.constData() + 12, 2));
    if (format == 2) {
        return SourceReading::failure(zh("不支持格式2的MIDI文件"));
    }
    if (format > 2) {
        return SourceReading::failure(zh("MIDI文件头已损坏"));
    }
    if (division & 0x8000) {
        return SourceReading::failure(zh("不支持按SMPTE时间码计时的MIDI文件"));
    }
    if (division == 0) {
        return SourceReading::failure(zh("MIDI文件头已损坏"));
    }
    const Chunks chunks = readChunks(bytes, 8 + int(headerLength));
    if (chunks.tooLong) {
        return SourceReading::failure(
            zh("乐曲太长（超过%1小节），无法读入").arg(MidiFileReader::maxMeasures));
    }
    return ScoreBuilder(chunks, division).build();
}

SourceReading MidiFileReader::readFile(const QString &path) {
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return SourceReading::failure(zh("无法读取“%1”：%2").arg(name, file.errorString()));
    }
    if (file.size() > maxFileSize) {
        return SourceReading::failure(zh("文件太大，不是可以读入的MIDI文件"));
    }
    const QByteArray bytes = file.read(maxFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        return SourceReading::failure(zh("无法读取“%1”：%2").arg(name, file.errorString()));
    }
    return read(bytes);
}

} // namespace music
