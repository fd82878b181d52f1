#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;

namespace krt {

// Tells whether another process of the program is running for the same user, and lets a later
// process ask the running one to bring its main window to the front. A local server, one name
// per user settings store, stands for the running instance; it disappears with its process, so a
// crash never leaves a stale guard behind.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answers; this process must then not run the program.
    bool previousInstanceRunning();

    // Starts answering later processes. Returns false when the name cannot be taken.
    bool listen();

    // Why an activation request failed: the local socket's error code and text.
    struct Failure
    {
        int code = 0;
        QString description;
    };

    // Asks the running instance to bring its main window to the front.
    std::optional<Failure> requestActivation();

    QString serverName() const { return m_name; }

Q_SIGNALS:
    void activationRequested();

private:
    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace krt
