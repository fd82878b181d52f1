// Writes every kind of statement text the conversion run can send, one per line, for the T-SQL
// grammar check: each calculation method with rates typed as numbers, with a leading zero and
// left empty; every rounding method at every digit position, for goods and add-on prices and on
// the recorded-parameter path; both stock modes and both inventory versions; category codes with
// quotes, SQL words and full-width characters, for major categories and sub-categories. Each text
// is written as the program writes it and as the dialect adapter sends it to SQL Server, with its
// literals and as the prepared shape whose literals are bound.
//
// Usage: tsqlstatements FILE. Prints how many texts it wrote and how many parameter sets the run
// refuses before any statement (a rate of the selected method that is not a whole number).

#include "category/categorysql.h"
#include "db/dialect.h"
#include "pricing/pricestatements.h"
#include "pricing/writeaccess.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <QTextStream>

#include <vector>

using namespace krt;
using namespace krt::pricing;

namespace {

const QString KoushinDt = QStringLiteral("2014/04/01 10:00:00");
const QString SysYm = QStringLiteral("201404");
const QDate Today(2014, 4, 1);

struct Writer
{
    QTextStream out;
    QSet<QString> seen;
    int refused = 0;
    DialectCache sqlServer{toSqlServerDialect, DialectCache::Binding::National};

