#include "platform/singleinstance.h"

#include "platform/settingsstore.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace krt {

namespace {
constexpr int WaitMs = 2000;
const QByteArray ActivateRequest = QByteArrayLiteral("activate\n");
} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    const QByteArray key = settings::storeLocation().toUtf8();
    m_name = QStringLiteral("krt550-") +
             QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::previousInstanceRunning()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    const bool running = socket.waitForConnected(WaitMs);
    socket.abort();
    return running;
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // A server file left by a process that ended abnormally: nobody answers on it.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(ActivateRequest.trimmed()))
                    Q_EMIT activationRequested();
            });
        }
    });
    return true;
}

std::optional<SingleInstance::Failure> SingleInstance::requestActivation()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(WaitMs))
        return Failure{socket.error(), socket.errorString()};
    socket.write(ActivateRequest);
    if (!socket.waitForBytesWritten(WaitMs))
        return Failure{socket.error(), socket.errorString()};
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(WaitMs);
    return std::nullopt;
}

} // namespace krt
