#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One editor window per user: a second launch hands the files of its command
// line to the window already running and ends.
//
// The running program listens on a local socket (serverName(): a socket in
// the user's runtime directory, one for each display). A launch first tries
// handOver(); when nobody answers it calls listen(), which removes a socket
// left behind by a program that ended without closing it. The command-line export never comes here.
//
// On the socket: the absolute paths of the files, UTF-8, one a line, and an
// empty line; the running program answers "ok" once it has taken them.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(const QString &serverName = defaultServerName(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket of this user's running editor on this display.
    static QString defaultServerName();
    // The socket in runtimeDir (the temporary directory when empty) for the
    // display named (DISPLAY or WAYLAND_DISPLAY; may be empty).
    static QString serverNameFor(const QString &runtimeDir, const QString &display);

    QString serverName() const { return m_serverName; }

    // Sends files (made absolute) to the running program and waits for its
    // answer. False when no program listens, or it did not answer in time.
    bool handOver(const QStringList &files, int timeoutMs = 5000);

    // Starts listening; false when another live program already does, or the
    // socket cannot be made.
    bool listen();

    bool isListening() const;

signals:
    // A later launch handed over these files (possibly none: it only asks
    // for the window).
    void filesReceived(const QStringList &files);

private:
    static bool makePrivateDir(const QString &path);
    void acceptConnection();
    void readFrom(QLocalSocket *socket, QByteArray *buffer);

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