    void write(const std::optional<QString> &sql)
    {
        if (!sql) {
            ++refused;
            return;
        }
        // As written, which other ODBC engines get, and as SQL Server gets it: with its literals, or
        // as the shape prepared with parameter markers for them.
        QStringList texts{*sql, toSqlServerDialect(*sql)};
        if (const std::optional<BoundStatement> bound = sqlServer.bind(*sql))
            texts.append(bound->shape);
        for (const QString &text : texts) {
            if (!seen.contains(text)) {
                seen.insert(text);
                out << text << '\n';
            }
        }
    }
};

ConversionParams params(int method, const QString &oldRate, const QString &newRate, int goods, int addOn)
{
    ConversionParams p;
    p.CalcMethod = method;
    // The boxes of the other methods may be empty: only the selected method's rates are used.
    p.TAX_ST = {QStringLiteral("0"), QString(), QString()};
    p.TAX_END = {QString(), QString(), QStringLiteral("0")};
    if (method != 0)
        p.TAX_ST[method] = oldRate;
    if (method != 2)
        p.TAX_END[method] = newRate;
    p.HASU_FLG = {goods / 4, addOn / 4};
    p.HASU_ICHI = {goods % 4, addOn % 4};
    return p;
}

// The statements of one category as a run sends them in one stock mode, the record statement
// first: a run whose record statement is refused sends nothing else for the category.
void categoryStatements(Writer &w, const QString &itemCd, int detailNo, const QString &invFlg,
                        const ConversionParams &p, bool directMode, bool inventNewVersion)
{
    const std::optional<QString> record = recordStatement(itemCd, detailNo, invFlg, p, p.CalcMethod, Today);
    w.write(record);
    if (!record)
        return;
    w.write(CategoryStatements(p, p.CalcMethod, KoushinDt).mgoods(itemCd, detailNo));
    if (directMode) {
        w.write(CategoryStatements(p, p.CalcMethod, {}).iioData(itemCd, detailNo, SysYm));
        w.write(CategoryStatements(p, p.CalcMethod, KoushinDt).izaiko(itemCd, detailNo, inventNewVersion));
    } else {
        w.write(completionStatement(Today));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: tsqlstatements FILE\n";
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream(stderr) << "cannot write " << file.fileName() << '\n';
        return 2;
    }
    Writer w{QTextStream(&file), {}, 0};
    w.write(workListQuery());
    w.write(pendingListQuery());
    // What the run reads before it starts, and the write probe of the database switch.
    w.write(category::missingCategoriesSql());
    w.write(category::unknownFlagsSql(true));
    w.write(category::unknownFlagsSql(false));
    w.write(category::unconvertedMarksSql());
    for (const int stockMode : {0, 1})
        for (const WriteProbe &probe : writeProbes(stockMode)) {
            w.write(probe.read);
            w.write(probe.write);
        }

    // Every method with every typed rate, every rounding of the goods prices at every digit,
    // the add-on prices rounded otherwise in the same statement.
    const QStringList rates = {QString(), QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("08"),
                               QStringLiteral("10")};
    for (int method = 0; method < 3; ++method) {
        for (const QString &oldRate : method == 0 ? QStringList{QStringLiteral("0")} : rates) {
            for (const QString &newRate : method == 2 ? QStringList{QStringLiteral("0")} : rates) {
                for (int goods = 0; goods < 16; ++goods) {
                    const ConversionParams p = params(method, oldRate, newRate, goods, (goods + 5) % 16);
                    const std::optional<QString> record =
                        recordStatement(QStringLiteral("O'B"), 0, QStringLiteral("0"), p, method, Today);
                    w.write(record);
                    if (record)
                        w.write(CategoryStatements(p, method, KoushinDt).mgoods(QStringLiteral("O'B"), 0));
                }
            }
        }
    }

    // The recorded-parameter path: every code text with every exponent the record statement
    // stores, for goods and add-on prices.
    for (int goods = 0; goods < 16; ++goods) {
        const ConversionParams p =
            params(1, QStringLiteral("5"), QStringLiteral("8"), goods, (goods + 7) % 16);
        const StoredParams stored{5,
                                  8,
                                  QString::number(p.HASU_FLG[Goods]),
                                  QString::number(p.exponent(Goods)),
                                  QString::number(p.HASU_FLG[AddOn]),
                                  QString::number(p.exponent(AddOn))};
        w.write(pendingMGoodsStatement(QStringLiteral("O'B"), goods % 2 == 0 ? 0 : 12, stored, KoushinDt));
    }

    // The price columns' types, and the statements with every price column read as stored (of a
    // decimal type).
    const QStringList tables{QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA")};
    w.write(priceTypesSql(Engine::SqlServer, tables));
    QSet<QString> decimals;
    for (const QString &table : tables)
        for (const PriceColumn &column : MGoodsColumns)
            decimals.insert(table + QLatin1Char('.') + QLatin1String(column.name));
    const PriceReadings asStored(decimals);
    const ConversionParams decimal = params(1, QStringLiteral("08"), QStringLiteral("10"), 7, 14);
    w.write(CategoryStatements(decimal, 1, KoushinDt, asStored).mgoods(QStringLiteral("O'B"), 12));
    w.write(CategoryStatements(decimal, 1, {}, asStored).iioData(QStringLiteral("O'B"), 12, SysYm));
    w.write(CategoryStatements(decimal, 1, KoushinDt, asStored).izaiko(QStringLiteral("O'B"), 12, false));
    w.write(pendingMGoodsStatement(
        QStringLiteral("O'B"), 0,
        {5, 8, QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("2")}, KoushinDt,
        asStored));

    // Every statement frame: category codes, sub-categories, inventory flags, stock modes and
    // inventory versions.
    const QStringList codes = {QStringLiteral("001"), QStringLiteral("O'B"),
                               QStringLiteral("'; DELETE FROM MGOODS; --"), QStringLiteral("食品''"),
                               QStringLiteral("ISNULL(x, 0) GETDATE() 0FROM")};
    const ConversionParams p = params(1, QStringLiteral("08"), QStringLiteral("10"), 7, 14);
    for (const QString &code : codes)
        for (int detailNo : {0, 12})
            for (const QString &invFlg : {QStringLiteral("0"), QStringLiteral("1")})
                for (bool directMode : {true, false})
                    for (bool inventNewVersion : {true, false})
                        categoryStatements(w, code, detailNo, invFlg, p, directMode, inventNewVersion);
    // What the run reads back when a record or a claim changed no row.
    for (const QString &code : codes)
        for (int detailNo : {0, 12})
            for (bool completed : {false, true})
                w.write(recordedRowsQuery(code, detailNo, completed));
    // The goods of every category, counted once for the confirmation and once at the run's start.
    w.write(goodsByCategorySql());

    QTextStream(stdout) << w.seen.size() << " statement texts written to " << file.fileName() << ", "
                        << w.refused << " parameter sets refused before any statement\n";
    return w.out.status() == QTextStream::Ok && file.flush() ? 0 : 1;
}
