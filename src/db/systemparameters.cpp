#include "db/systemparameters.h"

namespace krt {

QLB318C2::QLB318C2(Connection *connection)
    : m_connection(connection)
{}

short QLB318C2::GetSysParm(short n)
{
    if (!m_connection)
        return ReadFailed;
    const std::optional<Recordset> rs = m_connection->openRecordset(
        QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = ") + QString::number(n));
    if (!rs)
        return ReadFailed;
    if (rs->eof())
        return NotFound;
    m_naiyo = rs->field(QStringLiteral("NAIYO"));
    return Found;
}

} // namespace krt
