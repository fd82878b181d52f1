#include "pricedb.h"

#include "install/installation.h"

#include <QDebug>
#include <QDir>

namespace krt::test {

PriceDb::PriceDb()
    : m_file(m_dir.filePath(QStringLiteral("TMCS01.db")))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    m_error = install::createCatalog(m_file);
    if (!m_error.isEmpty())
        return;
    if (!m_connection.open(connectionText()) || !m_look.open(connectionText()))
        m_error = QStringLiteral("cannot open ") + m_file;
}

QString PriceDb::connectionText() const
{
    return QStringLiteral("Provider=SQLite;Data Source=%1;Initial Catalog=TMCS01")
        .arg(QDir::toNativeSeparators(m_dir.path()));
}

QString PriceDb::fill(const QString &script) const
{
    return install::runScript(m_file, script);
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
