#pragma once

#include "db/connection.h"

#include <QVariant>

namespace krt {

// The family's system-parameter reader (QLB318.QLB318C2): looks a parameter up in the open
// database's table MSYSPARM (PARM_NO, NAIYO) through the program's connection.
class QLB318C2
{
public:
    // Answers of GetSysParm.
    static constexpr short Found = 0;
    static constexpr short NotFound = 1;
    static constexpr short ReadFailed = -1;

    explicit QLB318C2(Connection *connection);

    // Looks parameter n up: Found, NotFound, or ReadFailed when the table cannot be read.
    short GetSysParm(short n);

    // The content of the parameter found last; null before any was found.
    QVariant NAIYO() const { return m_naiyo; }

private:
    Connection *m_connection;
    QVariant m_naiyo;
};

} // namespace krt
