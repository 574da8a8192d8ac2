#include "online/boundedreply.h"

#include <QNetworkReply>

BoundedReply::BoundedReply(QNetworkReply *reply, qint64 limit, QObject *parent)
    : QObject(parent)
    , m_reply(reply)
    , m_limit(limit) {
    // Bounds Qt's own buffer too, so an unread flood never piles up inside it.
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QIODevice::readyRead, this, &BoundedReply::readAvailable);
    connect(reply, &QNetworkReply::finished, this, &BoundedReply::finish);
}

void BoundedReply::readAvailable() {
    if (!m_reply || m_overflow) {
        return;
    }
    const qint64 room = m_limit - m_body.size();
    const QByteArray chunk = m_reply->read(qMax<qint64>(0, room) + 1);
    if (chunk.size() > room) {
        m_overflow = true;
        m_reply->abort(); // emits finished()
        return;
    }
    m_body.append(chunk);
}

void BoundedReply::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    QString error;
    bool ok = true;
    if (m_reply) {
        if (!m_overflow) {
            readAvailable();
        }
        if (m_overflow) {
            ok = false;
            error = QStringLiteral("reply too large");
        } else if (m_reply->error() != QNetworkReply::NoError) {
            ok = false;
            error = m_reply->errorString();
        }
        m_reply->deleteLater();
    }
    emit done(ok, error, ok ? m_body : QByteArray());
    deleteLater();
}

QString replyText(const QByteArray &body) {
    const int nul = body.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? body : body.left(nul));
}
