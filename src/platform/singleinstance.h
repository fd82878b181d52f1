#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

namespace krt {

// Tells whether another process of the program is running for the same user, and lets a later
// process ask the running one to bring its main window to the front. A local server, one socket
// per user settings store in the user's own run-time folder, stands for the running instance; it
// disappears with its process, so a crash never leaves a stale guard behind. Only a process that
// answers the guard's requests counts as an instance: whatever else sits on the socket's name is
// replaced when the guard is taken.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answers; this process must then not run the program.
    bool previousInstanceRunning();

    // Starts answering later processes, taking the socket's name over from anything that did not
    // answer. Returns false, with a warning that says why, when the guard cannot be taken; the
    // program then runs without it.
    bool listen();

    // Why a request to the running instance failed: the local socket's error code and text.
    struct Failure
    {
        int code = 0;
        QString description;
    };

    // Asks the running instance to bring its main window to the front.
    std::optional<Failure> requestActivation();

    // The full path of the guard's socket; empty when the user has no run-time folder that only
    // the user can reach.
    QString serverName() const { return m_name; }

Q_SIGNALS:
    void activationRequested();

private:
    // Sends one request line and waits, while events run, for the running instance's reply line.
    std::optional<Failure> ask(const QByteArray &request, const QByteArray &reply);
    // Answers the request lines a later process wrote; drops a peer that writes anything else.
    void answer(QLocalSocket *socket);

    QString m_name;
    QString m_unusable;
    QLocalServer *m_server = nullptr;
};

} // namespace krt
