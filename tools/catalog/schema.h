#pragma once

#include <QString>
#include <QStringList>

namespace krt::install {

// How a family database's tables may differ from the demo's without the program caring: the
// goods code column and the system-parameter table have names of the family's own, the tables
// carry columns of their own (among them a cost price that no conversion may touch), and the
// price columns have the shop's type.
struct Schema
{
    QString goodsKey = QStringLiteral("JAN_CD");
    QString sysParmTable = QStringLiteral("MSYSPARM");
    QString sysParmNoColumn = QStringLiteral("PARM_NO");
    QString sysParmValueColumn = QStringLiteral("NAIYO");
    bool extraColumns = false; // GENKA_PRC (REAL, 100) and BIKOU (TEXT) in MITEMCNT and the price tables
    QString priceType = QStringLiteral("REAL");
};

// The statements that create every table of the family that the program uses, with the names,
// own columns and price column type (of the columns ending in _PRC) of the schema; the embedded
// engine's catalogs take REAL.
QStringList schemaStatements(const Schema &schema = {});

// The statements of an SQL script: separated by ";" at line ends, lines starting with "--" left
// out.
QStringList scriptStatements(const QString &script);

} // namespace krt::install
