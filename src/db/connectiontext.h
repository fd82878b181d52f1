#pragma once

#include "db/connection.h"

#include <QString>

#include <optional>

namespace krt {

// How a connection text of the product family (OLE DB form, "Key=Value;" entries) is opened
// with Qt's drivers.
struct ConnectionPlan
{
    QString driver;       // "QSQLITE" or "QODBC"
    QString databaseName; // the database file for QSQLITE, the ODBC connection string for QODBC
    QString userName;
    QString password;       // as QSqlDatabase::setPassword takes it: braced for QODBC where ODBC needs it
    QString connectOptions; // QSqlDatabase::setConnectOptions
    QString catalog;        // the text's Initial Catalog, the database's name (TMCS00 ...)
    Engine engine = Engine::None;
};

struct PlanResult
{
    std::optional<ConnectionPlan> plan;
    QString error; // why the text cannot be opened, when plan is empty
};

PlanResult planConnection(const QString &connectionText);

// The connection text with the value of every password entry replaced, for messages.
QString maskPasswords(const QString &connectionText);

} // namespace krt
