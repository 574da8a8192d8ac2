#include "shell/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <memory>
#include <unistd.h>

namespace {

const char answer[] = "ok\n";

} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName() {
    return serverNameFor(qEnvironmentVariable("XDG_RUNTIME_DIR"),
                         qEnvironmentVariable("WAYLAND_DISPLAY", qEnvironmentVariable("DISPLAY")));
}

QString SingleInstance::serverNameFor(const QString &runtimeDir, const QString &display) {
    // One window per display: a file opened on one screen session must not
    // turn up on another. ":0" and "wayland-0" become part of a file name.
    QString name = QStringLiteral("qorvel-instance");
    if (!display.isEmpty()) {
        QString tag = display;
        for (QChar &c : tag) {
            if (!c.isLetterOrNumber() && c != QLatin1Char('.')) {
                c = QLatin1Char('_');
            }
        }
        name += QLatin1Char('-') + tag;
    }
    // The runtime directory belongs to the user alone (made private when it
    // is missing); without one, the temporary directory with the user's id.
    if (!runtimeDir.isEmpty()) {
        if (QFileInfo::exists(runtimeDir) || makePrivateDir(runtimeDir)) {
            return runtimeDir + QLatin1Char('/') + name;
        }
    }
    return QDir::temp().filePath(name + QStringLiteral("-%1").arg(::getuid()));
}

bool SingleInstance::makePrivateDir(const QString &path) {
    return QDir().mkpath(path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool SingleInstance::handOver(const QStringList &files, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    QByteArray message;
    for (const QString &file : files) {
        message += QFileInfo(file).absoluteFilePath().toUtf8() + '\n';
    }
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    QByteArray reply;
    while (!reply.endsWith('\n') && socket.waitForReadyRead(timeoutMs)) {
        reply += socket.readAll();
    }
    return reply == answer;
}

bool SingleInstance::listen() {
    if (m_server && m_server->isListening()) {
        return true;
    }
    // A live program answers; a socket left by one that died does not, and
    // is removed. (Qt would otherwise move a new socket over either.)
    {
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(1000)) {
            return false;
        }
    }
    QLocalServer::removeServer(m_serverName);
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

bool SingleInstance::isListening() const {
    return m_server && m_server->isListening();
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // What this connection has sent so far, kept until the message ends.
        auto buffer = std::make_shared<QByteArray>();
        const auto read = [this, socket, buffer] { readFrom(socket, buffer.get()); };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();
    }
}

void SingleInstance::readFrom(QLocalSocket *socket, QByteArray *buffer) {
    *buffer += socket->readAll();
    // The message ends with an empty line: "\n\n", or "\n" alone for no files.
    if (!(*buffer == "\n" || buffer->endsWith("\n\n"))) {
        return;
    }
    QStringList files;
    for (const QByteArray &line : buffer->split('\n')) {
        if (!line.isEmpty()) {
            files.append(QString::fromUtf8(line));
        }
    }
    buffer->clear();
    socket->write(answer);
    socket->flush();
    emit filesReceived(files);
}
