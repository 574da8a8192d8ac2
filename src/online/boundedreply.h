#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QNetworkReply;

// Collects the body of a network reply as it arrives, up to a limit. Replies
// come from a server the program does not control: a body beyond the limit
// aborts the transfer instead of filling memory, and nothing blocks the event
// loop. Emits done() exactly once and then deletes itself and the reply.
class BoundedReply : public QObject {
    Q_OBJECT

public:
    BoundedReply(QNetworkReply *reply, qint64 limit, QObject *parent = nullptr);

    static constexpr qint64 defaultLimit = 1024 * 1024;

signals:
    // ok is false on a network error or when the body exceeded the limit.
    void done(bool ok, const QString &errorString, const QByteArray &body);

private:
    void readAvailable();
    void finish();

    QPointer<QNetworkReply> m_reply;
    qint64 m_limit;
    QByteArray m_body;
    bool m_overflow = false;
    bool m_finished = false;
};

// The text of a reply body: UTF-8 up to the first zero byte.
QString replyText(const QByteArray &body);
