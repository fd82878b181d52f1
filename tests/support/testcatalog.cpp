#include "support/testcatalog.h"

#include <QDebug>

namespace krt::test {

PriceDb::PriceDb()
{
    m_error = m_catalog.create();
    if (!m_error.isEmpty())
        return;
    if (!m_connection.open(connectionText()) || !m_look.open(connectionText()))
        m_error = QStringLiteral("cannot open ") + m_catalog.file();
}

std::vector<QVariantList> PriceDb::rows(const QString &sql)
{
    std::vector<QVariantList> all;
    std::optional<Recordset> result = m_look.openRecordset(sql);
    if (!result) {
        qWarning() << "query failed:" << sql << m_look.errors().value(0).description;
        return all;
    }
    for (; !result->eof(); result->moveNext()) {
        QVariantList row;
        for (int i = 0; i < result->fieldCount(); ++i)
            row.append(result->field(i));
        all.push_back(row);
    }
    return all;
}

QVariant PriceDb::value(const QString &sql)
{
    const std::vector<QVariantList> all = rows(sql);
    return all.empty() ? QVariant() : all.front().value(0);
}

} // namespace krt::test
