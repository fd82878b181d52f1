#include "platform/singleinstance.h"

#include "platform/settingsstore.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace krt {

namespace {
constexpr int WaitMs = 2000;
// Longer than every request and reply line; a peer that writes more without a line break is no
// instance of the program.
constexpr qint64 MaxLine = 64;
// A later process asks whether an instance runs, or asks it to come to the front; the running
// instance acknowledges each request with its own line, which a plain listener or an echo of the
// request never gives.
const QByteArray QueryRequest = QByteArrayLiteral("krt550 running?\n");
const QByteArray QueryReply = QByteArrayLiteral("krt550 running\n");
const QByteArray ActivateRequest = QByteArrayLiteral("krt550 activate\n");
const QByteArray ActivateReply = QByteArrayLiteral("krt550 activated\n");
} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    // The user's own run-time folder belongs on Unix to the user alone (owned by the user, mode
    // 0700), or there is none. A socket in a folder others can write to could be replaced or stood
    // in for by them, so there is no fallback to a shared folder.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        m_unusable = QStringLiteral("this user has no run-time folder that only the user can reach");
        return;
    }
    const QByteArray key = settings::storeLocation().toUtf8();
    m_name = folder + QStringLiteral("/krt550-") +
             QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::previousInstanceRunning()
{
    return !ask(QueryRequest, QueryReply);
}

bool SingleInstance::listen()
{
    if (m_name.isEmpty()) {
        qWarning().noquote() << "running without the single-instance guard:" << m_unusable;
        return false;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nothing that answers holds the name: what lies there in the user's own folder is the
        // socket of a process that ended abnormally, or something else in the way.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            qWarning().noquote() << "running without the single-instance guard:" << m_name
                                 << "cannot be taken:" << m_server->errorString();
            delete m_server;
            m_server = nullptr;
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
    return true;
}

std::optional<SingleInstance::Failure> SingleInstance::requestActivation()
{
    return ask(ActivateRequest, ActivateReply);
}

std::optional<SingleInstance::Failure> SingleInstance::ask(const QByteArray &request, const QByteArray &reply)
{
    if (m_name.isEmpty())
        return Failure{QLocalSocket::ServerNotFoundError, m_unusable};
    // The events run while waiting, so that an instance in this same thread can answer too.
    QLocalSocket socket;
    QEventLoop loop;
    bool done = false;
    const auto finish = [&done, &loop] {
        done = true;
        loop.quit();
    };
    connect(&socket, &QLocalSocket::connected, &loop, [&socket, &request] { socket.write(request); });
    connect(&socket, &QLocalSocket::readyRead, &loop, [&socket, finish] {
        if (socket.canReadLine() || socket.bytesAvailable() >= MaxLine)
            finish();
    });
    connect(&socket, &QLocalSocket::errorOccurred, &loop, finish);
    QTimer::singleShot(WaitMs, &loop, finish);
    socket.connectToServer(m_name);
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    if (socket.canReadLine()) {
        if (socket.readLine(MaxLine) == reply)
            return std::nullopt;
        return Failure{QLocalSocket::UnknownSocketError,
                       QStringLiteral("%1 answered as no instance of the program does").arg(m_name)};
    }
    if (socket.error() != QLocalSocket::UnknownSocketError)
        return Failure{socket.error(), socket.errorString()};
    return Failure{QLocalSocket::SocketTimeoutError,
                   QStringLiteral("%1 did not answer within %2 ms").arg(m_name).arg(WaitMs)};
}

void SingleInstance::answer(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(MaxLine);
        if (line == QueryRequest) {
            socket->write(QueryReply);
        } else if (line == ActivateRequest) {
            socket->write(ActivateReply);
            Q_EMIT activationRequested();
        } else {
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
    if (socket->bytesAvailable() >= MaxLine) {
        socket->abort();
        socket->deleteLater();
    }
}

} // namespace krt
