#pragma once

#include <QObject>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;
struct ServiceConfig;

// Asks the vendor's server once per start whether a newer version exists.
// Failures are silent. A newer version is announced, and the web site opened;
// when the server demands an update, the program is asked to close through
// its normal closing protocol (quitRequested), so unsaved documents are
// offered for saving first.
class UpdateManager : public QObject {
    Q_OBJECT

public:
    explicit UpdateManager(QObject *parent = nullptr);
    ~UpdateManager() override;

    void check();

    // Handles a finished reply: ok is false on a network error.
    void handleReply(bool ok, const QString &errorString, const QByteArray &body);

    // Opens a URL in the desktop's browser; replaceable for tests.
    using UrlOpener = std::function<bool(const QUrl &)>;
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // The most the reply body may hold.
    static constexpr qint64 replyLimit = 64 * 1024;

signals:
    void dataSubmitted(bool success, const QString &message);
    void quitRequested();

private:
    QNetworkAccessManager *m_network;
    ServiceConfig *m_config;
    UrlOpener m_openUrl;
};
