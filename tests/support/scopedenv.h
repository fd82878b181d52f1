#pragma once

// Sets an environment variable for one test and restores it afterwards.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace krt::testing {

class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QString &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace krt::testing
