#include "shell/singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace {

const char answer[] = "ok\n";

} // namespace

SingleInstance::SingleInstance(const QString &serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(serverName) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName() {
    // The runtime directory belongs to the user (or to one test) alone;
    // without one, the temporary directory with the user's id in the name.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    if (!runtime.isEmpty() && QDir().mkpath(runtime)) {
        return runtime + QStringLiteral("/qorvel-instance");
    }
    return QDir::temp().filePath(QStringLiteral("qorvel-instance-%1").arg(::getuid()));
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket) {
    QByteArray buffer = socket->property("qorvelBuffer").toByteArray() + socket->readAll();
    socket->setProperty("qorvelBuffer", buffer);
    // The message ends with an empty line: "\n\n", or "\n" alone for no files.
    if (!(buffer == "\n" || buffer.endsWith("\n\n"))) {
        return;
    }
    socket->setProperty("qorvelBuffer", QByteArray());
    QStringList files;
    for (const QByteArray &line : buffer.split('\n')) {
        if (!line.isEmpty()) {
            files.append(QString::fromUtf8(line));
        }
    }
    socket->write(answer);
    socket->flush();
    emit filesReceived(files);
}
