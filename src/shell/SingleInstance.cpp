#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace vantry {

namespace {

constexpr int ConnectTimeoutMs = 500;
const QByteArray RestoreCommand = QByteArrayLiteral("restore\n");

} // namespace

SingleInstance::SingleInstance(const QString& title, QObject* parent) : QObject(parent)
{
    // Socket names must be short and plain; the title is hashed, the user keeps copies apart.
    const QByteArray hash =
        QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    m_name = QStringLiteral("vantry-%1-%2").arg(QString::number(getuid()), QString::fromLatin1(hash));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::askRunningCopyToRestore()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return false;
    socket.write(RestoreCommand);
    socket.waitForBytesWritten(ConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A copy that crashed leaves its socket file behind; nobody answered on it.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains("restore"))
                    emit restoreRequested();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

} // namespace vantry
