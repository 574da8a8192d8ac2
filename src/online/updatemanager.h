#pragma once

#include "online/updatecheck.h"

#include <QObject>

class QNetworkAccessManager;
struct ServiceConfig;

// Asks the vendor's server once per start whether a newer version exists,
// and says what it found (checked): nothing, a newer version (and whether the
// server demands it), or a failure. It shows nothing itself; the window tells
// the user.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    explicit UpdateManager(QObject *parent = nullptr);
    ~UpdateManager() override;

    void check();

    // Handles a finished reply: ok is false on a network error.
    void handleReply(bool ok, const QString &errorString, const QByteArray &body);

    // The most the reply body may hold.
    static constexpr qint64 replyLimit = 64 * 1024;

signals:
    // What the check found, before dataSubmitted.
    void checked(const UpdateCheck &found);
    void dataSubmitted(bool success, const QString &message);

private:
    QNetworkAccessManager *m_network;
    ServiceConfig *m_config;
};
