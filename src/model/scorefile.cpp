#include "model/scorefile.h"

#include <QFile>
#include <QSaveFile>
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
// length field beyond the bytes that are really there.
class Reader {
public:
    explicit Reader(const QByteArray &bytes)
        : m_bytes(bytes) {}

    bool readInt32() {
        if (remaining() < 4) {
            m_ok = false;
            return false;
        }
        m_pos += 4;
        return true;
    }

    QString readString() {
        if (!m_ok || remaining() < 4) {
            m_ok = false;
            return QString();
        }
        const quint32 byteCount = qFromBigEndian<quint32>(m_bytes.constData() + m_pos);
        m_pos += 4;
        if (byteCount == 0xFFFFFFFFu || byteCount == 0) {
            return QString();
        }
        if ((byteCount & 1u) || byteCount > quint32(remaining())) {
            m_ok = false;
            return QString();
        }
        QString s(int(byteCount / 2), Qt::Uninitialized);
        qFromBigEndian<quint16>(m_bytes.constData() + m_pos, s.size(), s.data());
        m_pos += int(byteCount);
        return s;
    }

private:
    int remaining() const { return m_bytes.size() - m_pos; }

    const QByteArray &m_bytes;
    int m_pos = 0;
    bool m_ok = true;
};

Outcome saveFailed() {
    return Outcome::failure(QStringLiteral("错误"), QStringLiteral("保存文件时发生错误！"));
}

} // namespace

QByteArray encodeScoreFile(const QString &lyric, const QString &score) {
    QByteArray out;
    out.reserve(16 + (lyric.size() + score.size()) * 2);
    appendString(out, lyric);
    appendString(out, score);
    return out;
}

void decodeScoreFile(const QByteArray &bytes, QString *lyric, QString *score) {
    Reader reader(bytes);
    reader.readInt32();
    *lyric = reader.readString();
    reader.readInt32();
    *score = reader.readString();
}

Outcome writeScoreFile(const QString &path, const QString &lyric, const QString &score) {
    // Written atomically: the old file stays intact until the new one is
    // complete, so a full disk or an I/O error never destroys a saved score.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return saveFailed();
    }
    const QByteArray bytes = encodeScoreFile(lyric, score);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return saveFailed();
    }
    if (!file.commit()) {
        return saveFailed();
    }
    return Outcome::success(path);
}

Outcome readScoreFile(const QString &path, QString *lyric, QString *score) {
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
    decodeScoreFile(bytes, lyric, score);
    return Outcome::success(path);
}
