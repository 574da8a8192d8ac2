#include "online/updatemanager.h"

#include "dialogs/prompt.h"
#include "online/boundedreply.h"
#include "platform/serviceconfig.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager)
    , m_config(ServiceConfig::instance())
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); }) {}

UpdateManager::~UpdateManager() {
    m_network->deleteLater();
}

void UpdateManager::check() {
    QNetworkRequest request(QUrl(m_config->apiBaseUrl + m_config->updateCheckPath));
    request.setHeader(QNetworkRequest::ContentTypeHeader, m_config->formContentType);
    auto *reply = new BoundedReply(m_network->get(request), replyLimit, this);
    connect(reply, &BoundedReply::done, this, &UpdateManager::handleReply);
}

void UpdateManager::handleReply(bool ok, const QString &errorString, const QByteArray &body) {
    if (!ok) {
        emit dataSubmitted(false, errorString);
        return;
    }
    const QString text = replyText(body);
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (document.isObject()) {
        const QJsonObject reply = document.object();
        const QString remote = reply.value(QStringLiteral("version")).toString();
        const bool force = reply.value(QStringLiteral("force")).toBool(false);
        // Compared as decimal numbers: "2.10" counts as 2.1.
        if (remote.toDouble() > m_config->version.toDouble()) {
            Prompt::information(nullptr, QStringLiteral("更新提示"),
                                QStringLiteral("有新版本可用，请更新！"));
            const QString site = m_config->webBaseUrl + m_config->rootPath;
            if (!m_openUrl(QUrl(site))) {
                Prompt::information(nullptr, QStringLiteral("更新提示"),
                                    QStringLiteral("无法打开下载链接，请到官网下载：") + site +
                                        QStringLiteral("！"));
            }
            if (force) {
                emit quitRequested();
            }
        }
    }
    emit dataSubmitted(true, text);
}
