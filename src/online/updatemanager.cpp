#include "online/updatemanager.h"

#include "online/boundedreply.h"
#include "platform/serviceconfig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

UpdateManager::UpdateManager(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager)
    , m_config(ServiceConfig::instance()) {
    qRegisterMetaType<UpdateCheck>();
}

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
    UpdateCheck found;
    if (!ok) {
        found.kind = UpdateCheck::Kind::Failed;
        found.error = errorString;
        emit checked(found);
        emit dataSubmitted(false, errorString);
        return;
    }
    const QString text = replyText(body);
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (document.isObject()) {
        const QJsonObject reply = document.object();
        const QString remote = reply.value(QStringLiteral("version")).toString();
        // Compared as decimal numbers: "2.10" counts as 2.1.
        if (remote.toDouble() > m_config->version.toDouble()) {
            found.kind = UpdateCheck::Kind::NewerVersion;
            found.version = remote;
            found.forced = reply.value(QStringLiteral("force")).toBool(false);
            found.site = m_config->webBaseUrl + m_config->rootPath;
        }
    }
    emit checked(found);
    emit dataSubmitted(true, text);
}
