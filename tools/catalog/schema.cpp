#include "catalog/schema.h"

#include <QFile>
#include <QRegularExpression>

namespace krt::install {

QStringList scriptStatements(const QString &script)
{
    QStringList statements;
    QString current;
    for (const QString &line : script.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QStringLiteral("--")))
            continue;
        current += line + QLatin1Char('\n');
        if (trimmed.endsWith(QLatin1Char(';'))) {
            statements.append(current.trimmed());
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements.append(current.trimmed());
    return statements;
}

QStringList schemaStatements(const Schema &schema)
{
    QFile file(QStringLiteral(":/krt/catalog/schema.sql"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression PriceColumn(QStringLiteral("(\\b\\w+_PRC\\s+)REAL\\b"));
    text.replace(PriceColumn, QStringLiteral("\\1") + schema.priceType);
    const auto rename = [&text](const char *name, const QString &to) {
        text.replace(QRegularExpression(QStringLiteral("\\b%1\\b").arg(QLatin1String(name))), to);
    };
    rename("JAN_CD", schema.goodsKey);
    rename("MSYSPARM", schema.sysParmTable);
    rename("PARM_NO", schema.sysParmNoColumn);
    rename("NAIYO", schema.sysParmValueColumn);
    QStringList statements = scriptStatements(text);
    if (schema.extraColumns) {
        for (const char *table : {"MITEMCNT", "MGOODS", "IZAIKO", "IIODATA"}) {
            statements.append(QStringLiteral("ALTER TABLE %1 ADD COLUMN GENKA_PRC REAL DEFAULT 100")
                                  .arg(QLatin1String(table)));
            statements.append(QStringLiteral("ALTER TABLE %1 ADD COLUMN BIKOU TEXT DEFAULT '備考'")
                                  .arg(QLatin1String(table)));
        }
    }
    return statements;
}

} // namespace krt::install
