#pragma once

#include "db/connection.h"

#include <QStringList>

#include <optional>

namespace krt::testing {

// Logs every statement the program sends on its connection; refuses the one at refuseAt
// (counting from 1) as a failing database would.
class StatementLog
{
public:
    explicit StatementLog(Connection *connection, int refuseAt = 0)
        : m_connection(connection)
        , m_refuseAt(refuseAt)
    {
        m_connection->setStatementHook([this](const QString &sql) -> std::optional<QString> {
            statements.append(sql);
            if (statements.size() == m_refuseAt)
                return QStringLiteral("the database refused the statement");
            return std::nullopt;
        });
    }
    ~StatementLog() { m_connection->setStatementHook({}); }
    StatementLog(const StatementLog &) = delete;
    StatementLog &operator=(const StatementLog &) = delete;

    QStringList statements;

private:
    Connection *m_connection;
    int m_refuseAt;
};

} // namespace krt::testing
