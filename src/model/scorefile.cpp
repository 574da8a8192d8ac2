#include "model/scorefile.h"

#include "model/atomicfile.h"

#include <QFile>
#include <QtEndian>

namespace {

void appendBigEndian32(QByteArray &out, quint32 v) {
    char buf[4];
    qToBigEndian(v, buf);
    out.append(buf, 4);
}

void appendString(QByteArray &out, const QString &s) {
    appendBigEndian32(out, quint32(s.size()));
    appendBigEndian32(out, quint32(s.size()) * 2);
    const int start = out.size();
    out.resize(start + s.size() * 2);
    qToBigEndian<quint16>(s.utf16(), s.size(), out.data() + start);
}

// Reads from a byte buffer the way QDataStream does, without ever trusting a
// length field beyond the bytes that are really there. What cannot be read
// is recorded as the first damage met; a string cut short yields the code
// units it holds.
class Reader {
public:
    explicit Reader(const QByteArray &bytes)
        : m_bytes(bytes) {}

    void skipInt32() {
        if (m_damage != ScoreFileDamage::None) {
            return;
        }
        if (remaining() < 4) {
            m_damage = ScoreFileDamage::Truncated;
            return;
        }
        m_pos += 4;
    }

    QString readString() {
        if (m_damage != ScoreFileDamage::None) {
            return QString();
        }
        if (remaining() < 4) {
            m_damage = ScoreFileDamage::Truncated;
            return QString();
        }
        const quint32 byteCount = qFromBigEndian<quint32>(m_bytes.constData() + m_pos);
        m_pos += 4;
        if (byteCount == 0xFFFFFFFFu || byteCount == 0) {
            return QString();
        }
        qint64 available = byteCount;
        if (byteCount > quint32(remaining())) {
            m_damage = ScoreFileDamage::LengthBeyondData;
            available = remaining();
        } else if (byteCount & 1u) {
            m_damage = ScoreFileDamage::OddLength;
        }
        QString s(int(available / 2), Qt::Uninitialized);
        qFromBigEndian<quint16>(m_bytes.constData() + m_pos, s.size(), s.data());
        // A pair of surrogates cut in half leaves nothing to show.
        if (m_damage != ScoreFileDamage::None && !s.isEmpty() &&
            s.at(s.size() - 1).isHighSurrogate()) {
            s.chop(1);
        }
        m_pos += int(available);
        if (m_damage == ScoreFileDamage::OddLength) {
            // The length is not to be trusted, so neither is what follows.
            m_pos = m_bytes.size();
        }
        return s;
    }

    void expectEnd() {
        if (m_damage == ScoreFileDamage::None && remaining() > 0) {
            m_damage = ScoreFileDamage::TrailingBytes;
        }
    }

    ScoreFileDamage damage() const { return m_damage; }

private:
    int remaining() const { return m_bytes.size() - m_pos; }

    const QByteArray &m_bytes;
    int m_pos = 0;
    ScoreFileDamage m_damage = ScoreFileDamage::None;
};

// Code points of the texts, line feeds not counted.
int characterCount(const QString &text) {
    int n = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() &&
            text.at(i + 1).isLowSurrogate()) {
            ++i;
        }
        if (text.at(i) != QLatin1Char('\n')) {
            ++n;
        }
    }
    return n;
}

} // namespace

QByteArray encodeScoreFile(const QString &lyric, const QString &score) {
    QByteArray out;
    out.reserve(16 + (lyric.size() + score.size()) * 2);
    appendString(out, lyric);
    appendString(out, score);
    return out;
}

ScoreFileDamage decodeScoreFile(const QByteArray &bytes, QString *lyric, QString *score) {
    Reader reader(bytes);
    reader.skipInt32();
    *lyric = reader.readString();
    reader.skipInt32();
    *score = reader.readString();
    reader.expectEnd();
    return reader.damage();
}

QString scoreFileDamageText(ScoreFileDamage damage) {
    switch (damage) {
    case ScoreFileDamage::None:
        break;
    case ScoreFileDamage::Truncated:
        return QStringLiteral("the file ends inside a length field");
    case ScoreFileDamage::LengthBeyondData:
        return QStringLiteral("a text is longer than the data left in the file");
    case ScoreFileDamage::OddLength:
        return QStringLiteral("a text has an odd number of bytes");
    case ScoreFileDamage::TrailingBytes:
        return QStringLiteral("bytes are left over after the score text");
    }
    return QString();
}

QString scoreFileDamageReason(ScoreFileDamage damage) {
    switch (damage) {
    case ScoreFileDamage::None:
        break;
    case ScoreFileDamage::Truncated:
        return QStringLiteral("文件在长度字段中截断");
    case ScoreFileDamage::LengthBeyondData:
        return QStringLiteral("文本长度超出文件");
    case ScoreFileDamage::OddLength:
        return QStringLiteral("文本的字节数为奇数");
    case ScoreFileDamage::TrailingBytes:
        return QStringLiteral("曲谱文本之后有多余的字节");
    }
    return QString();
}

Outcome writeScoreFile(const QString &path, const QString &lyric, const QString &score) {
    // Written atomically: the old file stays intact until the new one is
    // complete, so a full disk or an I/O error never destroys a saved score.
    AtomicFile file(path);
    if (file.open()) {
        file.write(encodeScoreFile(lyric, score));
        file.commit();
    }
    if (file.error() != 0) {
        return Outcome::failure(QStringLiteral("错误"), QStringLiteral("保存文件时发生错误：") +
                                                            AtomicFile::describe(file.error()));
    }
    return Outcome::success(path);
}

Outcome readScoreFile(const QString &path, QString *lyric, QString *score,
                      ScoreFileDamage *damage) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Outcome::failure(QStringLiteral("错误"), QStringLiteral("打开文件时发生错误！"));
    }
    if (!path.endsWith(QLatin1String(".gcp"), Qt::CaseInsensitive)) {
        return Outcome::failure(QStringLiteral("文件类型错误"),
                                QStringLiteral("请选择工尺谱文件（.gcp）格式！"));
    }
    // Only what the file really holds is read, so a forged length field never
    // makes the reader allocate more than the file's size.
    const QByteArray bytes = file.readAll();
    file.close();
    const ScoreFileDamage found = decodeScoreFile(bytes, lyric, score);
    if (damage) {
        *damage = found;
    }
    if (found != ScoreFileDamage::None) {
        return Outcome::partial(path, QStringLiteral("警告"),
                                QStringLiteral("文件已损坏，只读出了部分内容。\n已读出 %1 个字符。")
                                    .arg(characterCount(*lyric) + characterCount(*score)));
    }
    return Outcome::success(path);
}
